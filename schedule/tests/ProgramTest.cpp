// Scheduler.exe itself, started with the console's Schedule Wizard command line.
#include <gtest/gtest.h>

#include <windows.h>
#include <prsht.h>

#include <string>

#include "Handle.h"
#include "ProgramProcess.h"
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

// Hostile command lines: each opens the wizard alone (no message, no crash), its second page
// holding the tokens as the wizard reads them, cut to the fields' lengths; Cancel ends it.
TEST(SchedulerProgram, HostileCommandLinesFillThePageAsTheTokensReadOrLeaveItEmpty)
{
    SetEnvironmentVariableA("NetworkNeeded", "0");
    const std::string longText(30000, 'A'), halfText(15000, 'B'); // a line holds at most 32,767
    struct Case {
        std::string line, program, parameters, importFile;
    };
    const Case cases[] = {
        {longText, longText.substr(0, 259), "", ""},
        {"x \"" + halfText + "\" \"" + halfText, "x", halfText.substr(0, 254), halfText.substr(0, 259)},
        {"\"C:\\P\\x.exe", "C:\\P\\x.exe", "", ""},
        {"\"", "", "", ""},
        {"-Q /Z --help -? / NONE", "-Q", "/Z", "--help"},
        {"\x01\x02 \x1b\t\"\x7f\" more", "\x01\x02", "\x1b", "\x7f"},
        {"a<b>c NONE \"x y\" extra", "a\"b\"c", "", "x y"},
    };
    auto toSecondPage = [](HWND window) {
        if (win::WindowText(window) != "Ostrel Scheduler") return;
        SendMessageA(window, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
        for (int i = 0; i < 100; ++i) {
            HWND page = reinterpret_cast<HWND>(SendMessageA(window, PSM_GETCURRENTPAGEHWND, 0, 0));
            if (GetDlgItem(page, IDC_PROGRAM)) break;
            Sleep(50);
        }
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 60));
        testing_support::ProgramOutcome outcome =
            testing_support::RunAnswering("Scheduler.exe", c.line, 30000, toSecondPage);
        ASSERT_TRUE(outcome.started);
        ASSERT_TRUE(outcome.ended) << "still running after the time limit";
        EXPECT_EQ(outcome.exitCode, 0u);
        ASSERT_FALSE(outcome.shown.empty());
        for (const auto& shown : outcome.shown)
            EXPECT_FALSE(shown.IsMessageBox()) << shown.title << ": " << shown.Text(0xFFFF);
        const testing_support::ShownWindow& wizard = outcome.shown[0];
        EXPECT_EQ(wizard.title, "Ostrel Scheduler");
        EXPECT_EQ(wizard.Text(IDC_PROGRAM), c.program);
        EXPECT_EQ(wizard.Text(IDC_PARAMETERS), c.parameters);
        EXPECT_EQ(wizard.Text(IDC_IMPORT_FILE), c.importFile);
    }
    SetEnvironmentVariableA("NetworkNeeded", nullptr);
}
