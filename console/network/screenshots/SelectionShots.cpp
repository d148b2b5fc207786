// Shows the console's choosers for screenshots/take-screenshots.sh, over a made-up network:
//   selection_shots domain    the Select Domain dialog with four domains, the second selected
//   selection_shots chooser   Add Computer's chooser (the system has no computer browse)
// Each closes itself after 12 seconds.
#include "ComputerChooserIds.h"
#include "DomainSelection.h"
#include "DomainSelectionIds.h"
#include "SimulatedNetwork.h"

#include <windows.h>
#include <commctrl.h>

#include <cstring>

namespace {

int g_control = 0;
DWORD g_shownAt = 0;

BOOL CALLBACK FindDialog(HWND window, LPARAM result)
{
    if (!GetDlgItem(window, g_control)) return TRUE;
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
{
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog) return;
    if (!g_shownAt) {
        g_shownAt = GetTickCount();
        if (g_control == IDC_DOMAIN_LIST) {
            SendDlgItemMessageA(dialog, IDC_DOMAIN_LIST, LB_SETCURSEL, 1, 0);
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DOMAIN_LIST, LBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_DOMAIN_LIST)));
        } else {
            SendDlgItemMessageA(dialog, IDC_COMPUTER_LIST, LB_SETCURSEL, 0, 0);
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_COMPUTER_LIST, LBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_COMPUTER_LIST)));
        }
    } else if (GetTickCount() - g_shownAt > 12000) {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    SimulatedNetwork network;
    for (const wchar_t* domain : {L"CORP", L"SALES", L"RESEARCH", L"ENGINEERING"})
        network.Add({domain, kDomainEnumType | 0x1000});
    SetNetwork(&network);
    SetTimer(nullptr, 0, 200, &Tick);
    if (std::strstr(commandLine, "chooser")) {
        g_control = IDC_COMPUTER_LIST;
        BrowseForComputer(nullptr);
    } else {
        g_control = IDC_DOMAIN_LIST;
        char domain[16] = {};
        SelectDomainDialog(nullptr, domain, 15);
    }
    SetNetwork(nullptr);
    return 0;
}
