// Restavo's main dialog: the folder of saved repair files, the computer, the hives, the
// restart box, and the Restore, Close and Help buttons; plus the About box.
#pragma once
#include <windows.h>
#include <string>

#include "RestoreEngine.h"
#include "Startup.h"
#include "Window.h"

namespace restavo {

inline constexpr DWORD kMainHelpContext = 131209;

// The computer name a chosen folder suggests (the console names each output folder after
// its computer): the part after the last backslash, when there is a backslash after the
// first character. False when there is none.
bool ComputerFromFolder(const std::string& folder, std::string& computer);

class CRestoreDialog : public win::Dialog, private RestoreUi {
public:
    explicit CRestoreDialog(const StartupValues& startup, RestoreSystem& system = RealRestoreSystem())
        : startup_(startup), system_(system)
    {
    }

    // Creates the dialog modeless, adds "&About" to its system menu. Null on failure.
    HWND CreateMain(HINSTANCE instance);

    // The Restore command on the dialog's current fields.
    RestoreOutcome Restore();
    // The results of the two browse commands applied to the fields.
    void ApplyChosenFolder(const std::string& folder);
    void ApplyChosenComputer(const std::string& browsed);

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void ShowError(const char* text) override;
    bool Confirm(const std::string& targetName, const HiveSelection& selection, const char* folder,
                 const HiveTimes& times) override;
    void ShowReport(const std::string& report, bool warning) override;
    void BeginWait() override;
    void EndWait() override;

    StartupValues startup_;
    RestoreSystem& system_;
    HCURSOR previousCursor_ = nullptr;
};

class CAboutDialog : public win::Dialog {
protected:
    BOOL OnInitDialog() override;
};

} // namespace restavo
