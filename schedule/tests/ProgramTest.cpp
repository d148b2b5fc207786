// Scheduler.exe itself, started with the console's Schedule Wizard command line.
#include <gtest/gtest.h>

#include <windows.h>
#include <prsht.h>

#include <string>

#include "ProgramProcess.h"
#include "TestSupport.h"
#include "Window.h"
#include "resource.h"

using testing_support::ControlText;

TEST(SchedulerProgram, TheConsolesCommandLineFillsTheProgramPage)
{
    SetEnvironmentVariableA("NetworkNeeded", "0");
    testing_support::ProgramProcess scheduler(
        "Scheduler.exe", "\"C:\\Ostrel\\Scheduler.old\" \"C:\\Ostrel\\Salvora.exe\" \"-S -n=0 -r=30\" "
                         "\"C:\\lists\\servers.txt\"");
    SetEnvironmentVariableA("NetworkNeeded", nullptr);
    ASSERT_TRUE(scheduler.Started());
    HWND frame = scheduler.FindWindowOf("Ostrel Scheduler", [](HWND) { return true; }, 30000);
    ASSERT_NE(frame, nullptr) << "no wizard window";

    SendMessageA(frame, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
    HWND page = nullptr;
    for (int i = 0; i < 100; ++i) {
        page = reinterpret_cast<HWND>(SendMessageA(frame, PSM_GETCURRENTPAGEHWND, 0, 0));
        if (GetDlgItem(page, IDC_PROGRAM) && !ControlText(page, IDC_PROGRAM).empty()) break;
        Sleep(100);
    }
    ASSERT_NE(GetDlgItem(page, IDC_PROGRAM), nullptr) << "still on the first page";
    EXPECT_EQ(ControlText(page, IDC_PROGRAM), "C:\\Ostrel\\Scheduler.old");
    EXPECT_EQ(ControlText(page, IDC_PARAMETERS), "C:\\Ostrel\\Salvora.exe");
    EXPECT_EQ(ControlText(page, IDC_IMPORT_FILE), "-S -n=0 -r=30");

    // Cancel ends the program without changing anything.
    SendMessageA(frame, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    EXPECT_NE(scheduler.WaitForExit(10000), -1) << "Scheduler did not end on Cancel";
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
