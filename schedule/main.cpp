// Scheduler: prepares the Schedule service and adds one job through a three-page wizard.
#include <windows.h>

#include <string>

#include "HelpViewer.h"
#include "ScheduleMessages.h"
#include "ScheduleServiceLink.h"
#include "SchedulerStartup.h"
#include "SchedulerWizard.h"
#include "SystemText.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    // The service link comes first; without it the program ends here.
    static schedule::ScheduleServiceLink link;
    link.OpenOrExit();

    const int importNeeded = schedule::ReadEnvironmentSwitch("ImportNeeded");
    const int networkNeeded = schedule::ReadEnvironmentSwitch("NetworkNeeded");

    char path[MAX_PATH * 2] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string helpFile = schedule::FindHelpFile(length && length < sizeof(path) ? path : "");

    // The wait cursor is shown by Finish while the service is reconfigured and the job added.
    schedule::StartupValues startup =
        schedule::ParseStartupValues(schedule::SkipProgramName(GetCommandLineA()));

    schedule::SchedulerWizard wizard(instance, link, startup);
    wizard.SetImportNeeded(importNeeded);
    wizard.SetNetworkNeeded(networkNeeded);
    wizard.SetHelpFile(helpFile);
    if (wizard.Run() == -1) {
        DWORD error = GetLastError();
        MessageBeep(MB_OK);
        std::string text = win::Format("Error creating property sheet: %ld", static_cast<long>(error));
        schedule::ShowBox(nullptr, text.c_str(), "Scheduler", MB_OK);
    }
    help::CloseAll(); // the viewer's windows must not outlive the program
    return 0;
}
