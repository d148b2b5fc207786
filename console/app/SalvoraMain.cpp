// Salvora's entry point: the application object's start, message loop and end.
#include "Startup.h"

#include "Window.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    CSalvoraApp app;
    if (app.InitInstance(GetCommandLineA())) win::RunMessageLoop();
    return app.ExitInstance();
}
