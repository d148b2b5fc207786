#include "MainDialog.h"

#include "Browse.h"
#include "ConfirmDialog.h"
#include "HelpViewer.h"
#include "Messages.h"
#include "OstrelVersion.h"
#include "Resource.h"

namespace restavo {

namespace {

HCURSOR WaitCursor()
{
    static HCURSOR cursor = LoadCursor(nullptr, IDC_WAIT);
    return cursor;
}

} // namespace

bool ComputerFromFolder(const std::string& folder, std::string& computer)
{
    size_t last = folder.rfind('\\');
    if (last == std::string::npos || last == 0) return false;
    computer = folder.substr(last + 1);
    return true;
}

HWND CRestoreDialog::CreateMain(HINSTANCE instance)
{
    HWND dialog = Create(instance, IDD_RESTAVO, nullptr);
    if (!dialog) return nullptr;
    HMENU menu = GetSystemMenu(dialog, FALSE);
    if (menu) {
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, "&About");
        EnableMenuItem(menu, SC_SIZE, MF_BYCOMMAND | MF_GRAYED);
        EnableMenuItem(menu, SC_MAXIMIZE, MF_BYCOMMAND | MF_GRAYED);
    }
    return dialog;
}

BOOL CRestoreDialog::OnInitDialog()
{
    PlaceWindow(Handle());
    HICON icon = LoadIconA(instance_, MAKEINTRESOURCEA(IDI_RESTAVO));
    SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendDlgItemMessageA(Handle(), IDC_ERD_FOLDER, EM_LIMITTEXT, kPathSize - 1, 0);
    SendDlgItemMessageA(Handle(), IDC_COMPUTER, EM_LIMITTEXT, 255, 0);
    SetItemText(IDC_ERD_FOLDER, startup_.defaultFolder.c_str());
    SetItemText(IDC_COMPUTER, startup_.defaultComputer.c_str());
    return TRUE;
}

RestoreOutcome CRestoreDialog::Restore()
{
    RestoreRequest request;
    request.folder = ItemText(IDC_ERD_FOLDER);
    request.computer = ItemText(IDC_COMPUTER);
    for (int i = 0; i < kHiveCount; ++i) request.selection[i] = IsChecked(HiveTable[i].checkBox) ? 1 : 0;
    request.reboot = IsChecked(IDC_REBOOT);
    return RunRestoreCommand(Handle(), request, *this, system_);
}

void CRestoreDialog::ApplyChosenFolder(const std::string& folder)
{
    SetItemText(IDC_ERD_FOLDER, folder.c_str());
    std::string computer;
    if (ComputerFromFolder(folder, computer)) SetItemText(IDC_COMPUTER, computer.c_str());
}

void CRestoreDialog::ApplyChosenComputer(const std::string& browsed)
{
    if (browsed.size() >= 2) SetItemText(IDC_COMPUTER, browsed.c_str() + 2);
}

bool CRestoreDialog::OnCommand(WORD id, WORD, HWND)
{
    switch (id) {
    case IDOK:
        Restore();
        return true;
    case IDCANCEL:
        PostQuitMessage(0);
        return true;
    case IDC_HELP_BUTTON:
        help::ShowTopic(Handle(), startup_.helpFile, kMainHelpContext);
        return true;
    case IDC_BROWSE_FOLDER: {
        std::string folder = ItemText(IDC_ERD_FOLDER);
        if (folder.size() > kPathSize - 1) folder.resize(kPathSize - 1);
        if (BrowseErdFolder("ERD files", Handle(), folder, startup_.majorVersion)) ApplyChosenFolder(folder);
        return true;
    }
    case IDC_BROWSE_COMPUTER: {
        std::string name;
        if (BrowseComputerName(Handle(), name)) ApplyChosenComputer(name);
        return true;
    }
    default:
        return false;
    }
}

INT_PTR CRestoreDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, bool& handled)
{
    if (message == WM_CLOSE) {
        PostQuitMessage(0);
        handled = true;
        return TRUE;
    }
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == (IDM_ABOUTBOX & 0xFFF0)) {
        CAboutDialog about;
        about.DoModal(instance_, IDD_ABOUTBOX, Handle());
        handled = true;
        return TRUE;
    }
    return 0;
}

void CRestoreDialog::ShowError(const char* text)
{
    ShowMessage(Handle(), text, "Error", MB_ICONERROR);
}

bool CRestoreDialog::Confirm(const std::string& targetName, const HiveSelection& selection, const char* folder,
                             const HiveTimes& times)
{
    return ConfirmRestore(Handle(), targetName, selection, folder, times) == 1;
}

void CRestoreDialog::ShowReport(const std::string& report, bool warning)
{
    ShowMessage(Handle(), report.c_str(), warning ? kWarningReportCaption : kReportCaption,
                warning ? MB_ICONWARNING : MB_ICONINFORMATION);
}

void CRestoreDialog::BeginWait()
{
    previousCursor_ = SetCursor(WaitCursor());
}

void CRestoreDialog::EndWait()
{
    SetCursor(previousCursor_);
}

BOOL CAboutDialog::OnInitDialog()
{
    SetDlgItemTextA(Handle(), IDC_ABOUT_VERSION, "Restavo " OSTREL_VERSION_TEXT);
    PlaceWindow(Handle());
    return TRUE;
}

} // namespace restavo
