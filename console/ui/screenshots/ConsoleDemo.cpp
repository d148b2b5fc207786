// The console's main window over a simulated network of a dozen computers of every role,
// for pictures of its look: `console_demo main|context|create` shows the window alone, its
// list's context menu, or the Create ERD confirmation for the whole list; its look with
// `nolabels` (toolbar without text labels), `inactive` (another window in front), `menu`
// (the Tools menu open) and `sysmenu` (the system menu open); the toolbar docked at a side
// with `dock-left`, `dock-right`, `dock-bottom`, or `floating`, each also with "-nolabels".
// Prints "ready" when the picture can be taken.
#include "ConsoleWindow.h"
#include "Enumeration.h"
#include "NetworkApi.h"
#include "Profile.h"
#include "SimulatedNetwork.h"
#include "UiResource.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

ConsoleWindow* g_console = nullptr;
std::string g_mode;

void Ready()
{
    std::printf("ready\n");
    std::fflush(stdout);
}

void CALLBACK Act(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    HWND frame = g_console->Frame().Handle();
    HWND list = g_console->View().Handle();
    if (g_mode == "context") {
        RECT item{LVIR_BOUNDS, 0, 0, 0};
        SendMessageA(list, LVM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&item));
        POINT at{item.left + 60, (item.top + item.bottom) / 2};
        ClientToScreen(list, &at);
        SetCursorPos(at.x, at.y);
        Ready();
        NMHDR header{list, win::View::kPaneId, static_cast<UINT>(NM_RCLICK)};
        SendMessageA(frame, WM_NOTIFY, win::View::kPaneId, reinterpret_cast<LPARAM>(&header));
    } else if (g_mode == "create") {
        SendMessageA(frame, WM_COMMAND, ID_VIEW_SELECT_ALL, 0);
        Ready();
        SendMessageA(frame, WM_COMMAND, ID_TOOLS_CREATE_ERD, 0);
    } else if (g_mode == "nolabels") {
        SendMessageA(frame, WM_COMMAND, ID_VIEW_TEXT_LABELS, 0);
        Ready();
    } else if (g_mode.rfind("dock-", 0) == 0 || g_mode.rfind("floating", 0) == 0) {
        // The toolbar at a side of the frame or floating over the list, with or without labels.
        CTextToolBar& bar = g_console->Frame().TextToolBar();
        if (g_mode.rfind("dock-left", 0) == 0) bar.DockAt(CTextToolBar::kDockLeft);
        if (g_mode.rfind("dock-right", 0) == 0) bar.DockAt(CTextToolBar::kDockRight);
        if (g_mode.rfind("dock-bottom", 0) == 0) bar.DockAt(CTextToolBar::kDockBottom);
        if (g_mode.rfind("floating", 0) == 0) {
            RECT list{};
            GetWindowRect(g_console->View().Handle(), &list);
            bar.Float(POINT{list.left + 180, list.top + 140});
        }
        if (g_mode.find("-nolabels") != std::string::npos) SendMessageA(frame, WM_COMMAND, ID_VIEW_TEXT_LABELS, 0);
        Ready();
    } else if (g_mode == "inactive") {
        HWND other = CreateWindowExA(0, "STATIC", "Another program", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 520,
                                     380, 320, 140, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        SetForegroundWindow(other);
        Ready();
    } else if (g_mode == "menu" || g_mode == "sysmenu") {
        Ready();
        // The keyboard's way into the menus: Alt+T opens Tools, Alt+Space the system menu.
        PostMessageA(frame, WM_SYSCOMMAND, SC_KEYMENU, g_mode == "menu" ? 't' : ' ');
    } else {
        Ready();
    }
}

} // namespace

int main(int argc, char** argv)
{
    g_mode = argc > 1 ? argv[1] : "main";
    SimulatedNetwork network;
    network.Add({L"ACCOUNTS", kSimPrimaryController, 4, 0, L"Accounts domain controller"});
    network.Add({L"BRANCH-BDC", kSimBackupController, 4, 0, L"Branch office"});
    network.Add({L"HQ-BDC", kSimBackupController, 4, 0, L"Head office, second floor"});
    network.Add({L"FILES", kSimNtServer, 4, 0, L"File server"});
    network.Add({L"PRINT", kSimNtServer, 3, 51, L"Print server"});
    network.Add({L"MAIL", kSimNtServer, 4, 0, L"Exchange"});
    network.Add({L"RECEPTION", kSimNtWorkstation, 4, 0, L"Front desk"});
    network.Add({L"LAB-07", kSimNtWorkstation, 4, 0});
    network.Add({L"PAYROLL", kSimNtWorkstation, 3, 51, L"Payroll clerk"});
    network.Add({L"DESIGN-2", kSimNtWorkstation, 4, 0, L"Drawing office"});
    network.Add({L"BUILD", 0x1000, 4, 0, L"Role not reported"});
    SetNetwork(&network);
    win::SetProfileKey("Ostrel", "Corvane Salvora");

    ConsoleWindow console(GetModuleHandleA(nullptr));
    g_console = &console;
    if (!console.Open("")) return 1;
    // Every role shows: the computer whose role the network does not report joins by hand.
    ComputerList& list = TheComputerList();
    list.Append(EntryFromName("BUILD"));
    LookupComputer(*list.At(list.Size() - 1));
    console.Document().UpdateAllViews();
    SetTimer(nullptr, 0, 1500, &Act);
    int result = console.Frame().Run();
    SetNetwork(nullptr);
    return result;
}
