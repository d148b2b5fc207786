// Salvora's start: the command line, the application object and the unattended run over
// simulated targets (in-process agents on pipes of their own).
#include <gtest/gtest.h>

#include "ConsoleState.h"
#include "ConsoleStrings.h"
#include "CreationRun.h"
#include "Enumeration.h"
#include "LogTestSupport.h"
#include "OnDemandTasks.h"
#include "RegistryFixture.h"
#include "ProgramProcess.h"
#include "ResultLog.h"
#include "Settings.h"
#include "SimulatedAgents.h"
#include "SimulatedRunTest.h"
#include "Startup.h"
#include "TestSupport.h"
#include "Thread.h"

#include <map>
#include <set>
#include <stdexcept>

using namespace testing_support;
using namespace console_test;

namespace {

CommandLineOptions Parse(const char* arguments) { return ParseCommandLine(arguments); }

TEST(CommandLine, SwitchesWithEitherMarkAndAnyCase)
{
    for (const char* line : {"-S -D", "/s /d", "-s /D", "s d"}) {
        CommandLineOptions options = Parse(line);
        EXPECT_TRUE(options.unattended) << line;
        EXPECT_TRUE(options.onDemandTasks) << line;
        // A plain s or d is taken as the option and, being no switch, names the list file too.
        EXPECT_EQ(line[0] == 's' ? "s" : "", options.importFile) << line;
    }
    CommandLineOptions none = Parse("-sx -dd -S= list.txt");
    EXPECT_FALSE(none.unattended);
    EXPECT_FALSE(none.onDemandTasks);
    EXPECT_EQ("list.txt", none.importFile);
}

// Hostile command lines: over-long, unbalanced quotes, unknown switches, absurd numbers.
// Each is read without harm into what the options say, and the rest is left as default.
TEST(CommandLine, HostileLinesGiveDefaultsOrWhatTheyName)
{
    const std::string huge(70000, 'x');
    struct Case {
        const char* what;
        std::string line;
        bool unattended;
        std::string importFile;
    };
    const Case cases[] = {
        {"70,000 characters in one word", huge, false, huge},
        {"70,000 characters after -S", "-S " + huge, true, huge},
        {"an unbalanced quote", "-S \"C:\\lists\\a b.txt", true, "C:\\lists\\a b.txt"},
        {"a lone quote", "\"", false, ""},
        {"unknown switches only", "-Q /Z --help -? /", false, ""},
        {"switch marks without names", "- / -- //", false, ""},
        {"control characters", "-S \x01\x02 list\ttab.txt", true, "\x01\x02"},
        {"nothing", "", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CommandLineOptions options = Parse(c.line.c_str());
        EXPECT_EQ(c.unattended, options.unattended);
        EXPECT_EQ(c.importFile, options.importFile);
        EXPECT_FALSE(options.onDemandTasks);
    }
    // Retry numbers out of range stay numbers and the pause stays bounded.
    CommandLineOptions absurd = Parse("-r=99999999999999999999 -n=-99999999999999999999");
    EXPECT_LE(RetryPauseMilliseconds(absurd.retryMinutes), static_cast<DWORD>(INFINITE - 1));
    EXPECT_EQ(0u, RetryPauseMilliseconds(-5));
}

TEST(CommandLine, ValuedOptions)
{
    CommandLineOptions options = Parse("-L=C:\\logs\\run.log /o=D:\\ERD\\%COMPUTERNAME% -r=30 -N=2");
    EXPECT_EQ("C:\\logs\\run.log", options.logFile);
    EXPECT_EQ("D:\\ERD\\%COMPUTERNAME%", options.outDir);
    EXPECT_EQ(30, options.retryMinutes);
    EXPECT_EQ(2, options.retries);
    EXPECT_FALSE(options.unattended);

    // "%i": octal and hexadecimal with the C prefixes; garbage reads as 0.
    EXPECT_EQ(8, Parse("-r=010").retryMinutes);
    EXPECT_EQ(31, Parse("-r=0x1F").retryMinutes);
    EXPECT_EQ(0, Parse("-r=x").retryMinutes);
    EXPECT_EQ(0, Parse("-n=").retries);
    EXPECT_EQ(5, Parse("-n=5min").retries);
    EXPECT_EQ(-1, Parse("-n=-1").retries);

    // A path option keeps at most 259 characters.
    std::string longPath(400, 'x');
    EXPECT_EQ(std::string(259, 'x'), Parse(("-l=" + longPath).c_str()).logFile);
    EXPECT_EQ(std::string(259, 'x'), Parse(("-o=" + longPath).c_str()).outDir);
}

TEST(CommandLine, FirstPlainParameterIsTheListFile)
{
    CommandLineOptions options = Parse("-S -D -n=0 -r=30 \"C:\\My Lists\\servers.txt\" second.txt");
    EXPECT_EQ("C:\\My Lists\\servers.txt", options.importFile);
    EXPECT_EQ(0, options.retries);
    EXPECT_EQ(30, options.retryMinutes);
    EXPECT_EQ("-S -D -n=0 -r=30 \"C:\\My Lists\\servers.txt\" second.txt", options.commandText);
    // A switch never names the file; the first parameter that is not one does, option or not.
    CommandLineOptions plain = Parse("-list.txt d list.txt");
    EXPECT_EQ("d", plain.importFile);
    EXPECT_TRUE(plain.onDemandTasks);
    EXPECT_EQ("list.txt", Parse("-list.txt -d list.txt").importFile);
    // The option tests are made on plain parameters too.
    EXPECT_EQ("C:\\a.log", Parse("l=C:\\a.log").logFile);
}

TEST(CommandLine, SplittingByTheRuntimeRules)
{
    EXPECT_EQ((std::vector<std::string>{"a", "b c", "d\"e", "f\\\\g", "h\\", "i\"j"}),
              SplitArguments("a \"b c\"  d\\\"e f\\\\g \"h\\\\\" \"i\"\"j\""));
    EXPECT_TRUE(SplitArguments("   ").empty());
    EXPECT_EQ((std::vector<std::string>{""}), SplitArguments("\"\""));
    EXPECT_STREQ("-S list.txt", ArgumentsOf("\"C:\\Program Files\\Salvora.exe\"  -S list.txt"));
    EXPECT_STREQ("-S", ArgumentsOf("Salvora.exe\t-S"));
    EXPECT_STREQ("", ArgumentsOf("Salvora.exe"));
}

TEST(CommandLine, RetryPause)
{
    EXPECT_EQ(0u, RetryPauseMilliseconds(0));
    EXPECT_EQ(0u, RetryPauseMilliseconds(-5));
    EXPECT_EQ(60000u, RetryPauseMilliseconds(1));
    EXPECT_EQ(1800000u, RetryPauseMilliseconds(30));
    EXPECT_EQ(INFINITE - 1, RetryPauseMilliseconds(100000)); // 6,000,000,000 ms does not wrap
}

std::vector<DWORD> g_pauses;
void RecordPause(DWORD milliseconds) { g_pauses.push_back(milliseconds); }

simagents::Script Failing()
{
    simagents::Script script;
    script.behaviour = simagents::Behaviour::FailureStatus;
    return script;
}

class UnattendedRunTest : public SimulatedRunTest {
protected:
    void SetUp() override
    {
        SimulatedRunTest::SetUp();
        TheConsoleSettings().AnnalixInstallPath.clear();
        g_pauses.clear();
        SetRetryPauseFunction(RecordPause);
    }
    void TearDown() override
    {
        SetRetryPauseFunction(nullptr);
        SetUnattended(false);
        SimulatedRunTest::TearDown();
    }

    std::string WriteList(const std::string& text)
    {
        std::string path = folder.Path() + "\\list.txt";
        EXPECT_TRUE(WriteWholeFile(path, text));
        return path;
    }

    std::vector<std::string> RunEvents(WORD& type) const
    {
        std::vector<std::string> seconds;
        type = 0;
        for (const ReportedEvent& e : g_events) {
            if (e.id != kEventUnattendedRun) continue;
            EXPECT_EQ(2u, e.strings.size());
            if (e.strings.size() != 2) continue;
            EXPECT_EQ(0u, e.strings[0].rfind("Salvora started with parameters: ", 0)) << e.strings[0];
            if (type == 0) type = e.type;
            seconds.push_back(e.strings[1]);
        }
        return seconds;
    }

    std::map<std::string, int> Deploys() const
    {
        std::map<std::string, int> count;
        for (const std::string& name : deployer->DeployOrder()) ++count[name];
        return count;
    }

    std::string LogText() const
    {
        std::string text;
        ReadWholeFile(TheResultLog().Settings().LogFileName, text);
        return text;
    }

};

TEST_F(UnattendedRunTest, FailingComputerIsRetriedUntilTheRetriesAreSpent)
{
    Watch watch;
    deployer->SetScript("SIMBAD", Failing());
    CommandLineOptions options = Parse(("-S -n=2 -r=1 " + WriteList("SIMGOOD\nSIMBAD\n")).c_str());
    SetUnattended(true);
    EXPECT_EQ(1, UnattendedRun(options));

    WORD type = 0;
    std::vector<std::string> events = RunEvents(type);
    EXPECT_EQ(EVENTLOG_INFORMATION_TYPE, type);
    ASSERT_EQ(3u, events.size());
    EXPECT_EQ("import file: " + folder.Path() + "\\list.txt", events[0]);
    EXPECT_EQ("Retry #2", events[1]);
    EXPECT_EQ("Retry #3", events[2]);
    EXPECT_EQ((std::vector<DWORD>{60000, 60000}), g_pauses);
    // The computer that succeeded is not asked again; the failing one three times.
    std::map<std::string, int> deploys = Deploys();
    EXPECT_EQ(1, deploys["SIMGOOD"]);
    EXPECT_EQ(3, deploys["SIMBAD"]);
    EXPECT_EQ(0, TheComputerList().At(0)->selected);
    EXPECT_EQ(1, TheComputerList().At(1)->selected);
    // Three sessions, appended one after another.
    std::string log = LogText();
    size_t sessions = 0;
    for (size_t at = log.find(kSessionCreateErd); at != std::string::npos; at = log.find(kSessionCreateErd, at + 1))
        ++sessions;
    EXPECT_LE(3u, sessions);
}

TEST_F(UnattendedRunTest, AllSucceedingNeedsNoRetry)
{
    Watch watch;
    CommandLineOptions options = Parse(("/s -n=3 -r=0 " + WriteList("SIMA\nSIMB\n")).c_str());
    SetUnattended(true);
    EXPECT_EQ(0, UnattendedRun(options));
    WORD type = 0;
    EXPECT_EQ(1u, RunEvents(type).size());
    EXPECT_TRUE(g_pauses.empty());
    EXPECT_EQ(2, deployer->DeployedCount());
    EXPECT_FALSE(ListFiles(folder.Path() + "\\out\\SIMA").empty());
}

TEST_F(UnattendedRunTest, NegativeRetryCountMeansOneAttempt)
{
    Watch watch;
    deployer->SetScript("SIMBAD", Failing());
    CommandLineOptions options = Parse(("-S -n=-1 -r=-2 " + WriteList("SIMBAD\n")).c_str());
    SetUnattended(true);
    EXPECT_EQ(1, UnattendedRun(options));
    EXPECT_EQ(1, deployer->DeployedCount());
    EXPECT_TRUE(g_pauses.empty());
}

TEST_F(UnattendedRunTest, MissingOrEmptyListFile)
{
    const std::string missing = folder.Path() + "\\no such list.txt";
    const std::string empty = WriteList("\n  \n");
    for (const std::string& path : {missing, std::string(), empty}) {
        Watch watch;
        TheResultLog().Settings().LogOverwrite = 0;
        CommandLineOptions options = Parse(path.empty() ? "-S" : ("-S \"" + path + "\"").c_str());
        SetUnattended(true);
        EXPECT_EQ(1, UnattendedRun(options)) << path;
        WORD type = 0;
        std::vector<std::string> events = RunEvents(type);
        EXPECT_EQ(EVENTLOG_ERROR_TYPE, type);
        ASSERT_EQ(1u, events.size());
        EXPECT_EQ("Read error or empty import file: " + path, events[0]);
        EXPECT_NE(std::string::npos, LogText().find("Read error or empty import file: " + path));
        EXPECT_EQ(0, deployer->DeployedCount());
    }
}

TEST_F(UnattendedRunTest, LogAndOutputFolderForThisRunOnly)
{
    Watch watch;
    ASSERT_TRUE(SetString("OutDir", "C:\\Stored\\%COMPUTERNAME%"));
    const std::string out = folder.Path() + "\\elsewhere\\%COMPUTERNAME%";
    const std::string logPath = folder.Path() + "\\run.log";
    CommandLineOptions options = Parse(("-S \"-o=" + out + "\" \"-l=" + logPath + "\" " + WriteList("SIMA\n")).c_str());
    SetUnattended(true);
    EXPECT_EQ(0, UnattendedRun(options));
    EXPECT_FALSE(ListFiles(folder.Path() + "\\elsewhere\\SIMA").empty());
    std::string log;
    ASSERT_TRUE(ReadWholeFile(logPath, log));
    EXPECT_NE(std::string::npos, log.find("SIMA"));
    std::string stored;
    DWORD type = 0;
    ASSERT_TRUE(GetValue("OutDir", type, stored));
    EXPECT_EQ(std::string("C:\\Stored\\%COMPUTERNAME%") + '\0', stored);
}

TEST_F(UnattendedRunTest, OnDemandTasksAfterTheRun)
{
    // A private copy of the Annalix stand-in, so that its record file stays in the test folder.
    ASSERT_TRUE(CopyFileA((BinFolder() + "\\Annalix.dll").c_str(), (folder.Path() + "\\Annalix.dll").c_str(), FALSE));
    TheConsoleSettings().AnnalixInstallPath = folder.Path();
    Watch watch;
    CommandLineOptions options = Parse(("-S -D " + WriteList("SIMA\n")).c_str());
    SetUnattended(true);
    EXPECT_EQ(0, UnattendedRun(options));
    std::string tasks;
    ASSERT_TRUE(ReadWholeFile(folder.Path() + "\\Annalix.txt", tasks));
    EXPECT_NE(std::string::npos, tasks.find("TASKS Salvora"));
    EXPECT_NE(std::string::npos, LogText().find(kSessionOnDemandTasks));
}

TEST_F(UnattendedRunTest, OnDemandTaskFailuresAreLoggedAndSwitchesRestored)
{
    ASSERT_TRUE(CopyFileA((BinFolder() + "\\Annalix.dll").c_str(), (folder.Path() + "\\Annalix.dll").c_str(), FALSE));
    TheConsoleSettings().AnnalixInstallPath = folder.Path();
    LogSettings& log = TheResultLog().Settings();
    log.LogOverwrite = 1;
    log.LogWriteAnnalix = 0;
    Watch watch;
    SetUnattended(true);
    SetEnvironmentVariableA("ANNALIX_FAIL", "ExecuteOnDemandTasks=1722");
    EXPECT_FALSE(RunOnDemandTasks());
    SetEnvironmentVariableA("ANNALIX_FAIL", nullptr);
    EXPECT_EQ(1u, log.LogOverwrite);
    EXPECT_EQ(0u, log.LogWriteAnnalix);
    std::string text = LogText();
    EXPECT_NE(std::string::npos, text.find("Annalix service is unavailable.")) << text;
    EXPECT_NE(std::string::npos, text.find("1722")) << text;
    EXPECT_NE(std::string::npos, text.find(kOnDemandAborted)) << text;

}

TEST_F(UnattendedRunTest, BadInputLeavesEveryComputerWithItsResult)
{
    Watch watch;
    simagents::Script unreachable;
    unreachable.behaviour = simagents::Behaviour::InstallFailure;
    deployer->SetScript("GONE", unreachable);
    // A log in a folder that does not exist, garbage numbers, an over-long name (cut to 15
    // characters) and a computer that cannot be reached.
    const std::string logPath = folder.Path() + "\\no folder\\run.log";
    CommandLineOptions options =
        Parse(("-S -r=x -n=zz \"-l=" + logPath + "\" " + WriteList("SIMA\nGONE\nAVERYLONGCOMPUTERNAME\n")).c_str());
    SetUnattended(true);
    EXPECT_EQ(1, UnattendedRun(options));
    ASSERT_EQ(3u, TheComputerList().Size());
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), TheComputerList().At(0)->result);
    EXPECT_EQ(static_cast<uint32_t>(kJobInstallError), TheComputerList().At(1)->result);
    EXPECT_EQ("AVERYLONGCOMPUT", TheComputerList().At(2)->name);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), TheComputerList().At(2)->result);
    EXPECT_FALSE(ListFiles(folder.Path() + "\\out\\SIMA").empty());
    EXPECT_FALSE(ListFiles(folder.Path() + "\\out\\AVERYLONGCOMPUT").empty());
    EXPECT_TRUE(g_pauses.empty()); // -n=zz is no retry
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(UnattendedRunTest, UnknownComputersThroughTheRealDeployment)
{
    Watch watch;
    SetDeployer(nullptr);
    CommandLineOptions options = Parse(("-S -n=1 -r=0 " + WriteList("NOSUCHPC1\nbad*name?\n")).c_str());
    SetUnattended(true);
    DWORD start = GetTickCount();
    EXPECT_EQ(1, UnattendedRun(options));
    EXPECT_LT(GetTickCount() - start, 120000u);
    ASSERT_EQ(2u, TheComputerList().Size());
    std::string log = LogText();
    for (const ComputerEntryPtr& entry : TheComputerList().Entries()) {
        EXPECT_NE(static_cast<uint32_t>(kJobSucceeded), entry->result) << entry->name;
        EXPECT_NE(0u, entry->result) << entry->name;
        EXPECT_NE(std::string::npos, log.find("Error\tCreate ER Disk\t" + entry->name)) << log;
    }
    WORD type = 0;
    EXPECT_EQ(2u, RunEvents(type).size()); // the start and "Retry #2"
}

