// The creation run over simulated targets: in-process agents that speak the real protocol
// through the real pipe channel, each on a pipe and with a repair folder of its own.
#include <gtest/gtest.h>

#include "CreationRun.h"
#include "Handle.h"
#include "Messages.h"
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

    // Every file of the computer's repair folder arrived byte for byte.
    void ExpectFilesFetched(const std::string& name)
    {
        std::vector<std::string> sent = ListFiles(deployer->RepairFolder(name));
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent, ListFiles(OutFolder(name))) << name;
        for (const std::string& file : sent) {
            std::string original, copy;
            ASSERT_TRUE(ReadWholeFile(deployer->RepairFolder(name) + "\\" + file, original));
            ASSERT_TRUE(ReadWholeFile(OutFolder(name) + "\\" + file, copy));
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
    // The half-received file, and the files of the listing that ended in "<Error>", stay
    // apart from the folder: it keeps what it held (here nothing).
    EXPECT_EQ((std::vector<std::string>{"system._"}), ListFiles(OutFolder("HALFWAY") + ".incomplete"));
    EXPECT_TRUE(ListFiles(OutFolder("HALFWAY")).empty());
    EXPECT_EQ(ListFiles(deployer->RepairFolder("LISTERR")), ListFiles(OutFolder("LISTERR") + ".incomplete"));
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
                                          "in place; the files received are in LISTERR.incomplete)\t-1"))
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
    ExpectFilesFetched("FAILED");
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

TEST_F(SchedulingTest, TimeLimitInTheMiddleOfSeveralFetches)
{
    TheConsoleSettings().ERDtimeout = 2;
    Script slow;
    slow.perFileDelayMs = 1500;
    slow.fileCount = 6;
    const char* names[] = {"QUICK", "S1", "S2", "S3", "S4"};
    for (const char* name : names) {
        if (std::string(name) != "QUICK") deployer->SetScript(name, slow);
        Add(name);
    }
    DWORD spent = TimedRun();
    EXPECT_GE(spent, 2000u);
    EXPECT_LT(spent, 7000u) << "the fetches under way were broken off";
    EXPECT_GE(LastRunFigures().peakFetching, 4u);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), At(0).result);
    for (size_t i = 1; i < std::size(names); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(static_cast<uint32_t>(kJobTimeout), At(i).result);
        EXPECT_EQ(kNoErrorCode, At(i).errorCode);
    }
    EXPECT_FALSE(IsCancelRequested());
    EXPECT_TRUE(AbortEventClear()) << "the time limit's abort ends with the run";
    ExpectNothingLeftRunning();

    LogRunResults(TheComputerList(), nullptr, false);
    std::string log = LogText();
    EXPECT_NE(std::string::npos, log.find("Error\tCreate ER Disk\tS3\t==//==\tTIMEOUT (not put in place; the files "
                                          "received are in S3.incomplete)\t-1"))
        << log;
    EXPECT_NE(std::string::npos, log.find("Operation Completed")) << log;
}

TEST_F(SchedulingTest, ThreeHundredTargetsInFlightEveryCompletionFound)
{
    constexpr int kTargets = 300;
    for (int i = 0; i < kTargets; ++i) {
        std::string name = win::Format("T%03d", i);
        Add(name);
        Script script = Scripted(Behaviour::Success, 5000 + 7 * static_cast<DWORD>((kTargets - i) % 97));
        script.fileCount = 1;
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
