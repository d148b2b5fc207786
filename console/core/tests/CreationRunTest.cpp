// The creation run over simulated targets: in-process agents that speak the real protocol
// through the real pipe channel, each on a pipe and with a repair folder of its own.
#include <gtest/gtest.h>

#include <cctype>

#include "ConsoleState.h"
#include "CreationRun.h"
#include "Handle.h"
#include "Messages.h"
#include "OutcomeWatch.h"
#include "RunMailbox.h"
#include "RegistryFixture.h"
#include "ResultLog.h"
#include "Settings.h"
#include "SimulatedAgents.h"
#include "SimulatedRunTest.h"
#include "SystemText.h"
#include "TestSupport.h"

#include <map>
#include <mutex>
#include <thread>

using namespace testing_support;
using simagents::Behaviour;
using simagents::Script;

namespace {

Script Scripted(Behaviour behaviour, DWORD workMs = 0)
{
    Script script;
    script.behaviour = behaviour;
    script.workMs = workMs;
    return script;
}

class CreationRunTest : public SimulatedRunTest {
protected:
    void SetUp() override
    {
        SimulatedRunTest::SetUp();
        TheConsoleSettings().AlphaSupport = 0;
        PrepareRunState(nullptr);
    }

    ComputerEntry& Add(const std::string& name, bool selected = true)
    {
        auto entry = std::make_shared<ComputerEntry>(name);
        entry->SetInfo(kRoleWorkstation, "Windows NT 4.0 Workstation", "");
        entry->selected = selected ? 1 : 0;
        TheComputerList().Append(entry);
        return *entry;
    }
    ComputerEntry& At(size_t index) { return *TheComputerList().At(index); }

    std::string OutFolder(const std::string& name) const { return folder.Path() + "\\out\\" + name; }

    // Every file of the computer's repair folder arrived byte for byte (in its output folder,
    // or where `where` says).
    void ExpectFilesFetched(const std::string& name, std::string where = std::string())
    {
        if (where.empty()) where = OutFolder(name);
        std::vector<std::string> sent = ListFiles(deployer->RepairFolder(name));
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent, ListFiles(where)) << name;
        for (const std::string& file : sent) {
            std::string original, copy;
            ASSERT_TRUE(ReadWholeFile(deployer->RepairFolder(name) + "\\" + file, original));
            ASSERT_TRUE(ReadWholeFile(where + "\\" + file, copy));
            EXPECT_EQ(original, copy) << name << "\\" << file;
        }
    }

    std::string LogText()
    {
        std::string text;
        ReadWholeFile(TheResultLog().Settings().LogFileName, text);
        return text;
    }

    DWORD TimedRun()
    {
        DWORD start = GetTickCount();
        EXPECT_EQ(0u, RunJobs(TheComputerList()));
        return GetTickCount() - start;
    }

};

// Cancels from another thread once `condition` holds (bounded).
template <class Condition>
std::thread CancelWhen(Condition condition)
{
    return std::thread([condition] {
        for (int i = 0; i < 3000 && !condition(); ++i) Sleep(10);
        RequestCancel();
    });
}

} // namespace

TEST_F(CreationRunTest, EveryAgentSucceedsFilesArriveAndTheSessionSucceeds)
{
    Add("PC01");
    Add("PC02", false);
    Add("PC03");
    TimedRun();
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), At(0).result);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), At(2).result);
    EXPECT_EQ(0u, At(0).errorCode);
    EXPECT_EQ(0, At(0).inProgress);
    ExpectFilesFetched("PC01");
    ExpectFilesFetched("PC03");
    EXPECT_FALSE(FileExists(OutFolder("PC02")));
    EXPECT_EQ((std::vector<std::string>{"PC01", "PC03"}), deployer->DeployOrder());
    EXPECT_EQ(2, deployer->RemovedCount());
    const CreationRunState& run = TheRunState();
    EXPECT_EQ(2, run.startedCount);
    EXPECT_EQ(2, run.completedCount);
    EXPECT_EQ(0, run.errorCount);

    LogRunResults(TheComputerList(), nullptr, false);
    std::string log = LogText();
    EXPECT_NE(std::string::npos, log.find("Success\tCreate ER Disk\tPC01\t==//==\t==//==\t0")) << log;
    EXPECT_NE(std::string::npos, log.find("Success\tCreate ER Disk\tPC03\t")) << log;
    EXPECT_EQ(std::string::npos, log.find("PC02")) << log;
    EXPECT_NE(std::string::npos, log.find("* Result: Success *")) << log;
    EXPECT_NE(std::string::npos, log.find("Operation Completed")) << log;
}

