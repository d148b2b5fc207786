// Scheduler.exe itself, started with the console's Schedule Wizard command line.
#include <gtest/gtest.h>

#include <windows.h>
#include <prsht.h>

#include <string>

#include "Handle.h"
#include "TestSupport.h"
#include "Window.h"
#include "resource.h"

namespace {

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindFrame(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window) && win::WindowText(window) == "Ostrel Scheduler") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A control's text in another process: WM_GETTEXT crosses, GetWindowText does not.
std::string ControlText(HWND control)
{
    char text[512] = {};
    SendMessageA(control, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
    return text;
}

} // namespace

TEST(SchedulerProgram, TheConsolesCommandLineFillsTheProgramPage)
{
    SetEnvironmentVariableA("NetworkNeeded", "0");
    std::string bin = testing_support::BinFolder();
    std::string line = "\"" + bin + "\\Scheduler.exe\" \"C:\\Ostrel\\Scheduler.old\" \"C:\\Ostrel\\Salvora.exe\" "
                       "\"-S -n=0 -r=30\" \"C:\\lists\\servers.txt\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    SetEnvironmentVariableA("NetworkNeeded", nullptr);
    win::Handle processHandle(process.hProcess);
    win::Handle threadHandle(process.hThread);

    Search search = {process.dwProcessId, nullptr};
    for (int i = 0; i < 300 && !search.found; ++i) {
        EnumWindows(FindFrame, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(100);
    }
    if (!search.found) TerminateProcess(processHandle.Get(), 1);
    ASSERT_NE(search.found, nullptr) << "no wizard window";
    HWND frame = search.found;

    SendMessageA(frame, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
    HWND page = nullptr;
    for (int i = 0; i < 100; ++i) {
        page = reinterpret_cast<HWND>(SendMessageA(frame, PSM_GETCURRENTPAGEHWND, 0, 0));
        if (GetDlgItem(page, IDC_PROGRAM) && !ControlText(GetDlgItem(page, IDC_PROGRAM)).empty()) break;
        Sleep(100);
    }
    ASSERT_NE(GetDlgItem(page, IDC_PROGRAM), nullptr) << "still on the first page";
    EXPECT_EQ(ControlText(GetDlgItem(page, IDC_PROGRAM)), "C:\\Ostrel\\Scheduler.old");
    EXPECT_EQ(ControlText(GetDlgItem(page, IDC_PARAMETERS)), "C:\\Ostrel\\Salvora.exe");
    EXPECT_EQ(ControlText(GetDlgItem(page, IDC_IMPORT_FILE)), "-S -n=0 -r=30");

    // Cancel ends the program without changing anything.
    SendMessageA(frame, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    if (WaitForSingleObject(processHandle.Get(), 10000) != WAIT_OBJECT_0) {
        TerminateProcess(processHandle.Get(), 1);
        ADD_FAILURE() << "Scheduler did not end on Cancel";
    }
}
