// Salvora's entry point: the application object's start, message loop and end.
#include "ConsoleWindow.h"
#include "Startup.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    CSalvoraApp::SetInteractiveStart(&StartConsoleWindow);
    CSalvoraApp app;
    if (app.InitInstance(GetCommandLineA())) RunConsoleWindow();
    return app.ExitInstance();
}