TEST_F(CreationRunTest, EachScriptedFailureGetsItsResultAndTheOthersGoOn)
{
    deployer->SetScript("FAILED", Scripted(Behaviour::FailureStatus));
    deployer->SetScript("OWNLIMIT", Scripted(Behaviour::AgentTimeout));
    deployer->SetScript("VANISHED", Scripted(Behaviour::Vanish));
    deployer->SetScript("HALFWAY", Scripted(Behaviour::HalfTransfer));
    deployer->SetScript("LIMITHALF", Scripted(Behaviour::TimeLimitHalf));
    deployer->SetScript("LISTERR", Scripted(Behaviour::ErrorListing));
    deployer->SetScript("NOINSTALL", Scripted(Behaviour::InstallFailure));
    deployer->SetScript("SLOW", Scripted(Behaviour::Success, 1500));
    for (const char* name : {"FAILED", "OWNLIMIT", "VANISHED", "HALFWAY", "LIMITHALF", "LISTERR", "NOINSTALL", "SLOW", "GOOD"})
        Add(name);
    TimedRun();

    struct Expected {
        uint32_t result;
        bool anyCode; // a system code, whichever it is
        uint32_t code;
    };
    const Expected expected[] = {
        {kJobCommunication, false, ERROR_FILE_NOT_FOUND}, // the agent's own code
        {kJobTimeout, false, kNoErrorCode},
        {kJobCommunication, true, 0},
        {kJobCopyError, true, 0},
        {kJobTimeout, false, kNoErrorCode},
        {kJobCopyError, false, kNoErrorCode},
        {kJobInstallError, false, ERROR_ACCESS_DENIED},
        {kJobSucceeded, false, 0},
        {kJobSucceeded, false, 0},
    };
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(At(i).name);
        EXPECT_EQ(expected[i].result, At(i).result);
        if (expected[i].anyCode) {
            EXPECT_NE(0u, At(i).errorCode);
            EXPECT_NE(kNoErrorCode, At(i).errorCode);
        } else {
            EXPECT_EQ(expected[i].code, At(i).errorCode);
        }
        EXPECT_EQ(0, At(i).inProgress);
    }
    ExpectFilesFetched("SLOW");
    ExpectFilesFetched("GOOD");
    // The agent gone at its first file left nothing in the folder; the listing that ended in
    // "<Error>" sent all but its last file, and those stay apart from the folder.
    EXPECT_TRUE(ListFiles(OutFolder("HALFWAY")).empty());
    EXPECT_EQ(5u, ListFiles(KeptAsideFolder("LISTERR")).size());
    EXPECT_TRUE(ListFiles(OutFolder("LISTERR")).empty());
    EXPECT_FALSE(FileExists(OutFolder("FAILED"))); // no go-ahead without AlwaysCopyFiles
    EXPECT_EQ(9, TheRunState().completedCount);
    EXPECT_EQ(7, TheRunState().errorCount);
    EXPECT_EQ(9, deployer->RemovedCount());

    LogRunResults(TheComputerList(), nullptr, false);
    std::string log = LogText();
    std::string fileNotFound = NetErrorText(ERROR_FILE_NOT_FOUND);
    EXPECT_NE(std::string::npos, log.find("Error\tCreate ER Disk\tFAILED\t==//==\tCOMMUNICATION - " + fileNotFound + "\t2"))
        << log;
    EXPECT_NE(std::string::npos, log.find("Error\tCreate ER Disk\tOWNLIMIT\t==//==\tTIMEOUT\t-1")) << log;
    EXPECT_NE(std::string::npos, log.find("Error\tCreate ER Disk\tLISTERR\t==//==\tERD files copying error (not put "
                                          "in place; the files received are in " + KeptAsideFolder("LISTERR") + ")\t-1"))
        << log;
    EXPECT_NE(std::string::npos, log.find("Error\tCreate ER Disk\tNOINSTALL\t==//==\tAgent install error - ")) << log;
    EXPECT_NE(std::string::npos, log.find("* Errors=7 *")) << log;
    EXPECT_NE(std::string::npos, log.find("* Result: Error *")) << log;
    EXPECT_NE(std::string::npos, log.find("Operation Completed")) << log;
}

TEST_F(CreationRunTest, InstallFailureFinishesBeforeTheNextTargetStarts)
{
    deployer->SetScript("BAD", Scripted(Behaviour::InstallFailure));
    Add("BAD");
    Add("NEXT");
    LONG completedAtNext = -1, errorsAtNext = -1, startedAtNext = -1;
    deployer->onDeploy = [&](CreationJob& job) {
        if (job.entry.name != "NEXT") return;
        completedAtNext = TheRunState().completedCount;
        errorsAtNext = TheRunState().errorCount;
        startedAtNext = TheRunState().startedCount;
    };
    // The progress notifications go to a window of this thread's.
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    PrepareRunState(window);
    TimedRun();
    EXPECT_EQ(1, completedAtNext);
    EXPECT_EQ(1, errorsAtNext);
    EXPECT_EQ(2, startedAtNext);
    std::vector<WPARAM> notifications;
    MSG message;
    while (PeekMessageA(&message, window, kProgressMessage, kProgressMessage, PM_REMOVE))
        notifications.push_back(message.wParam);
    EXPECT_EQ((std::vector<WPARAM>{0, 1, 0, 1}), notifications);
    DestroyWindow(window);
}

TEST_F(CreationRunTest, AlwaysCopyFilesFetchesAfterAFailureAndKeepsTheFailure)
{
    TheConsoleSettings().AlwaysCopyFiles = 1;
    deployer->SetScript("FAILED", Scripted(Behaviour::FailureStatus));
    Add("FAILED");
    TimedRun();
    EXPECT_EQ(static_cast<uint32_t>(kJobCommunication), At(0).result);
    EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), At(0).errorCode);
    // Fetched, but kept aside: a failed outcome's files never take the folder's place.
    ExpectFilesFetched("FAILED", KeptAsideFolder("FAILED"));
    EXPECT_TRUE(ListFiles(OutFolder("FAILED")).empty());
}

// A run that passes midnight: each folder is expanded when its fetch starts, so a job
// deployed before midnight and fetched after it lands in the new day's folder; and a Cancel
// that comes once the set is in place leaves the job's success.
TEST_F(CreationRunTest, FolderOfTheFetchsDayAndCancelAfterTheCommitKeepsTheSuccess)
{
    static volatile LONG afterMidnight = 0;
    afterMidnight = 0;
    SetConsoleClock([]() -> time_t {
        struct tm day {};
        day.tm_year = 99;
        day.tm_mon = 11;
        day.tm_mday = afterMidnight ? 8 : 7;
        day.tm_hour = afterMidnight ? 0 : 23;
        day.tm_min = afterMidnight ? 0 : 59;
        day.tm_sec = afterMidnight ? 1 : 59;
        day.tm_isdst = -1;
        return mktime(&day);
    });
    TheConsoleSettings().OutDir = folder.Path() + "\\out\\%DD%\\%COMPUTERNAME%";
    deployer->onStatusSent = [](const std::string&) { InterlockedExchange(&afterMidnight, 1); };
    deployer->onRemove = [](CreationJob& job) {
        if (job.entry.result == kJobSucceeded) RequestCancel(); // the set is in place by now
    };
    Add("PC01");
    TimedRun();
    deployer->onRemove = nullptr;
    SetConsoleClock(nullptr);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), At(0).result) << At(0).errorCode;
    ExpectFilesFetched("PC01", folder.Path() + "\\out\\08\\PC01");
    EXPECT_FALSE(FileExists(folder.Path() + "\\out\\07"));
}