TEST_F(UnattendedRunTest, OutputFolderThatCannotBeMade)
{
    Watch watch;
    ASSERT_TRUE(WriteWholeFile(folder.Path() + "\\plain", "a file, not a folder"));
    CommandLineOptions options =
        Parse(("-S \"-o=" + folder.Path() + "\\plain\\%COMPUTERNAME%\" " + WriteList("SIMA\n")).c_str());
    SetUnattended(true);
    EXPECT_EQ(1, UnattendedRun(options));
    EXPECT_EQ(static_cast<uint32_t>(kJobOutputFolderError), TheComputerList().At(0)->result);
    EXPECT_NE(std::string::npos, LogText().find(TEXT_JOB_OUTPUT_FOLDER));
}

// The run's end: one summary session (start, end, attempts, each computer's final result)
// and one event of its own, an error naming the computers that still fail; a result log
// that cannot be written is an error event and no success.
TEST_F(UnattendedRunTest, SummarySessionAndEventAtTheRunsEnd)
{
    const struct {
        bool badFails, logUnwritable;
        int exitCode;
        WORD type;
        const char* finalText;
    } cases[] = {{true, false, 1, EVENTLOG_ERROR_TYPE, "2 attempt(s): 1 of 2 computer(s) failed *"},
                 {false, false, 0, EVENTLOG_INFORMATION_TYPE, "1 attempt(s): 0 of 2 computer(s) failed *"},
                 {false, true, 1, EVENTLOG_INFORMATION_TYPE, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.badFails + 2 * c.logUnwritable);
        Watch watch;
        TheResultLog().Settings().LogWriteFile = 1;
        DeleteFileA(TheResultLog().Settings().LogFileName);
        deployer->SetScript("SIMBAD", c.badFails ? Failing() : simagents::Script{});
        const std::string log = c.logUnwritable ? " \"-l=" + folder.Path() + "\\no folder\\run.log\"" : "";
        SetUnattended(true);
        const std::string line = "-S -n=1 -r=0" + log + " " + WriteList("SIMGOOD\nSIMBAD\n");
        EXPECT_EQ(c.exitCode, UnattendedRun(Parse(line.c_str())));
        EXPECT_TRUE(g_boxes.empty());
        ASSERT_EQ(kEventRunSummary, g_events.back().id); // after the last retry
        const ReportedEvent& summary = g_events.back();
        EXPECT_EQ(c.type, summary.type);
        EXPECT_EQ(c.badFails, summary.strings[0].find("SIMBAD") != std::string::npos) << summary.strings[0];
        EXPECT_EQ(std::string::npos, summary.strings[0].find("SIMGOOD"));
        EXPECT_EQ(c.badFails, summary.strings[1].find("SIMBAD\t" TEXT_JOB_COMMUNICATION) != std::string::npos);
        int unwritable = 0;
        for (const ReportedEvent& e : g_events)
            unwritable += e.id == kEventLogUnwritable && e.type == EVENTLOG_ERROR_TYPE &&
                          e.strings[0].find("run.log") != std::string::npos;
        EXPECT_EQ(c.logUnwritable ? 1 : 0, unwritable); // once, not once per session
        if (c.logUnwritable) continue;

        const std::string text = LogText();
        const size_t at = text.rfind(kSessionRunSummary);
        ASSERT_NE(std::string::npos, at) << text;
        const std::string session = text.substr(at); // the last session of the log
        EXPECT_EQ(std::string::npos, session.find(kSessionCreateErd));
        EXPECT_NE(std::string::npos,
                  session.find("Success\t" TEXT_SUMMARY_ITEM "\tSIMGOOD\t==//==\t" TEXT_JOB_SUCCEEDED "\t0\r\n"));
        EXPECT_EQ(c.badFails, session.find("Error\t" TEXT_SUMMARY_ITEM "\tSIMBAD\t==//==\t" TEXT_JOB_COMMUNICATION) !=
                                  std::string::npos) << session;
        EXPECT_NE(std::string::npos, session.find("* Started ")) << session;
        EXPECT_NE(std::string::npos, session.find(c.finalText)) << session;
    }
}

