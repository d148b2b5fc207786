// Restavo: puts saved registry hives back onto a computer.
#include <windows.h>
#include <commctrl.h>
#include <cstdlib>

#include "HelpViewer.h"
#include "MainDialog.h"
#include "Messages.h"
#include "Startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    restavo::StartupValues startup = restavo::LoadStartupValues();
    if (!startup.windowsNt) return 0;

    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    restavo::SetResourceInstance(instance);

    restavo::CRestoreDialog dialog(startup);
    HWND window = dialog.CreateMain(instance);
    if (!window) return 0;
    restavo::ApplyCommandLine(window, __argc, __argv);
    win::RunMessageLoop(window);
    dialog.Destroy();
    help::CloseAll(); // the viewer's windows must not outlive the program
    return 0;
}