TEST_F(CreationRunTest, OutputFolderThatCannotBeMadeIsItsOwnError)
{
    ASSERT_TRUE(WriteWholeFile(folder.Path() + "\\blocker", "a file where a folder should be"));
    TheConsoleSettings().OutDir = folder.Path() + "\\blocker\\%COMPUTERNAME%";
    Add("PC01");
    TimedRun();
    EXPECT_EQ(static_cast<uint32_t>(kJobOutputFolderError), At(0).result);
    // The code of the folder's own test after the attempt to make it, not the attempt's.
    EXPECT_EQ(static_cast<uint32_t>(ERROR_PATH_NOT_FOUND), At(0).errorCode);
    EXPECT_EQ(1, deployer->RemovedCount());
}

TEST_F(CreationRunTest, CancelDuringDeploymentFinishesEveryJobAsCancelled)
{
    for (const char* name : {"PC01", "PC02", "PC03", "PC04", "PC05"}) Add(name);
    deployer->defaultScript.workMs = 20000; // the deployed ones would keep the run waiting
    deployer->onDeploy = [](CreationJob& job) {
        if (job.entry.name == "PC03") RequestCancel();
    };
    DWORD spent = TimedRun();
    EXPECT_LT(spent, 10000u);
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(At(i).name);
        EXPECT_EQ(static_cast<uint32_t>(kJobCancelled), At(i).result);
        EXPECT_EQ(kNoErrorCode, At(i).errorCode);
        EXPECT_EQ(0, At(i).inProgress);
    }
    // Every job counted as started; those after the cancel never reached a target.
    EXPECT_EQ(5, TheRunState().startedCount);
    EXPECT_EQ(5, TheRunState().completedCount);
    EXPECT_EQ(5, TheRunState().errorCount);
    EXPECT_EQ((std::vector<std::string>{"PC01", "PC02", "PC03"}), deployer->DeployOrder());
    EXPECT_EQ(5, deployer->RemovedCount());

    LogRunResults(TheComputerList(), nullptr, true);
    std::string log = LogText();
    EXPECT_NE(std::string::npos, log.find("Error\tCreate ER Disk\tPC05\t==//==\tOperation cancelled by user\t-1")) << log;
    EXPECT_NE(std::string::npos, log.find("Cancelled by user!")) << log;
    EXPECT_NE(std::string::npos, log.find("* Result: Error *")) << log;
}

TEST_F(CreationRunTest, CancelDuringTheWaitKeepsFinishedResults)
{
    Add("QUICK");
    Add("SLOW1");
    Add("SLOW2");
    deployer->SetScript("SLOW1", Scripted(Behaviour::Success, 30000));
    deployer->SetScript("SLOW2", Scripted(Behaviour::Success, 30000));
    std::thread canceller = CancelWhen([] { return TheRunState().completedCount >= 1; });
    DWORD spent = TimedRun();
    canceller.join();
    EXPECT_LT(spent, 10000u);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), At(0).result);
    ExpectFilesFetched("QUICK");
    EXPECT_EQ(static_cast<uint32_t>(kJobCancelled), At(1).result);
    EXPECT_EQ(static_cast<uint32_t>(kJobCancelled), At(2).result);
    EXPECT_EQ(3, TheRunState().completedCount);
    EXPECT_EQ(2, TheRunState().errorCount);

    LogRunResults(TheComputerList(), nullptr, true);
    std::string log = LogText();
    EXPECT_NE(std::string::npos, log.find("Success\tCreate ER Disk\tQUICK")) << log;
    EXPECT_NE(std::string::npos, log.find("Cancelled by user!")) << log;
}

TEST_F(CreationRunTest, CancelWhileFilesArriveStopsTheTransfer)
{
    Script slow;
    slow.perFileDelayMs = 2000;
    slow.fileCount = 6;
    deployer->SetScript("PC01", slow);
    Add("PC01");
    volatile LONG statusSent = 0;
    deployer->onStatusSent = [&](const std::string&) { InterlockedExchange(&statusSent, 1); };
    std::thread canceller = CancelWhen([&] {
        if (!statusSent) return false;
        Sleep(2500); // the first file is in, the second is on its way
        return true;
    });
    DWORD spent = TimedRun();
    canceller.join();
    EXPECT_LT(spent, 8000u);
    EXPECT_EQ(static_cast<uint32_t>(kJobCancelled), At(0).result);
    EXPECT_EQ(kNoErrorCode, At(0).errorCode);
    EXPECT_LT(ListFiles(OutFolder("PC01")).size(), 6u);
}

TEST_F(CreationRunTest, RunTimeLimitEndsTheWaitWithTimeout)
{
    TheConsoleSettings().ERDtimeout = 1;
    deployer->SetScript("STUCK", Scripted(Behaviour::Success, 30000));
    Add("QUICK");
    Add("STUCK");
    DWORD spent = TimedRun();
    EXPECT_GE(spent, 1000u);
    EXPECT_LT(spent, 8000u);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), At(0).result);
    EXPECT_EQ(static_cast<uint32_t>(kJobTimeout), At(1).result);
    EXPECT_EQ(kNoErrorCode, At(1).errorCode);
}