// The application object.
bool g_interactiveStarted = false;
bool StartRecorded(CSalvoraApp&)
{
    g_interactiveStarted = true;
    return true;
}
bool StartThrowing(CSalvoraApp&) { throw std::runtime_error("window"); }

class ApplicationTest : public UnattendedRunTest {
protected:
    void TearDown() override
    {
        CSalvoraApp::SetInteractiveStart(nullptr);
        UnattendedRunTest::TearDown();
    }
};

// Without the settings key: an interactive start says so in a box; an unattended one shows
// nothing (under the Schedule service nobody could close it), reports an error event and
// ends with 1. Either way nothing is written.
TEST_F(ApplicationTest, NotInstalledShowsTheMessageAndWritesNothing)
{
    DeleteKeyTree(kSalvoraKey);
    struct Case {
        const char* line;
        bool box;
    };
    for (const Case& c : {Case{"Salvora.exe -S list.txt", false}, Case{"Salvora.exe list.txt", true}}) {
        SCOPED_TRACE(c.line);
        Watch watch;
        CSalvoraApp app;
        EXPECT_FALSE(app.InitInstance(c.line));
        ASSERT_EQ(c.box ? 1u : 0u, g_boxes.size());
        if (c.box) {
            EXPECT_EQ(TEXT_NOT_INSTALLED, g_boxes[0].text);
            EXPECT_EQ(TEXT_APP_TITLE, g_boxes[0].caption);
            EXPECT_EQ(static_cast<UINT>(MB_ICONSTOP), g_boxes[0].style & MB_ICONMASK);
            EXPECT_TRUE(g_events.empty());
        } else {
            ASSERT_EQ(1u, g_events.size());
            EXPECT_EQ(kEventUnattendedRun, g_events[0].id);
            EXPECT_EQ(EVENTLOG_ERROR_TYPE, g_events[0].type);
            ASSERT_EQ(2u, g_events[0].strings.size());
            EXPECT_EQ(TEXT_NOT_INSTALLED, g_events[0].strings[1]);
        }
        EXPECT_EQ(1, app.ExitInstance());
        SetUnattended(false);
        EXPECT_FALSE(KeyExists(kSettingsKeyPath));
    }
    // The program itself, as the Schedule service starts it: no window at all, exit code 1.
    ProgramOutcome outcome = RunAnswering("Salvora.exe", "-S -n=0 list.txt", 60000);
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(1u, outcome.exitCode);
    EXPECT_TRUE(outcome.shown.empty()) << outcome.shown[0].title;
    EXPECT_FALSE(KeyExists(kSettingsKeyPath));
}

