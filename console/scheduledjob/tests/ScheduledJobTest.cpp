// The job a Scheduler wizard makes from the fields the console pre-fills: its command read
// the way the wizard reads the console's command line, then run the way the Schedule
// service runs a job (a process started from the command line), over this computer.
#include <gtest/gtest.h>

#include "CompanionTools.h"
#include "Enumeration.h"
#include "LogTestSupport.h"
#include "ProgramProcess.h"
#include "RegistryFixture.h"
#include "ScheduledJob.h"
#include "SchedulerJob.h"
#include "SchedulerStartup.h"
#include "Settings.h"
#include "TestSupport.h"
#include "ThisComputer.h"

#include <string>
#include <utility>

using namespace console_test;
using namespace testing_support;
using scheduledjob::JobCommand;
using scheduledjob::ParseJobArguments;

namespace {

TEST(JobArguments, TheConsolesPathBareOrQuotedThenOptionsAndListFile)
{
    // Each line as the console starts it: its path quoted, the options bare, the list file quoted.
    const std::pair<const char*, const char*> cases[] = {
        // As the wizard composes it: the console's path bare (blanks and all), the options quoted.
        {"C:\\Program Files\\Ostrel\\Salvora.exe \"-S -D -n=0 -r=30\"",
         "\"C:\\Program Files\\Ostrel\\Salvora.exe\" -S -D -n=0 -r=30"},
        {" \"C:\\P Q\\Salvora.exe\" \"-S -n=0 -r=30\" \"C:\\Lists\\all servers.txt\"",
         "\"C:\\P Q\\Salvora.exe\" -S -n=0 -r=30 \"C:\\Lists\\all servers.txt\""},
        {"C:\\Tools\\SALVORA.EXE -S list.txt", "\"C:\\Tools\\SALVORA.EXE\" -S \"list.txt\""},
        // The job's own list first, as the console's Parameters field hands it on.
        {"\"C:\\P Q\\Salvora.exe\" \"C:\\Lists\\a b.txt\" \"-S -n=0 -r=30\"",
         "\"C:\\P Q\\Salvora.exe\" -S -n=0 -r=30 \"C:\\Lists\\a b.txt\""},
        {"\"C:\\P\\Salvora.exe\" C:\\a.txt /S", "\"C:\\P\\Salvora.exe\" /S \"C:\\a.txt\""},
    };
    for (const auto& [arguments, commandLine] : cases) {
        JobCommand job;
        ASSERT_TRUE(ParseJobArguments(arguments, job)) << arguments;
        EXPECT_EQ(commandLine, scheduledjob::ConsoleCommandLine(job));
    }
    JobCommand none;
    EXPECT_FALSE(ParseJobArguments("   ", none));
    EXPECT_FALSE(ParseJobArguments(nullptr, none));
}

TEST(ScheduledJob, AConsoleThatCannotStartIsReportedAndFails)
{
    Watch watch;
    TempFolder folder("sjob");
    std::string arguments = "\"" + folder.Path() + "\\Salvora.exe\" \"-S\" \"" + folder.Path() + "\\list.txt\"";
    EXPECT_EQ(1, scheduledjob::RunScheduledJob(arguments.c_str()));
    ASSERT_EQ(1u, g_events.size());
    EXPECT_EQ(kEventUnattendedRun, g_events[0].id);
    EXPECT_EQ(EVENTLOG_ERROR_TYPE, g_events[0].type);
    EXPECT_NE(std::string::npos, g_events[0].strings[0].find(folder.Path() + "\\Salvora.exe")) << g_events[0].strings[0];
}

// Scheduler.old itself started with hostile command lines: each names no console that can
// start, so each ends at once with 1 and shows nothing.
TEST(ScheduledJob, HostileCommandLinesEndWithOneAndShowNothing)
{
    const std::string lines[] = {
        std::string(30000, 'A'),
        "\"C:\\NoSuch\\Salvora.exe -S -n=0 \"C:\\l.txt",
        "\"",
        "\"\" \"-S\" list.txt",
        "-Q /Z --help -? /",
        "\x01\x02\x1b\x7f.exe \x01",
        "",
    };
    for (const std::string& line : lines) {
        SCOPED_TRACE(line.substr(0, 60));
        ProgramOutcome outcome = testing_support::RunAnswering("Scheduler.old", line, 20000);
        ASSERT_TRUE(outcome.started);
        ASSERT_TRUE(outcome.ended) << "still running after the time limit";
        EXPECT_EQ(1u, outcome.exitCode);
        EXPECT_TRUE(outcome.shown.empty()) << outcome.shown[0].title;
    }
}

std::string g_wizardLine;

using PrefilledJobTest = RegistryTest;

// Two jobs made from two lists, then a wizard start that makes none: each job, run as the
// service runs it, processes the computers of its own list; a job of an older console,
// whose command names no list, runs on the list the settings kept for it.
TEST_F(PrefilledJobTest, EachJobRunsTheUnattendedRunOnItsOwnListFile)
{
    TempFolder program{"sjprog"}, output{"sjerd"};
    for (const char* name : {"Salvora.exe", "Vantoro.exe", "Scheduler.old"}) {
        if (!FileExists(BinFolder() + "\\" + name)) GTEST_SKIP() << name << " is not built";
        ASSERT_TRUE(CopyFileA((BinFolder() + "\\" + name).c_str(), (program / name).c_str(), FALSE)) << name;
    }
    ASSERT_EQ(0, RunProgram("\"" + BinFolder() + "\\ntsim.exe\"", 120000));
    ASSERT_TRUE(ServiceGone(30000)) << "an agent service of an earlier run is still there";
    // The console's settings as the installer leaves them, pointed into scratch folders.
    ASSERT_TRUE(SetString("InstallPath", program.Path()));
    ASSERT_TRUE(SetString("OutDir", output.Path() + "\\%COMPUTERNAME%"));
    ASSERT_TRUE(SetString("LogFileName", program / "Salvora.log"));
    for (const auto& [name, value] : {std::pair{"ERDtimeout", 120}, {"AlphaSupport", 1}, {"LogWriteAnnalix", 0}, {"NTAppLog", 0}})
        ASSERT_TRUE(SetDword(name, value)) << name;
    const char* local = LocalComputerName();
    ASSERT_NE(nullptr, local);
    const std::string here = output / "this computer.txt", elsewhere = output / "elsewhere.txt";
    ASSERT_TRUE(WriteWholeFile(here, std::string(local) + "\r\n"));
    ASSERT_TRUE(WriteWholeFile(elsewhere, "NOSUCHPC\r\n"));

    // The console's Schedule Wizard command with a list file open, the wizard's fields as it
    // fills them from that line, and the job's command from those fields.
    ConsoleSettings settings;
    ASSERT_TRUE(settings.Load());
    LogSettings log;
    log.Load(settings);
    SetProgramStarter([](const char* line, UINT) -> UINT {
        g_wizardLine = line;
        return 33;
    });
    auto makeJob = [&](const std::string& list, std::string& parametersField) {
        g_wizardLine.clear();
        StartScheduleWizard(nullptr, settings, log, list);
        schedule::StartupValues fields = schedule::ParseStartupValues(schedule::SkipProgramName(g_wizardLine.c_str()));
        parametersField = schedule::ReplaceAngleQuotes(fields.parameters);
        return schedule::ComposeCommandText(schedule::ReplaceAngleQuotes(fields.program), parametersField,
                                            schedule::ReplaceAngleQuotes(fields.importFile));
    };
    std::string field;
    const std::string jobHere = makeJob(here, field);
    EXPECT_EQ("\"" + program.Path() + "\\Salvora.exe\" \"" + here + "\"", field) << "the wizard shows the list";
    EXPECT_EQ("\"" + program.Path() + "\\Scheduler.old\" " + field + " \"-S -n=0 -r=30\"", jobHere);
    const std::string jobElsewhere = makeJob(elsewhere, field);
    makeJob(output / "cancelled.txt", field); // a wizard start that makes no job
    SetProgramStarter(nullptr);
    std::string recorded;
    EXPECT_FALSE(ReadSettingString(kScheduledListFileValue, recorded)) << recorded;

    // Run as the service runs it. Wine's service manager may refuse a fresh agent service
    // its start for a while (1053; see the end-to-end test): such a run is repeated.
    const std::string logFile = program / "Salvora.log";
    auto runJob = [&](const std::string& command, std::string& text) {
        int exitCode = -1;
        for (DWORD begin = GetTickCount();;) {
            DeleteFileA(logFile.c_str());
            exitCode = RunProgram(command, 240000);
            text.clear();
            ReadWholeFile(logFile, text);
            if (exitCode == 0 || text.find("\t1053") == std::string::npos) break;
            if (!ServiceGone(30000) || GetTickCount() - begin > 60000) break;
        }
        return exitCode;
    };
    std::string text;
    int exitCode = runJob(jobHere, text);
    if (exitCode != 0 && text.find("\t1053") != std::string::npos)
        GTEST_SKIP() << "Wine's service manager did not let the agent start (1053)";
    EXPECT_EQ(0, exitCode) << text;
    EXPECT_NE(std::string::npos, text.find(std::string("Success\tCreate ER Disk\t") + local)) << text;
    EXPECT_NE(std::string::npos, text.find("* Result: Success *")) << text;
    EXPECT_EQ(std::string::npos, text.find("NOSUCHPC")) << text;
    std::vector<std::string> sent = ListFiles(RepairFolder());
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent, ListFiles(output / local));
    EXPECT_TRUE(ServiceGone(30000));

    // The other job, on its own list: the console's failure is the job's exit code.
    EXPECT_EQ(1, runJob(jobElsewhere, text));
    EXPECT_NE(std::string::npos, text.find("NOSUCHPC")) << text;
    EXPECT_EQ(std::string::npos, text.find(std::string("\t") + local)) << text;
    EXPECT_NE(std::string::npos, text.find("* Result: Error *")) << text;

    // A job made by an older console names no list; it runs on the one kept in the settings.
    ASSERT_TRUE(SetString(kScheduledListFileValue, elsewhere));
    const std::string olderJob =
        "\"" + program.Path() + "\\Scheduler.old\" " + program.Path() + "\\Salvora.exe \"-S -n=0 -r=30\"";
    EXPECT_EQ(1, runJob(olderJob, text));
    EXPECT_NE(std::string::npos, text.find("NOSUCHPC")) << text;
}

} // namespace