TEST_F(CreationRunTest, ZeroAndNegativeLimitsDoNotEndTheWait)
{
    ConsoleSettings& settings = TheConsoleSettings();
    settings.ERDtimeout = -3600;
    EXPECT_EQ(4291367296u, settings.TimeoutMilliseconds());
    deployer->defaultScript.workMs = 1500;
    Add("PC01");
    for (int32_t limit : {0, -3600}) {
        settings.ERDtimeout = limit;
        TimedRun();
        EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), At(0).result) << limit;
    }
}

TEST_F(CreationRunTest, HundredAndThirtyTargetsInThreeGroupsAllComplete)
{
    constexpr int kTargets = 130;
    for (int i = 0; i < kTargets; ++i) {
        std::string name = win::Format("T%03d", i);
        Add(name);
        // Completions spread over every group, the last groups' agents first.
        deployer->SetScript(name, Scripted(Behaviour::Success, 200 + 15 * static_cast<DWORD>(kTargets - i)));
    }
    TimedRun();
    EXPECT_EQ(3u, LastRunFigures().groups);
    int succeeded = 0;
    for (int i = 0; i < kTargets; ++i) {
        if (At(i).result == kJobSucceeded) ++succeeded;
        else ADD_FAILURE() << At(i).name << " " << At(i).result << " " << At(i).errorCode;
    }
    EXPECT_EQ(kTargets, succeeded);
    ExpectFilesFetched("T000");
    ExpectFilesFetched("T070");
    ExpectFilesFetched("T129");
    EXPECT_EQ(kTargets, TheRunState().completedCount);
    EXPECT_EQ(0, TheRunState().errorCount);
}

TEST_F(CreationRunTest, UnattendedPassLogsItsSession)
{
    deployer->SetScript("PC02", Scripted(Behaviour::AgentTimeout));
    Add("PC01");
    Add("PC02");
    RunJobsUnattended();
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), At(0).result);
    EXPECT_EQ(static_cast<uint32_t>(kJobTimeout), At(1).result);
    EXPECT_EQ(2, TheRunState().unattendedStartedCount);
    std::string log = LogText();
    EXPECT_NE(std::string::npos, log.find("Salvora Creating ER Disks")) << log;
    EXPECT_NE(std::string::npos, log.find("Error\tCreate ER Disk\tPC02\t==//==\tTIMEOUT\t-1")) << log;
    EXPECT_NE(std::string::npos, log.find("* Result: Error *")) << log;
}

// A go-ahead that cannot be written is no failure of its own: the reception after it fails.
TEST_F(CreationRunTest, AgentGoneBeforeTheGoAheadIsACopyErrorKeepingTheAgentsCode)
{
    Script gone = Scripted(Behaviour::Success, 300);
    gone.endsAfterStatus = true;
    Script goneFailed = Scripted(Behaviour::FailureStatus, 300);
    goneFailed.endsAfterStatus = true;
    deployer->SetScript("GONE", gone);
    deployer->SetScript("GONEFAIL", goneFailed);
    Add("GONE");
    Add("GONEFAIL");
    for (uint32_t alwaysCopy : {0u, 1u}) {
        SCOPED_TRACE(alwaysCopy);
        TheConsoleSettings().AlwaysCopyFiles = alwaysCopy;
        TimedRun();
        EXPECT_EQ(static_cast<uint32_t>(kJobCopyError), At(0).result);
        EXPECT_NE(0u, At(0).errorCode);
        EXPECT_NE(kNoErrorCode, At(0).errorCode);
        if (alwaysCopy) {
            // Fetched after the agent's failure: the agent's own code stays.
            EXPECT_EQ(static_cast<uint32_t>(kJobCopyError), At(1).result);
            EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), At(1).errorCode);
        } else {
            EXPECT_EQ(static_cast<uint32_t>(kJobCommunication), At(1).result);
            EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), At(1).errorCode);
        }
    }
}

namespace {

std::vector<std::string> RecordLines(const std::string& log)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(start, end - start);
        // The staging folder a set was kept in is numbered in the order the fetches began.
        for (size_t mark = line.find("%~"); mark != std::string::npos; mark = line.find("%~", mark + 2)) {
            size_t digits = mark + 2;
            while (digits < line.size() && std::isxdigit(static_cast<unsigned char>(line[digits]))) ++digits;
            line.replace(mark + 2, digits - mark - 2, "N");
        }
        if (line.find("\tCreate ER Disk\t") != std::string::npos) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

} // namespace

class SchedulingTest : public CreationRunTest {
protected:
    void SetUp() override
    {
        CreationRunTest::SetUp();
        TheConsoleSettings().MaxDeployThread = 16;
    }
    // Every agent thread has ended, no deployment is under way, no job is in flight.
    void ExpectNothingLeftRunning()
    {
        EXPECT_TRUE(deployer->WaitForAgents(3000));
        EXPECT_EQ(0, deployer->Deploying());
        for (size_t i = 0; i < TheComputerList().Entries().size(); ++i) EXPECT_EQ(0, At(i).inProgress) << i;
    }
    bool AbortEventClear() const
    {
        return WaitForSingleObject(TheRunState().abortEvent, 0) == WAIT_TIMEOUT;
    }
};