TEST_F(ApplicationTest, UnattendedStartRunsAndKeepsTheSettings)
{
    ASSERT_TRUE(SetString("InstallPath", folder.Path()));
    ASSERT_TRUE(SetString("OutDir", "C:\\Stored"));
    ASSERT_TRUE(SetDword("MaxThreadNum", 7));
    Watch watch;
    CSalvoraApp app;
    std::string line = "\"C:\\Prog\\Salvora.exe\" -S \"-o=" + folder.Path() + "\\o\\%COMPUTERNAME%\" -r=0 " +
                       WriteList("SIMA\n");
    EXPECT_FALSE(app.InitInstance(line.c_str()));
    EXPECT_TRUE(IsUnattended());
    EXPECT_EQ(0, app.ExitCode());
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_FALSE(ListFiles(folder.Path() + "\\o\\SIMA").empty());
    TheConsoleSettings().MaxThreadNum = 99;
    EXPECT_EQ(0, app.ExitInstance());
    uint32_t threads = 0;
    ASSERT_TRUE(GetDword("MaxThreadNum", threads));
    EXPECT_EQ(7u, threads);
}

TEST_F(ApplicationTest, InteractiveStartAndItsFailure)
{
    Watch watch;
    g_interactiveStarted = false;
    CSalvoraApp::SetInteractiveStart(StartRecorded);
    CSalvoraApp app;
    EXPECT_TRUE(app.InitInstance("Salvora.exe servers.txt"));
    EXPECT_TRUE(g_interactiveStarted);
    EXPECT_FALSE(IsUnattended());
    EXPECT_EQ("servers.txt", app.Options().importFile);
    TheConsoleSettings().MaxThreadNum = 42;
    EXPECT_EQ(0, app.ExitInstance());
    uint32_t threads = 0;
    ASSERT_TRUE(GetDword("MaxThreadNum", threads)); // saved after an interactive start
    EXPECT_EQ(42u, threads);

    CSalvoraApp::SetInteractiveStart(StartThrowing);
    CSalvoraApp failing;
    EXPECT_FALSE(failing.InitInstance("Salvora.exe"));
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(TEXT_INIT_FAILED, g_boxes[0].text);
}

