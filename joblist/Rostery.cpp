// Rostery: lists the jobs of the local Schedule service and deletes the selected ones.
// Command line: empty, or the identifier of the job Scheduler has just added.
#include "HelpViewer.h"
#include "JobListWindow.h"
#include "ScheduleServiceLink.h"
#include "SchedulerStartup.h"
#include "SystemText.h"

#include <commctrl.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    schedule::ScheduleServiceLink link;
    link.OpenOrExit();

    // The same help file as Scheduler's, found the same way beside the program.
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string helpFile = schedule::FindHelpFile(length && length < sizeof path ? path : "");

    rostery::ServiceScheduleJobs jobs([&link] { return link.Start(true); }, link.Service());
    rostery::SystemMessageBoxes boxes;
    rostery::JobTable table(jobs, boxes);
    table.SetNewJobId(rostery::NewJobIdFromCommandLine(commandLine));

    if (!rostery::CJobListWindow::RegisterWindowClass(instance)) return 0;
    rostery::CJobListWindow window(table, boxes, rostery::SystemMajorVersion(), helpFile);
    HWND hwnd = window.CreateMain(instance);
    if (!hwnd) return 0;
    link.SetOwner(hwnd);
    ShowWindow(hwnd, showCommand);
    UpdateWindow(hwnd);
    int code = win::RunMessageLoop(nullptr, window.Accelerators(), hwnd);
    help::CloseAll(); // the viewer's windows must not outlive the program
    return code;
}