TEST_F(SchedulingTest, BoundOneAndSixteenGiveTheSameResultsAndLog)
{
    Script gone = Scripted(Behaviour::Success, 300);
    gone.endsAfterStatus = true;
    Script unreachable = Scripted(Behaviour::Unreachable);
    unreachable.deployMs = 700;
    const std::pair<const char*, Script> targets[] = {
        {"FAILED", Scripted(Behaviour::FailureStatus)},  {"OWNLIMIT", Scripted(Behaviour::AgentTimeout)},
        {"VANISHED", Scripted(Behaviour::Vanish, 200)},  {"HALFWAY", Scripted(Behaviour::HalfTransfer)},
        {"LIMITHALF", Scripted(Behaviour::TimeLimitHalf)}, {"LISTERR", Scripted(Behaviour::ErrorListing)},
        {"NOINSTALL", Scripted(Behaviour::InstallFailure)}, {"OFF", unreachable},
        {"SLOW", Scripted(Behaviour::Success, 1200)},    {"GONE", gone},
        {"GOOD1", Scripted(Behaviour::Success)},         {"GOOD2", Scripted(Behaviour::Success, 100)},
    };
    for (const auto& [name, script] : targets) {
        Script costed = script;
        if (!costed.deployMs) costed.deployMs = 150; // deployments overlap at a bound of 16
        deployer->SetScript(name, costed);
        Add(name);
    }

    struct Outcome {
        std::vector<std::pair<uint32_t, uint32_t>> results;
        std::vector<std::string> log;
        LONG started, completed, errors;
    };
    auto runWith = [&](uint32_t bound) {
        TheConsoleSettings().MaxDeployThread = bound;
        PrepareRunState(nullptr);
        TimedRun();
        Outcome outcome;
        for (size_t i = 0; i < std::size(targets); ++i) outcome.results.emplace_back(At(i).result, At(i).errorCode);
        LogRunResults(TheComputerList(), nullptr, false);
        outcome.log = RecordLines(LogText());
        outcome.started = TheRunState().startedCount;
        outcome.completed = TheRunState().completedCount;
        outcome.errors = TheRunState().errorCount;
        return outcome;
    };
    Outcome one = runWith(1);
    EXPECT_EQ(1, deployer->PeakDeploying());
    std::vector<std::string> listOrder;
    for (const auto& target : targets) listOrder.push_back(target.first);
    EXPECT_EQ(listOrder, deployer->DeployOrder()) << "one after another, in list order";

    Outcome sixteen = runWith(16);
    EXPECT_GT(deployer->PeakDeploying(), 1);
    EXPECT_GT(LastRunFigures().peakDeploying, 1u);

    for (size_t i = 0; i < std::size(targets); ++i) {
        SCOPED_TRACE(targets[i].first);
        EXPECT_EQ(one.results[i], sixteen.results[i]);
    }
    EXPECT_EQ(one.log, sixteen.log);
    EXPECT_EQ(std::size(targets), one.log.size());
    EXPECT_EQ(12, sixteen.started);
    EXPECT_EQ(12, sixteen.completed);
    EXPECT_EQ(one.errors, sixteen.errors);
    EXPECT_EQ(9, sixteen.errors);
    EXPECT_EQ(static_cast<uint32_t>(kJobInstallError), At(7).result); // OFF
    EXPECT_EQ(static_cast<uint32_t>(RPC_S_SERVER_UNAVAILABLE), At(7).errorCode);
    EXPECT_EQ(static_cast<uint32_t>(kJobCopyError), At(9).result); // GONE
    ExpectFilesFetched("GOOD1");
    ExpectFilesFetched("SLOW");
    ExpectNothingLeftRunning();
}

TEST_F(SchedulingTest, CancelReachesEveryDeploymentUnderWay)
{
    deployer->defaultScript.deployMs = 20000; // every target is slow to answer
    for (int i = 0; i < 40; ++i) Add(win::Format("D%02d", i));
    std::thread canceller = CancelWhen([this] { return deployer->PeakDeploying() >= 16; });
    DWORD spent = TimedRun();
    canceller.join();
    EXPECT_LT(spent, 10000u) << "the deployments under way were broken off";
    EXPECT_EQ(16, deployer->PeakDeploying());
    EXPECT_EQ(16, deployer->DeployedCount()) << "nothing started after the cancel";
    for (int i = 0; i < 40; ++i) {
        SCOPED_TRACE(At(i).name);
        EXPECT_EQ(static_cast<uint32_t>(kJobCancelled), At(i).result);
        EXPECT_EQ(kNoErrorCode, At(i).errorCode);
    }
    EXPECT_EQ(40, TheRunState().startedCount);
    EXPECT_EQ(40, TheRunState().completedCount);
    EXPECT_EQ(40, deployer->RemovedCount());
    ExpectNothingLeftRunning();
}

TEST_F(SchedulingTest, CancelDuringFetchesLeavesNoFileOpenAndNoAgentRunning)
{
    Script slow;
    slow.perFileDelayMs = 2000;
    slow.fileCount = 6;
    const char* names[] = {"F1", "F2", "F3", "F4", "F5"};
    for (const char* name : names) {
        deployer->SetScript(name, slow);
        Add(name);
    }
    std::thread canceller = CancelWhen([this] { return LastRunFigures().peakFetching >= 5; });
    DWORD spent = TimedRun();
    canceller.join();
    EXPECT_LT(spent, 5000u);
    EXPECT_EQ(5u, LastRunFigures().peakFetching) << "the five fetched side by side";
    for (size_t i = 0; i < std::size(names); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(static_cast<uint32_t>(kJobCancelled), At(i).result);
        std::vector<std::string> files = ListFiles(OutFolder(names[i]));
        EXPECT_LT(files.size(), 6u);
        // Every received file is closed: it opens without sharing.
        for (const std::string& file : files) {
            win::Handle open(CreateFileA((OutFolder(names[i]) + "\\" + file).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
            EXPECT_TRUE(static_cast<bool>(open)) << file;
        }
    }
    ExpectNothingLeftRunning();
}

// The time limit reaches only the agents still working: fetches under way and fetches
// waiting for a free slot go on; a Cancel after the limit still reaches every job that has
// not started its step.
TEST_F(SchedulingTest, TimeLimitReachesOnlyOutcomesNotArrivedAndCancelStillFollows)
{
    TheConsoleSettings().ERDtimeout = 1;
    TheConsoleSettings().MaxDeployThread = 2;
    Script slow;
    slow.perFileDelayMs = 330;
    const char* names[] = {"S1", "S2", "S3", "S4", "LATE"};
    for (const char* name : names) {
        deployer->SetScript(name, slow);
        Add(name);
    }
    deployer->SetScript("LATE", Scripted(Behaviour::Success, 8000));
    DWORD spent = TimedRun();
    EXPECT_LT(spent, 7000u) << "the late agent was not waited for";
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), At(i).result) << names[i];
    for (const char* name : {"S3", "S4"}) ExpectFilesFetched(name); // fetched after the limit had passed
    EXPECT_EQ(static_cast<uint32_t>(kJobTimeout), At(4).result);
    EXPECT_EQ(kNoErrorCode, At(4).errorCode);
    EXPECT_FALSE(IsCancelRequested());
    EXPECT_TRUE(AbortEventClear());
    ExpectNothingLeftRunning();

    LogRunResults(TheComputerList(), nullptr, false);
    std::string log = LogText();
    EXPECT_NE(std::string::npos, log.find("Error\tCreate ER Disk\tLATE\t==//==\tTIMEOUT\t-1")) << log;

    // Again, with Cancel once the limit has passed: S3 and S4 are still queued then.
    PrepareRunState(nullptr);
    At(4).result = kJobSucceeded;
    std::thread canceller = CancelWhen([this] { return At(4).result == kJobTimeout; });
    TimedRun();
    canceller.join();
    for (size_t i = 0; i < std::size(names); ++i)
        EXPECT_EQ(static_cast<uint32_t>(kJobCancelled), At(i).result) << names[i];
    ExpectNothingLeftRunning();
}

