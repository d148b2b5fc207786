// Rostery: lists the jobs of the local Schedule service and deletes the selected ones.
// Command line: empty, or the identifier of the job Scheduler has just added.
#include "HelpFileLookup.h"
#include "JobListWindow.h"
#include "ScheduleServiceLink.h"
#include "SystemText.h"

#include <commctrl.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    schedule::ScheduleServiceLink link;
    link.OpenOrExit();

    const std::string helpFile = win::FindHelpFile(win::ModuleFolder(), "Scheduler.hlp");

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
    return win::RunMessageLoop();
}
