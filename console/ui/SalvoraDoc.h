// The console's document: the process-wide computer list and the commands that fill it,
// save it, trim it and run the creation over its selection.
#pragma once
#include "ComputerList.h"
#include "Frame.h"

#include <windows.h>

#include <string>

class CServerListView;

class CSalvoraDoc final : public win::Document {
public:
    explicit CSalvoraDoc(HINSTANCE instance);

    // Owner of the document's dialogs and messages.
    void SetMainWindow(HWND window) noexcept { mainWindow_ = window; }

    // The domain the list was filled from; empty: the local computer's.
    const std::string& Domain() const noexcept { return domain_; }

    // The framework's load of a list file (named on the command line): the list read back
    // and every computer of known role selected. False when the file cannot be read; the
    // list is left as it was.
    bool OpenDocumentFile(const char* path);

    // The document's commands.
    void Refresh();
    void Open();
    void Save();
    void DeleteComputers();
    void SelectDomain();
    void CreateErd();

    // Writes the selected computers, "name<TAB>type" per line. False (last error kept)
    // when the file cannot be written.
    static bool WriteListFile(const char* path, const ComputerList& list);

private:
    // The views' item selection copied into the entries' selected flags.
    void SelectionFromViews();
    void SelectKnownRoles();

    HINSTANCE instance_;
    HWND mainWindow_ = nullptr;
    std::string domain_;
};

// The list-file chooser of Open and Save (the console's shared ChooseFile): open (the file
// must exist) or save (asks before replacing). False when the user cancelled.
bool ChooseListFile(HWND owner, bool save, std::string& path);