TEST_F(SchedulingTest, ThreeHundredTargetsInFlightEveryCompletionFound)
{
    constexpr int kTargets = 300;
    for (int i = 0; i < kTargets; ++i) {
        std::string name = win::Format("T%03d", i);
        Add(name);
        Script script = Scripted(Behaviour::Success, 5000 + 7 * static_cast<DWORD>((kTargets - i) % 97));
        script.fileBytes = 500;
        deployer->SetScript(name, script);
    }
    TimedRun();
    const RunFigures& figures = LastRunFigures();
    EXPECT_EQ(5u, figures.groups); // 300 jobs, 63 to a waiting thread
    EXPECT_EQ(static_cast<DWORD>(kTargets), figures.peakInFlight);
    EXPECT_LE(figures.stepThreads, 32u);
    // Every outcome was noticed and every job succeeded, the last ones' files too.
    std::vector<std::string> notNoticed;
    for (int i = 0; i < kTargets; ++i)
        if (At(i).result != kJobSucceeded || !figures.noticeTicks[i]) notNoticed.push_back(At(i).name);
    EXPECT_TRUE(notNoticed.empty()) << notNoticed.size() << " not found, the first " << notNoticed.front();
    for (const char* name : {"T000", "T150", "T299"}) ExpectFilesFetched(name);
    EXPECT_EQ(kTargets, TheRunState().completedCount);
}

TEST_F(SchedulingTest, TargetsThatDoNotAnswerMakeRoomForTheNextDeployments)
{
    TheConsoleSettings().MaxDeployThread = 2;
    Script off = Scripted(Behaviour::Unreachable);
    off.deployMs = 4000;
    deployer->SetScript("OFF1", off);
    deployer->SetScript("OFF2", off);
    for (const char* name : {"OFF1", "OFF2", "A", "B", "C"}) Add(name);
    DWORD start = GetTickCount();
    std::map<std::string, DWORD> began;
    std::mutex lock;
    deployer->onDeploy = [&](CreationJob& job) {
        std::lock_guard<std::mutex> hold(lock);
        began[job.entry.name] = GetTickCount() - start;
    };
    TimedRun();
    // Both silent targets were set aside after a moment; the others did not wait for them.
    EXPECT_LT(began["C"], 3000u);
    EXPECT_EQ(2u, LastRunFigures().peakSetAside);
    EXPECT_LE(LastRunFigures().peakDeploying, 2u);
    EXPECT_EQ(static_cast<uint32_t>(kJobInstallError), At(0).result);
    EXPECT_EQ(static_cast<uint32_t>(RPC_S_SERVER_UNAVAILABLE), At(1).errorCode);
    for (size_t i = 2; i < 5; ++i) EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), At(i).result) << At(i).name;
    ExpectNothingLeftRunning();
}

TEST(StepBoundTest, AtLeastOneAndAtMostTheCap)
{
    EXPECT_EQ(1u, StepBound(0));
    EXPECT_EQ(1u, StepBound(1));
    EXPECT_EQ(16u, StepBound(16));
    EXPECT_EQ(kMaxStepBound, StepBound(0xFFFFFFFFu));
}

// The same scripted targets at a bound of 1 and of 16: the same result and code for every
// computer and the same log, from a fixed set of seeds. Each seed scripts failures at every
// step, the same computer twice (its name in other letter case), and one of: nothing more,
// one output folder for all, agents outliving the run's time limit, a Cancel during a
// scripted deployment.
namespace {

enum class SeedMode { Plain, SharedFolder, TimeLimit, Cancel };

struct SeedTarget {
    std::string name;
    Script script;
    bool repeats = false; // the same computer as an earlier entry
};

struct SeedPlan {
    SeedMode mode = SeedMode::Plain;
    std::vector<SeedTarget> targets;
    size_t cancelAt = SIZE_MAX; // the deployment during which Cancel comes
    size_t startedBeforeCancel = 0;

