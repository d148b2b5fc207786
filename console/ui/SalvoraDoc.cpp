#include "SalvoraDoc.h"

#include "ChooseFile.h"
#include "ConsoleStrings.h"
#include "CreationDialogs.h"
#include "DomainSelection.h"
#include "Enumeration.h"
#include "Messages.h"
#include "OnDemandTasks.h"
#include "ServerListView.h"
#include "Settings.h"
#include "UiResource.h"
#include "Window.h"

#include <cstdio>

namespace {

// The file's name without its folder, as the framework titles a document read from a file.
std::string FileTitle(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    return name;
}

} // namespace

bool ChooseListFile(HWND owner, bool save, std::string& path)
{
    char file[MAX_PATH] = "";
    if (!ChooseFile(owner, save ? "Save Computer List" : "Open Computer List", file,
                    save ? kChooseListToSave : kChooseListToOpen))
        return false;
    path = file;
    return true;
}

CSalvoraDoc::CSalvoraDoc(HINSTANCE instance) : instance_(instance)
{
    MapCommand(ID_FILE_REFRESH, [this] { Refresh(); });
    MapCommand(ID_FILE_OPEN, [this] { Open(); });
    MapCommand(ID_FILE_SAVE, [this] { Save(); });
    MapCommand(ID_COMPUTER_DELETE, [this] { DeleteComputers(); });
    MapCommand(ID_TOOLS_CREATE_ERD, [this] { CreateErd(); });
    MapCommand(ID_COMPUTER_SELECT_DOMAIN, [this] { SelectDomain(); });
}

void CSalvoraDoc::SelectKnownRoles()
{
    for (const ComputerEntryPtr& entry : TheComputerList().Entries())
        InterlockedExchange(&entry->selected, entry->Role() != kRoleUndetermined ? 1 : 0);
}

void CSalvoraDoc::SelectionFromViews()
{
    for (win::View* view : Views())
        if (auto* list = dynamic_cast<CServerListView*>(view)) list->StoreSelection(TheComputerList());
}

bool CSalvoraDoc::OpenDocumentFile(const char* path)
{
    win::WaitCursor wait;
    if (!LoadComputerList(path)) return false;
    SelectKnownRoles();
    domain_.clear();
    SetTitle(FileTitle(path));
    UpdateAllViews();
    return true;
}

void CSalvoraDoc::Refresh()
{
    win::WaitCursor wait;
    if (!TheComputerList().Clear()) return;
    RefreshFromDomain(domain_.empty() ? nullptr : domain_.c_str());
    SelectKnownRoles();
    UpdateAllViews();
}

void CSalvoraDoc::SelectDomain()
{
    char domain[16];
    lstrcpynA(domain, domain_.c_str(), sizeof(domain));
    if (SelectDomainDialog(mainWindow_, domain, 15) <= 0) return;
    win::WaitCursor wait;
    if (!TheComputerList().Clear()) return;
    domain_ = domain;
    SetTitle(domain_);
    RefreshFromDomain(domain_.c_str()); // the entries stay unselected until the user selects
    UpdateAllViews();
}

void CSalvoraDoc::Open()
{
    std::string path;
    if (!ChooseListFile(mainWindow_, false, path)) return;
    win::WaitCursor wait;
    if (!LoadComputerList(path.c_str())) return; // the list stays as it was
    SelectKnownRoles();
    domain_.clear();
    SetTitle("");
    UpdateAllViews();
}

bool CSalvoraDoc::WriteListFile(const char* path, const ComputerList& list)
{
    FILE* file = std::fopen(path, "w");
    if (!file) {
        if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_OPEN_FAILED);
        return false;
    }
    bool written = true;
    for (const ComputerEntryPtr& entry : list.Entries())
        if (entry->selected && std::fprintf(file, "%s\t%s\n", entry->name.c_str(), entry->TypeText().c_str()) < 0)
            written = false;
    if (std::fclose(file) != 0) written = false;
    if (!written) SetLastError(ERROR_WRITE_FAULT);
    return written;
}

void CSalvoraDoc::Save()
{
    SelectionFromViews();
    std::string path;
    if (!ChooseListFile(mainWindow_, true, path)) return;
    win::WaitCursor wait;
    SetLastError(ERROR_SUCCESS);
    if (!WriteListFile(path.c_str(), TheComputerList()))
        ShowSystemError(mainWindow_, "Save Computer List", nullptr, GetLastError());
}

void CSalvoraDoc::DeleteComputers()
{
    SelectionFromViews();
    ComputerList& list = TheComputerList();
    for (size_t i = list.Size(); i-- > 0;)
        if (list.At(i)->selected) list.RemoveAt(i);
    UpdateAllViews();
}

void CSalvoraDoc::CreateErd()
{
    SelectionFromViews();
    INT_PTR result = RunCreateErdCommand(instance_, mainWindow_, TheComputerList());
    // Neither a cancelled confirmation nor a progress dialog that could not be shown ran anything.
    if (result == IDCANCEL || result == -1) return;
    LogSettings fresh;
    fresh.Load();
    if (fresh.LogWriteAnnalix && fresh.DemandTaskExec) RunOnDemandTasks();
}