// The program itself, started as a scheduled job would start it.
TEST_F(ApplicationTest, ProgramExitCodes)
{
    ASSERT_TRUE(SetString("InstallPath", folder.Path()));
    ASSERT_TRUE(SetString("OutDir", "C:\\Stored"));
    ASSERT_TRUE(SetString("LogFileName", folder.Path() + "\\program.log"));
    const std::string program = "\"" + BinFolder() + "\\Salvora.exe\"";
    EXPECT_EQ(1, RunProgram(program + " -S \"" + folder.Path() + "\\missing.txt\"", 60000));
    EXPECT_EQ(1, RunProgram(program + " /s -o=C:\\Elsewhere -r=0", 60000));
    std::string stored;
    DWORD type = 0;
    ASSERT_TRUE(GetValue("OutDir", type, stored));
    EXPECT_EQ(std::string("C:\\Stored") + '\0', stored);
    std::string log;
    ASSERT_TRUE(ReadWholeFile(folder.Path() + "\\program.log", log));
    EXPECT_NE(std::string::npos, log.find("Read error or empty import file: " + folder.Path() + "\\missing.txt"));
}

// The program itself with hostile unattended command lines: each ends with exit code 1
// (no list to run) and shows nothing, however long or broken the line.
TEST_F(ApplicationTest, HostileProgramCommandLinesEndWithTheirExitCode)
{
    ASSERT_TRUE(SetString("InstallPath", folder.Path()));
    ASSERT_TRUE(SetString("LogFileName", folder.Path() + "\\program.log"));
    const std::string program = "\"" + BinFolder() + "\\Salvora.exe\"";
    const std::string lines[] = {
        " -S " + std::string(30000, 'x'),
        " -S \"" + folder.Path() + "\\no such list.txt",
        " -S -Q /Z -- -? / -o= -l= -r=-2147483648 -n=99999999999",
        " /s \"\"\"\"\"",
    };
    for (const std::string& line : lines) {
        SCOPED_TRACE(line.substr(0, 80));
        EXPECT_EQ(1, RunProgram(program + line, 60000));
    }
    EXPECT_TRUE(ListFiles(folder.Path() + "\\out").empty());
}

} // namespace