    std::string Describe(unsigned seed) const
    {
        static const char* const modes[] = {"plain", "one folder for all", "time limit 1 s", "cancel"};
        static const char* const kinds[] = {"Success", "FailureStatus", "AgentTimeout", "HalfTransfer",
                                            "TimeLimitHalf", "StopMidTransfer", "VanishedFile", "Vanish",
                                            "ErrorListing", "InstallFailure", "Unreachable"};
        std::string text = win::Format("seed %u, %s:", seed, modes[static_cast<int>(mode)]);
        for (size_t i = 0; i < targets.size(); ++i) {
            const Script& script = targets[i].script;
            text += win::Format("\n  %s %s work %lu deploy %lu%s", targets[i].name.c_str(),
                                kinds[static_cast<int>(script.behaviour)], static_cast<unsigned long>(script.workMs),
                                static_cast<unsigned long>(script.deployMs), i == cancelAt ? " <- Cancel" : "");
        }
        return text;
    }
};

SeedPlan MakePlan(unsigned seed)
{
    uint32_t state = seed * 2654435761u + 7;
    auto next = [&state](uint32_t range) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % range;
    };
    SeedPlan plan;
    plan.mode = static_cast<SeedMode>(seed % 4);
    size_t count = 6 + next(4);
    const DWORD works[] = {0, 60, 200};
    const DWORD deploys[] = {0, 40, 120};
    for (size_t i = 0; i < count; ++i) {
        SeedTarget target;
        std::vector<size_t> originals;
        for (size_t j = 0; j < i; ++j)
            if (!plan.targets[j].repeats) originals.push_back(j);
        if (plan.mode != SeedMode::TimeLimit && i > 1 && next(4) == 0) {
            std::string name = plan.targets[originals[next(static_cast<uint32_t>(originals.size()))]].name;
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            target.name = name;
            target.repeats = true;
        } else {
            target.name = win::Format("PC%zu", i);
        }
        Script& script = target.script;
        script.behaviour = static_cast<Behaviour>(next(11));
        if (next(3) == 0) script.behaviour = Behaviour::Success;
        script.workMs = works[next(3)];
        script.deployMs = deploys[next(3)];
        if (script.behaviour == Behaviour::Unreachable) script.deployMs = 300;
        if (plan.mode == SeedMode::TimeLimit && next(3) == 0) script.workMs = 4000; // outlives the limit
        plan.targets.push_back(target);
    }
    if (plan.mode == SeedMode::Cancel) {
        // No outcome arrives before the Cancel; every deployment before it has ended by
        // then, and those after it are still under way when it comes.
        std::vector<size_t> originals;
        for (size_t i = 2; i < count; ++i)
            if (!plan.targets[i].repeats) originals.push_back(i);
        plan.cancelAt = originals[next(static_cast<uint32_t>(originals.size()))];
        for (size_t i = 0; i < count; ++i) {
            Script& script = plan.targets[i].script;
            script.workMs = 2500;
            script.deployMs = i < plan.cancelAt ? 0 : 3000;
            if (i < plan.cancelAt && !plan.targets[i].repeats) ++plan.startedBeforeCancel;
        }
    }
    return plan;
}

} // namespace

TEST_F(SchedulingTest, SeededTargetsGiveTheSameResultsAtBoundOneAndSixteen)
{
    for (unsigned seed = 1; seed <= 8; ++seed) {
        SeedPlan plan = MakePlan(seed);
        SCOPED_TRACE(plan.Describe(seed));
        TheComputerList().Clear();
        deployer = std::make_unique<simagents::SimulatedDeployer>(folder.Path() + win::Format("\\seed%u", seed));
        SetDeployer(deployer.get());
        for (const SeedTarget& target : plan.targets) {
            deployer->SetScript(target.name, target.script);
            Add(target.name);
        }
        ConsoleSettings& settings = TheConsoleSettings();
        settings.ERDtimeout = plan.mode == SeedMode::TimeLimit ? 1 : 0;
        std::string out = folder.Path() + win::Format("\\out%u", seed);
        settings.OutDir = out + (plan.mode == SeedMode::SharedFolder ? "\\shared" : "\\%COMPUTERNAME%");
        if (plan.mode == SeedMode::Cancel) {
            deployer->onDeploy = [&plan, this](CreationJob& job) {
                if (job.entry.name != plan.targets[plan.cancelAt].name) return;
                for (int i = 0; i < 300 && deployer->DeployedCount() < static_cast<LONG>(plan.startedBeforeCancel + 1); ++i)
                    Sleep(10);
                Sleep(250); // the failed deployments before it are counted
                RequestCancel();
            };
        }

        std::vector<std::pair<uint32_t, uint32_t>> results[2];
        std::vector<std::string> logs[2];
        const uint32_t bounds[2] = {1, 16};
        for (int run = 0; run < 2; ++run) {
            settings.MaxDeployThread = bounds[run];
            PrepareRunState(nullptr);
            TimedRun();
            for (size_t i = 0; i < plan.targets.size(); ++i) results[run].emplace_back(At(i).result, At(i).errorCode);
            LogRunResults(TheComputerList(), nullptr, plan.mode == SeedMode::Cancel);
            logs[run] = RecordLines(LogText());
            EXPECT_EQ(static_cast<LONG>(plan.targets.size()), TheRunState().completedCount) << "bound " << bounds[run];
            ExpectNothingLeftRunning();
        }
        for (size_t i = 0; i < plan.targets.size(); ++i)
            EXPECT_EQ(results[0][i], results[1][i]) << plan.targets[i].name << " (result, code) at bounds 1 and 16";
        EXPECT_EQ(logs[0], logs[1]);
        for (size_t i = 0; i < plan.targets.size(); ++i) {
            Behaviour behaviour = plan.targets[i].script.behaviour;
            if (behaviour == Behaviour::StopMidTransfer || behaviour == Behaviour::VanishedFile ||
                behaviour == Behaviour::HalfTransfer) {
                EXPECT_NE(static_cast<uint32_t>(kJobSucceeded), results[1][i].first) << plan.targets[i].name;
            }
            if (plan.mode == SeedMode::Cancel && i >= plan.cancelAt) {
                EXPECT_EQ(static_cast<uint32_t>(kJobCancelled), results[1][i].first) << plan.targets[i].name;
            }
        }
        SetDeployer(nullptr);
        EXPECT_TRUE(deployer->WaitForAgents(30000));
        if (HasFailure()) break; // one seed's script is enough to read
    }
}

