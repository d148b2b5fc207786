#include <gtest/gtest.h>

#include "SchedulerJob.h"
#include "SchedulerStartup.h"
#include "TestSupport.h"

using namespace schedule;
using testing_support::TempFolder;
using testing_support::WriteWholeFile;

TEST(StartupValues, QuotedAndUnquotedTokensAndNone)
{
    StartupValues a = ParseStartupValues(" \"C:\\P\\x.exe\" NONE \"C:\\l.txt\"");
    EXPECT_EQ(a.program, "C:\\P\\x.exe");
    EXPECT_EQ(a.parameters, "");
    EXPECT_EQ(a.importFile, "C:\\l.txt");

    StartupValues b = ParseStartupValues("x.exe -S");
    EXPECT_EQ(b.program, "x.exe");
    EXPECT_EQ(b.parameters, "-S");
    EXPECT_EQ(b.importFile, "");

    StartupValues c = ParseStartupValues("x.exe \"<a b>\" l.txt ignored too");
    EXPECT_EQ(c.parameters, "<a b>");
    EXPECT_EQ(ReplaceAngleQuotes(c.parameters), "\"a b\"");
    EXPECT_EQ(c.importFile, "l.txt");

    StartupValues none = ParseStartupValues("   ");
    EXPECT_EQ(none.program, "");
    StartupValues unclosed = ParseStartupValues("\"C:\\Program Files\\x.exe");
    EXPECT_EQ(unclosed.program, "C:\\Program Files\\x.exe");
}

TEST(StartupValues, TheConsolesScheduleWizardLineFillsTheThreeFields)
{
    const char* line = "\"C:\\Ostrel\\Scheduler.exe\" \"C:\\Ostrel\\Scheduler.old\" \"C:\\Ostrel\\Salvora.exe\" "
                       "\"-S -n=0 -r=30\" \"C:\\lists\\servers.txt\"";
    StartupValues values = ParseStartupValues(SkipProgramName(line));
    EXPECT_EQ(values.program, "C:\\Ostrel\\Scheduler.old");
    EXPECT_EQ(values.parameters, "C:\\Ostrel\\Salvora.exe");
    EXPECT_EQ(values.importFile, "-S -n=0 -r=30");
    EXPECT_STREQ(SkipProgramName("Scheduler.exe a"), " a");
}

TEST(StartupValues, OverlongTokensAreCutToTheFields)
{
    std::string program(400, 'p');
    std::string parameters(400, 'a');
    std::string import(400, 'i');
    StartupValues values = ParseStartupValues((program + " \"" + parameters + "\" " + import).c_str());
    EXPECT_EQ(values.program, std::string(kMaxProgram, 'p'));
    EXPECT_EQ(values.parameters, std::string(kMaxParameters, 'a'));
    EXPECT_EQ(values.importFile, std::string(kMaxImportFile, 'i'));
}

TEST(StartupSwitches, OnlyAOneCharacterValueCounts)
{
    SetEnvironmentVariableA("OstrelTestSwitch", nullptr);
    EXPECT_EQ(ReadEnvironmentSwitch("OstrelTestSwitch"), 1);
    SetEnvironmentVariableA("OstrelTestSwitch", "0");
    EXPECT_EQ(ReadEnvironmentSwitch("OstrelTestSwitch"), 0);
    SetEnvironmentVariableA("OstrelTestSwitch", "00");
    EXPECT_EQ(ReadEnvironmentSwitch("OstrelTestSwitch"), 1);
    SetEnvironmentVariableA("OstrelTestSwitch", "");
    EXPECT_EQ(ReadEnvironmentSwitch("OstrelTestSwitch"), 1);
    SetEnvironmentVariableA("OstrelTestSwitch", "7");
    EXPECT_EQ(ReadEnvironmentSwitch("OstrelTestSwitch"), 7);
    SetEnvironmentVariableA("OstrelTestSwitch", nullptr);
}

TEST(StartupHelpFile, PrefersSchedulerChmThenAnyChmThenTheBareName)
{
    TempFolder folder("hlp");
    std::string program = folder / "Scheduler.exe";
    EXPECT_EQ(FindHelpFile(program), "Scheduler.chm");
    ASSERT_TRUE(WriteWholeFile(folder / "other.chm", "x"));
    EXPECT_EQ(FindHelpFile(program), folder / "other.chm");
    ASSERT_TRUE(WriteWholeFile(folder / "Scheduler.chm", "x"));
    EXPECT_EQ(FindHelpFile(program), folder / "Scheduler.chm");
    EXPECT_EQ(FindHelpFile("Scheduler.exe"), "Scheduler.chm");
}