// Hostile list files through the unattended run: each gives every computer read from it a
// result of its own and the run its exit code, and nothing is written outside the output
// folders (the simulated agents' repair folders are made for the plain names only).
TEST_F(UnattendedRunTest, HostileListFilesGiveEachNameAResultAndWriteNothingElsewhere)
{
    std::string garbage = PatternBytes(4096, 3);
    std::string utf16 = std::string("\xFF\xFE", 2);
    for (char c : std::string("SIMA\r\nSIMB\r\n")) utf16 += std::string(1, c) + '\0';
    std::string manyLines;
    for (int i = 0; i < 100000; ++i) manyLines += (i % 2) ? "\n" : "   \t\r\n";
    manyLines += "SIMA\n";
    struct Case {
        const char* what;
        std::string text;
        int exitCode;            // of the run
        size_t succeeded;        // computers whose files arrived
    };
    const Case cases[] = {
        {"binary garbage", garbage, 1, 0},
        {"a UTF-16 file", utf16, 1, 0},
        {"100,000 blank lines and one name", manyLines, 0, 1},
        {"names that are no folder name", "..\n..\\..\\ESCAPED\nPC:STREAM\nTAB\x01NAME\nSIMA\n", 1, 1},
        {"empty lines only", "\n\n\r\n", 1, 0},
    };
    deployer->prepareFolders = false;
    deployer->MakeRepairFolder("SIMA", simagents::Script{});
    const std::string out = folder.Path() + "\\out";
    const std::set<std::string> before = [&] {
        std::set<std::string> names;
        for (const std::string& name : ListFiles(folder.Path())) names.insert(name);
        return names;
    }();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CommandLineOptions options = Parse(("-S " + WriteList(c.text)).c_str());
        SetUnattended(true);
        EXPECT_EQ(c.exitCode, UnattendedRun(options));
        size_t succeeded = 0;
        for (size_t i = 0; i < TheComputerList().Size(); ++i) {
            const ComputerEntry& entry = *TheComputerList().At(i);
            EXPECT_EQ(0, entry.inProgress) << entry.name;
            if (entry.result == kJobSucceeded) ++succeeded;
        }
        EXPECT_EQ(c.succeeded, succeeded);
        std::set<std::string> now;
        for (const std::string& name : ListFiles(folder.Path())) now.insert(name);
        now.erase("list.txt");
        now.erase("Salvora.log");  // the result log, kept there by the fixture
        now.erase("TNGAgent.ini"); // the run's status file, in the program folder by design
        std::set<std::string> expected = before;
        expected.erase("list.txt");
        EXPECT_EQ(expected, now) << "a file beside the output folder";
        for (const std::string& name : ListFiles(out)) ADD_FAILURE() << "a file in the output root: " << name;
    }
}