// Two computers, one folder (a template without %COMPUTERNAME%), side by side: the folder
// holds exactly one computer's complete set, never a mixture.
TEST_F(SchedulingTest, TwoComputersSharingOneFolderLeaveOneCompleteSet)
{
    TheConsoleSettings().OutDir = folder.Path() + "\\out\\shared";
    Script small, large;
    small.fileBytes = 3000;
    large.fileBytes = 60000;
    deployer->SetScript("ALPHA", small);
    deployer->SetScript("BRAVOCHARLIE", large);
    Add("ALPHA");
    Add("BRAVOCHARLIE");
    TimedRun();
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), At(0).result);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), At(1).result);
    const std::string shared = folder.Path() + "\\out\\shared";
    std::vector<std::string> files = ListFiles(shared);
    int whole = 0;
    for (const char* name : {"ALPHA", "BRAVOCHARLIE"}) {
        if (ListFiles(deployer->RepairFolder(name)) != files) continue;
        bool same = true;
        for (const std::string& file : files) {
            std::string original, copy;
            same = same && ReadWholeFile(deployer->RepairFolder(name) + "\\" + file, original) &&
                   ReadWholeFile(shared + "\\" + file, copy) && original == copy;
        }
        whole += same ? 1 : 0;
    }
    EXPECT_EQ(1, whole) << "the folder holds one computer's files, whole";
    ExpectNothingLeftRunning();
}

// At a bound of 1 the outcomes are taken in list order whatever order they arrive in, and
// a Cancel reaches a failure already queued for its finishing steps.
TEST_F(CreationRunTest, BoundOneFetchesInListOrderAndCancelReachesQueuedFailures)
{
    deployer->SetScript("EARLY", Scripted(Behaviour::Success, 400)); // first in the list, last to report
    deployer->SetScript("LATER", Scripted(Behaviour::Success));
    deployer->SetScript("FAILS", Scripted(Behaviour::FailureStatus));
    Script slowDeploy;
    slowDeploy.deployMs = 1200;
    deployer->SetScript("LAST", slowDeploy);
    for (const char* name : {"EARLY", "LATER", "FAILS", "LAST"}) Add(name);
    TimedRun();
    EXPECT_EQ((std::vector<std::string>{"EARLY", "LATER", "LAST"}), deployer->GoAheadOrder());
    EXPECT_EQ(static_cast<uint32_t>(kJobCommunication), At(2).result);

    // Again, cancelled during the last deployment, once every other outcome is queued.
    deployer = std::make_unique<simagents::SimulatedDeployer>(folder.Path() + "\\again");
    SetDeployer(deployer.get());
    deployer->SetScript("EARLY", Scripted(Behaviour::Success, 400));
    deployer->SetScript("FAILS", Scripted(Behaviour::FailureStatus));
    deployer->SetScript("LAST", slowDeploy);
    deployer->onDeploy = [this](CreationJob& job) {
        if (job.entry.name != "LAST") return;
        for (int i = 0; i < 300 && !deployer->StatusTick("EARLY"); ++i) Sleep(10);
        Sleep(200); // noticed and queued
        RequestCancel();
    };
    PrepareRunState(nullptr);
    TimedRun();
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(static_cast<uint32_t>(kJobCancelled), At(i).result) << At(i).name;
        EXPECT_EQ(kNoErrorCode, At(i).errorCode) << At(i).name;
    }
    EXPECT_TRUE(deployer->GoAheadOrder().empty());
}

// An agent stopped in the middle of its files, or one whose file vanished, sends no
// "<Finish>": the computer fails with a copying error, at either bound.
TEST_F(CreationRunTest, AgentStoppedMidTransferNeverSucceeds)
{
    deployer->SetScript("STOPPED", Scripted(Behaviour::StopMidTransfer));
    deployer->SetScript("FILEGONE", Scripted(Behaviour::VanishedFile));
    Add("STOPPED");
    Add("FILEGONE");
    for (uint32_t bound : {1u, 16u}) {
        TheConsoleSettings().MaxDeployThread = bound;
        PrepareRunState(nullptr);
        TimedRun();
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(static_cast<uint32_t>(kJobCopyError), At(i).result) << At(i).name << " at bound " << bound;
            EXPECT_LT(ListFiles(OutFolder(At(i).name)).size(), 3u) << At(i).name;
        }
    }
}

// The run's bounded structures refuse what would break their bound, visibly: a second
// pending report of one kind for a job marks the mailbox broken (the run then ends), and a
// full group of watched handles refuses one more (that job then fails).
TEST(RunStructuresTest, OverflowIsRefusedVisiblyNotDropped)
{
    Mailbox box(kWaitGroupSize + 1, 1);
    box.Post({Report::StepDone, true, 0, 0, 0});
    box.Post({Report::OutcomeArrived, true, 0, 0, 0}); // one of each kind may be pending
    EXPECT_FALSE(box.IsBroken());
    box.Post({Report::StepDone, true, 0, 1, 0});
    EXPECT_TRUE(box.IsBroken());
    EXPECT_EQ(2u, box.Take().size());
    box.Post({Report::StepDone, true, 0, 0, 0}); // taken: the job may report again
    EXPECT_EQ(1u, box.Take().size());

    WaitGroup group(box);
    for (size_t job = 0; job < kWaitGroupSize; ++job) EXPECT_TRUE(group.Add(GetCurrentProcess(), job));
    EXPECT_FALSE(group.Add(GetCurrentProcess(), kWaitGroupSize));
}
