#include "ComputerChooser.h"

#include "ComputerChooserIds.h"
#include "Handle.h"
#include "SystemText.h"

namespace win {

namespace {

using ServerBrowseDialog = DWORD(WINAPI*)(HWND, CHAR*, DWORD);

// NTLANMAN.DLL's browse, or nullptr while the system has none (asked again next time).
ServerBrowseDialog SystemBrowse()
{
    static Library library;
    static ServerBrowseDialog browse = nullptr;
    if (!browse) {
        library.Reset(LoadSystemLibrary("NTLANMAN.DLL"));
        if (library)
            browse = reinterpret_cast<ServerBrowseDialog>(
                reinterpret_cast<void*>(GetProcAddress(library.Get(), "ServerBrowseDialogA0")));
        if (!browse) library.Reset();
    }
    return browse;
}

} // namespace

int BrowseComputer(HINSTANCE resources, HWND owner, char* buffer, size_t size)
{
    if (!buffer || size < 3) return -1;
    ZeroMemory(buffer, size);
    if (ServerBrowseDialog browse = SystemBrowse()) {
        browse(owner, buffer, static_cast<DWORD>(size));
        buffer[size - 1] = '\0';
        return 1;
    }
    CComputerChooser chooser;
    INT_PTR result = chooser.DoModal(resources, IDD_CHOOSE_COMPUTER, owner);
    if (result == -1) return -1;
    if (result != IDOK) return 0;
    CopyText(buffer, size, chooser.Result().c_str());
    return 1;
}

BOOL CComputerChooser::OnInitDialog()
{
    SendDlgItemMessageA(Handle(), IDC_CHOSEN_NAME, EM_LIMITTEXT, 255, 0);
    char local[256] = {};
    DWORD size = sizeof(local);
    if (GetComputerNameA(local, &size))
        SendDlgItemMessageA(Handle(), IDC_COMPUTER_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(local));
    return TRUE;
}

void CComputerChooser::Choose()
{
    std::string typed = ItemText(IDC_CHOSEN_NAME);
    size_t start = typed.find_first_not_of('\\');
    if (start == std::string::npos) return; // nothing chosen yet: the chooser stays open
    result_ = "\\\\" + typed.substr(start);
    End(IDOK);
}

bool CComputerChooser::OnCommand(WORD id, WORD code, HWND)
{
    switch (id) {
    case IDC_COMPUTER_LIST:
        if (code == LBN_SELCHANGE || code == LBN_DBLCLK) {
            LRESULT index = SendDlgItemMessageA(Handle(), IDC_COMPUTER_LIST, LB_GETCURSEL, 0, 0);
            if (index != LB_ERR) {
                char text[256] = {};
                LRESULT length = SendDlgItemMessageA(Handle(), IDC_COMPUTER_LIST, LB_GETTEXTLEN, index, 0);
                if (length >= 0 && length < static_cast<LRESULT>(sizeof(text))) {
                    SendDlgItemMessageA(Handle(), IDC_COMPUTER_LIST, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text));
                    SetItemText(IDC_CHOSEN_NAME, text);
                }
            }
            if (code == LBN_DBLCLK) Choose();
        }
        return true;
    case IDOK:
        Choose();
        return true;
    case IDCANCEL:
        End(IDCANCEL);
        return true;
    default:
        return false;
    }
}

} // namespace win