namespace {

// Appends to a list file until told to stop (or 30 s): chunks of blank lines, every 32nd
// ending in a name, about one a millisecond.
struct ListGrower {
    std::string path;
    volatile LONG stop = 0;
    volatile LONG stoppedByItself = 0;
    volatile LONG chunks = 0;

    static DWORD WINAPI Run(void* parameter)
    {
        auto* self = static_cast<ListGrower*>(parameter);
        std::string chunk;
        for (int i = 0; i < 8 * 1024; ++i) chunk += (i % 2) ? "\n" : "\r\n";
        const std::string named = chunk + "GROWN\r\n";
        win::Handle file(CreateFileA(self->path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
        const DWORD start = GetTickCount();
        while (!self->stop) {
            if (GetTickCount() - start > 30000) {
                self->stoppedByItself = 1;
                break;
            }
            DWORD written = 0;
            const std::string& next = (self->chunks % 32 == 31) ? named : chunk;
            WriteFile(file.Get(), next.data(), static_cast<DWORD>(next.size()), &written, nullptr);
            InterlockedIncrement(&self->chunks);
            Sleep(1);
        }
        return 0;
    }
};

} // namespace

// A list file that another program keeps appending to while the unattended run loads it:
// the load takes what the file held when it was opened and ends; each name read gets a
// result (the names appended in time fail: no such computer).
TEST_F(UnattendedRunTest, AListFileThatGrowsWhileItIsReadIsLoadedToAnEnd)
{
    deployer->prepareFolders = false;
    deployer->MakeRepairFolder("SIMA", simagents::Script{});
    ListGrower grower;
    grower.path = WriteList("SIMA\r\n");
    win::Thread writer;
    ASSERT_TRUE(writer.Create(&ListGrower::Run, &grower));
    while (grower.chunks == 0) Sleep(1);
    CommandLineOptions options = Parse(("-S " + grower.path).c_str());
    SetUnattended(true);
    const int exitCode = UnattendedRun(options);
    const bool stillWriting = !grower.stoppedByItself;
    const LONG chunksAtReturn = grower.chunks;
    InterlockedExchange(&grower.stop, 1);
    writer.Wait();
    EXPECT_TRUE(stillWriting) << "the load waited for the file to stop growing";
    size_t succeeded = 0, grown = 0;
    for (size_t i = 0; i < TheComputerList().Size(); ++i) {
        const ComputerEntry& entry = *TheComputerList().At(i);
        EXPECT_EQ(0, entry.inProgress) << entry.name;
        if (entry.result == kJobSucceeded) {
            EXPECT_EQ("SIMA", entry.name);
            ++succeeded;
        } else {
            EXPECT_EQ("GROWN", entry.name);
            ++grown;
        }
    }
    EXPECT_EQ(1u, succeeded);
    EXPECT_LE(grown, static_cast<size_t>(chunksAtReturn / 32));
    EXPECT_EQ(grown ? 1 : 0, exitCode);
}
