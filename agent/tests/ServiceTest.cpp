// Vantoro as the real service it is: created and started through the Service Control
// Manager of the test prefix, prepared as a Windows NT computer, and held in
// conversation by the transport's client side.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "AgentConsole.h"
#include "AgentRun.h"
#include "EventReport.h"
#include "HiveSet.h"
#include "NtComputer.h"
#include "Quota.h"
#include "TestSupport.h"

using namespace agent_console;
using namespace testing_support;
using nt_computer::ReadDword;

class AgentServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(nt_computer::Prepare());
        static const DWORD settled = WaitForServicesToSettle(180000);
        RecordProperty("ServicesSettledMs", static_cast<int>(settled));
        ASSERT_TRUE(InstallAgentFile());
        EndRepairTools();
        nt_computer::WriteDword(kQuotaControlKey, kRegistrySizeLimit, std::nullopt);
        nt_computer::WriteDword(kQuotaMemoryKey, kPagedPoolSize, 0); // assumed quota 0: always too small
        ASSERT_TRUE(nt_computer::ResetRepairFolder());
    }

    void TearDown() override
    {
        console.Close();
        service.Remove();
        EndRepairTools();
    }

    // Installs `repairTool` as rdisk.exe and starts the agent with `arguments`.
    void StartAgent(const char* repairTool, const std::vector<std::string>& arguments)
    {
        ASSERT_TRUE(nt_computer::InstallRepairTool(repairTool));
        ASSERT_TRUE(service.Create()) << GetLastError();
        started = GetTickCount();
        ASSERT_TRUE(service.Start(arguments)) << GetLastError();
    }

    // Starts the agent with `arguments` on a computer without rdisk.exe.
    void StartAgentWithoutRdisk(const std::vector<std::string>& arguments)
    {
        ASSERT_TRUE(nt_computer::RemoveRepairTool());
        ASSERT_TRUE(service.Create()) << GetLastError();
        started = GetTickCount();
        ASSERT_TRUE(service.Start(arguments)) << GetLastError();
    }

    void ExpectStatus(uint32_t succeeded, uint32_t code, const char* text)
    {
        AgentStatus status{};
        ASSERT_TRUE(console.ReadStatus(status)) << GetLastError();
        EXPECT_EQ(succeeded, status.succeeded);
        EXPECT_EQ(code, status.code);
        EXPECT_STREQ(text, status.text);
    }

    // The run ends on its own: the service reports SERVICE_STOPPED.
    void ExpectServiceEnds()
    {
        EXPECT_TRUE(service.WaitForState(SERVICE_STOPPED, 30000)) << service.Status().dwCurrentState;
    }

    nt_computer::SavedDword limit_{kQuotaControlKey, kRegistrySizeLimit};
    nt_computer::SavedDword pagedPool_{kQuotaMemoryKey, kPagedPoolSize};
    AgentService service;
    Conversation console;
    TempFolder output{"agout"};
    DWORD started = 0;
};

TEST_F(AgentServiceTest, WithoutArgumentsSendsTheRepairFolderByteForByteAndLeavesTheQuota)
{
    StartAgent("rdisk.exe", {});
    ASSERT_TRUE(console.Open());
    ExpectStatus(1, 0, "Success");
    ASSERT_TRUE(console.SendGoAhead());
    int last = 0;
    const auto names = console.ReceiveAll(output.Path(), last);
    EXPECT_EQ(0, last);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(kFinishName, names.back());
    console.Close();
    ExpectServiceEnds();

    const auto sent = ListFiles(nt_computer::RepairFolder());
    EXPECT_EQ((std::vector<std::string>{"default._", "sam._", "security._", "setup.log", "software._", "system._"}),
              sent);
    EXPECT_EQ(sent, ListFiles(output.Path()));
    EXPECT_EQ(sent.size() + 1, names.size());
    for (const std::string& name : sent) {
        std::string original, copy;
        ASSERT_TRUE(ReadWholeFile(nt_computer::RepairFolder() + "\\" + name, original));
        ASSERT_TRUE(ReadWholeFile(output / name, copy));
        EXPECT_EQ(original, copy) << name;
    }
    EXPECT_EQ(std::nullopt, ReadDword(kQuotaControlKey, kRegistrySizeLimit)); // no correction without the flag
    EXPECT_EQ(0, CountProcesses("rdisk.exe"));
}

TEST_F(AgentServiceTest, LimitOfZeroOrLessIsNoLimitAndTheQuotaIsCorrectedAtTheEnd)
{
    for (const char* limit : {"0", "-3600"}) {
        SCOPED_TRACE(limit);
        nt_computer::WriteDword(kQuotaControlKey, kRegistrySizeLimit, std::nullopt);
        StartAgent("rdisk_idle.exe", {limit, "0", "1"});
        ASSERT_TRUE(console.Open());
        ExpectStatus(1, 0, "Success");
        ASSERT_TRUE(console.SendGoAhead());
        int last = 0;
        EXPECT_EQ((std::vector<std::string>{kFinishName}), console.ReceiveAll(output.Path(), last));
        console.Close();
        ExpectServiceEnds();
        EXPECT_EQ(std::optional<DWORD>(quota::QuotaToWrite(TotalHiveSize())),
                  ReadDword(kQuotaControlKey, kRegistrySizeLimit));
    }
}

TEST_F(AgentServiceTest, RdiskEndingAtOnceIsReportedAndFilesFollowOnlyWithAlwaysCopy)
{
    ASSERT_TRUE(WriteWholeFile(nt_computer::RepairFolder() + "\\setup.log", "old log"));
    ASSERT_TRUE(WriteWholeFile(nt_computer::RepairFolder() + "\\system._", PatternBytes(30000, 2)));

    StartAgent("rdisk_gone.exe", {"30", "1", "1"});
    ASSERT_TRUE(console.Open());
    ExpectStatus(0, 0xC0000001, "Rdisk disappeared");
    ASSERT_TRUE(console.SendGoAhead());
    int last = 0;
    auto names = console.ReceiveAll(output.Path(), last);
    EXPECT_EQ(3u, names.size());
    EXPECT_EQ((std::vector<std::string>{"setup.log", "system._"}), ListFiles(output.Path()));
    console.Close();
    ExpectServiceEnds();
    EXPECT_EQ(std::nullopt, ReadDword(kQuotaControlKey, kRegistrySizeLimit)); // only after a successful run

    TempFolder second("agout2");
    StartAgent("rdisk_gone.exe", {"30", "0", "1"});
    Conversation again;
    ASSERT_TRUE(again.Open());
    AgentStatus status{};
    ASSERT_TRUE(again.ReadStatus(status));
    EXPECT_EQ(0xC0000001u, status.code);
    again.SendGoAhead();
    names = again.ReceiveAll(second.Path(), last);
    EXPECT_EQ(-1, last);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(ListFiles(second.Path()).empty());
    again.Close();
    ExpectServiceEnds();
}

TEST_F(AgentServiceTest, TimeLimitWhileRdiskRunsEndsItAndSendsNothingMore)
{
    ASSERT_TRUE(WriteWholeFile(nt_computer::RepairFolder() + "\\setup.log", "old log"));
    StartAgent("rdisk_slow.exe", {"2", "1", "1"});
    ASSERT_TRUE(console.Open());
    ExpectStatus(0, kAgentStatusCode_Timeout, "Timeout");
    EXPECT_GE(GetTickCount() - started, 2000u);
    console.SendGoAhead(); // the agent no longer reads it
    int last = 0;
    EXPECT_TRUE(console.ReceiveAll(output.Path(), last).empty());
    EXPECT_EQ(-1, last);
    console.Close();
    ExpectServiceEnds();
    EXPECT_EQ(0, CountProcesses("rdisk.exe")); // terminated by the agent
    EXPECT_EQ(std::nullopt, ReadDword(kQuotaControlKey, kRegistrySizeLimit));
}

TEST_F(AgentServiceTest, TimeLimitDuringTransferStopsTheFileShortAndTheListing)
{
    // Two files the console takes ten seconds each to read; the limit passes in the first.
    ASSERT_TRUE(WriteWholeFile(nt_computer::RepairFolder() + "\\big1.bin", PatternBytes(4000000, 5)));
    ASSERT_TRUE(WriteWholeFile(nt_computer::RepairFolder() + "\\big2.bin", PatternBytes(4000000, 6)));
    StartAgent("rdisk_idle.exe", {"6", "0", "1"});
    ASSERT_TRUE(console.Open());
    ExpectStatus(1, 0, "Success");
    ASSERT_TRUE(console.SendGoAhead());

    std::vector<char> buffer(kMaxPayload);
    int payloads = 0;
    MessageOutcome outcome = MessageOutcome::Payload;
    for (int i = 0; i < 1000 && outcome == MessageOutcome::Payload; ++i) {
        int32_t length = 0;
        outcome = console.channel.ReceiveMessage(buffer.data(), length, i); // the name, then 1, 2 ...
        if (outcome == MessageOutcome::Payload) ++payloads;
        Sleep(50);
    }
    // Whether the limit passes while a message waits for its reply or between two
    // messages, the console learns of it from one cancelled message.
    EXPECT_EQ(outcome, MessageOutcome::Cancelled);
    EXPECT_GT(payloads, 1);   // the name and some data went out before the limit
    EXPECT_LT(payloads, 200); // but not the whole first file
    EXPECT_LT(GetTickCount() - started, 15000u);
    int last = 0;
    EXPECT_TRUE(console.ReceiveAll(output.Path(), last).empty()); // the second file never starts
    EXPECT_EQ(-1, last);
    console.Close();
    ExpectServiceEnds();
    EXPECT_LT(GetTickCount() - started, 20000u);
    EXPECT_EQ(std::nullopt, ReadDword(kQuotaControlKey, kRegistrySizeLimit));
}

TEST_F(AgentServiceTest, FolderWithOnlyTemporaryHiveAndSubfolderSendsOnlyFinish)
{
    StartAgent("rdisk_leftover.exe", {});
    ASSERT_TRUE(console.Open());
    ExpectStatus(1, 0, "Success");
    ASSERT_TRUE(console.SendGoAhead());
    int last = 0;
    EXPECT_EQ((std::vector<std::string>{kFinishName}), console.ReceiveAll(output.Path(), last));
    EXPECT_TRUE(ListFiles(output.Path()).empty());
    EXPECT_TRUE(FileExists(nt_computer::RepairFolder() + "\\$$hive$$.tmp"));
    console.Close();
    ExpectServiceEnds();
}

TEST_F(AgentServiceTest, StopWhileWaitingForGoAheadStaysPendingUntilTheConsoleCloses)
{
    StartAgent("rdisk_idle.exe", {});
    ASSERT_TRUE(console.Open());
    ExpectStatus(1, 0, "Success");

    // The stop control waits for the handler; it goes out on handles of its own so that
    // the status can be queried meanwhile.
    std::thread stopper([] {
        win::ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
        win::ServiceHandle stopping(OpenServiceA(manager.Get(), kServiceName, SERVICE_STOP));
        SERVICE_STATUS status{};
        ControlService(stopping.Get(), SERVICE_CONTROL_STOP, &status);
    });
    std::set<DWORD> checkPoints;
    bool alwaysPending = true;
    const DWORD begin = GetTickCount();
    Sleep(300);
    while (GetTickCount() - begin < 6500) {
        SERVICE_STATUS status = service.Status();
        if (status.dwCurrentState != SERVICE_STOP_PENDING) alwaysPending = false;
        else {
            checkPoints.insert(status.dwCheckPoint);
            EXPECT_EQ(3000u, status.dwWaitHint);
        }
        Sleep(200);
    }
    EXPECT_TRUE(alwaysPending);
    EXPECT_GE(checkPoints.size(), 3u); // the first report and one every 2.5 seconds

    console.Close(); // ends the wait for the go-ahead
    ExpectServiceEnds();
    stopper.join();
    EXPECT_EQ(std::nullopt, ReadDword(kQuotaControlKey, kRegistrySizeLimit));
}

TEST_F(AgentServiceTest, ConsoleClosingInsteadOfGoAheadGetsNoFilesAndNoQuotaChange)
{
    StartAgent("rdisk_idle.exe", {"0", "1", "1"});
    ASSERT_TRUE(console.Open());
    ExpectStatus(1, 0, "Success");
    console.Close();
    ExpectServiceEnds();
    EXPECT_EQ(std::nullopt, ReadDword(kQuotaControlKey, kRegistrySizeLimit));
}

TEST_F(AgentServiceTest, StopsArrivingAsTheRunEndsAreAnsweredAndTheAgentEnds)
{
    StartAgent("rdisk_idle.exe", {"0", "0", "0"});
    ASSERT_TRUE(console.Open());
    ExpectStatus(1, 0, "Success");
    console.Close(); // the run ends; its events are signalled while stops keep coming
    int answered = 0;
    const DWORD begin = GetTickCount();
    while (GetTickCount() - begin < 20000) {
        SERVICE_STATUS status{};
        if (ControlService(service.Handle(), SERVICE_CONTROL_STOP, &status)) ++answered;
        else if (GetLastError() == ERROR_SERVICE_NOT_ACTIVE) break;
        Sleep(100);
    }
    EXPECT_GT(answered, 0);
    ExpectServiceEnds();
    for (int i = 0; i < 50 && CountProcesses("Vantoro.exe") > 0; ++i) Sleep(100);
    EXPECT_EQ(0, CountProcesses("Vantoro.exe"));
}

TEST_F(AgentServiceTest, ConsoleThatConnectsAndClosesAtOnceLeavesNothingRunning)
{
    StartAgent("rdisk_idle.exe", {"0", "1", "1"});
    ASSERT_TRUE(console.Open());
    console.Close();
    ExpectServiceEnds();
    EXPECT_EQ(0, CountProcesses("rdisk.exe"));
    EXPECT_EQ(0, CountProcesses("Vantoro.exe"));
    EXPECT_EQ(std::nullopt, ReadDword(kQuotaControlKey, kRegistrySizeLimit));
}

TEST_F(AgentServiceTest, ConsoleThatNeverConnectsIsEndedByAStop)
{
    StartAgent("rdisk_idle.exe", {"0", "1", "1"});
    ASSERT_TRUE(service.WaitForState(SERVICE_RUNNING, 10000));
    Sleep(1000);
    SERVICE_STATUS status{};
    EXPECT_TRUE(ControlService(service.Handle(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
    ExpectServiceEnds();
    EXPECT_LT(GetTickCount() - started, 15000u);
    EXPECT_EQ(0, CountProcesses("rdisk.exe")); // never started
}

TEST_F(AgentServiceTest, RepairFolderThatCannotBeListedEndsWithoutTerminator)
{
    ASSERT_TRUE(RemoveTree(nt_computer::RepairFolder()));
    StartAgent("rdisk_idle.exe", {"0", "1", "1"});
    ASSERT_TRUE(console.Open());
    ExpectStatus(1, 0, "Success");
    ASSERT_TRUE(console.SendGoAhead());
    int last = 0;
    EXPECT_TRUE(console.ReceiveAll(output.Path(), last).empty());
    EXPECT_EQ(-1, last);
    console.Close();
    ExpectServiceEnds();
    EXPECT_EQ(std::nullopt, ReadDword(kQuotaControlKey, kRegistrySizeLimit));
}

TEST_F(AgentServiceTest, WithoutRdiskOnlyTheFourthArgumentLetsTheAgentSendASetOfItsOwn)
{
    // An older console's three arguments, and a fourth "0": the outcome as it always was.
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"30", "1", "1"}, std::vector<std::string>{"30", "1", "1", "0"}}) {
        SCOPED_TRACE(arguments.size());
        StartAgentWithoutRdisk(arguments);
        Conversation old;
        ASSERT_TRUE(old.Open());
        AgentStatus status{};
        ASSERT_TRUE(old.ReadStatus(status));
        EXPECT_EQ(0u, status.succeeded);
        EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), status.code);
        EXPECT_STREQ("Unable to load rdisk.exe", status.text);
        old.Close();
        ExpectServiceEnds();
    }

    StartAgentWithoutRdisk({"30", "0", "1", "1"});
    ASSERT_TRUE(console.Open());
    ExpectStatus(1, 0, hives::kHiveSetMadeText);
    const std::vector<std::string> expected{"default._", "sam._", "security._", "setup.log", "software._", "system._"};
    // Until the console's go-ahead the set waits in the agent's own temporary folder.
    const auto during = nt_computer::AgentSetFolders();
    ASSERT_EQ(1u, during.size());
    EXPECT_EQ(expected, ListFiles(during[0]));
    // The folder and the set's log grant no one but the administrators and the system (the
    // compressed files are made by the codec, which gives them the same descriptor).
    for (const std::string& path : {during[0], during[0] + "\\" + hives::kSetupLog}) {
        const DaclReadBack dacl = ReadDacl(path);
        EXPECT_TRUE(dacl.read) << path;
        EXPECT_EQ(0, dacl.othersGranted) << path;
    }
    ASSERT_TRUE(console.SendGoAhead());
    int last = 0;
    const auto names = console.ReceiveAll(output.Path(), last);
    EXPECT_EQ(0, last);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(kFinishName, names.back());
    EXPECT_EQ(expected, ListFiles(output.Path()));
    console.Close();
    ExpectServiceEnds();

    // What the files hold is read back by Restavo in the console's end-to-end test.
    std::string log;
    ASSERT_TRUE(ReadWholeFile(output / "setup.log", log));
    EXPECT_NE(std::string::npos, log.find("system._ = \"HKEY_LOCAL_MACHINE\\SYSTEM\",")) << log;
    EXPECT_TRUE(nt_computer::AgentSetFolders().empty()); // removed at the end of the run
    EXPECT_TRUE(ListFiles(nt_computer::RepairFolder()).empty()); // the system's folder is not touched
    // A set made without rdisk.exe is a successful run: the quota is checked as after one.
    EXPECT_EQ(std::optional<DWORD>(quota::QuotaToWrite(TotalHiveSize())),
              ReadDword(kQuotaControlKey, kRegistrySizeLimit));
}

TEST_F(AgentServiceTest, AHiveThatCannotBeSavedFailsTheRunByNameAndNothingIsSent)
{
    // Wine has no HKLM\SECURITY of its own; ntsim.exe makes it again afterwards.
    struct Remade {
        ~Remade() { RunProgram("\"" + BinFolder() + "\\ntsim.exe\"", 120000); }
    } remade;
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SECURITY");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SECURITY");
    win::RegKey gone;
    ASSERT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SECURITY", 0, KEY_READ, gone.Receive()));

    StartAgentWithoutRdisk({"30", "1", "1", "1"}); // even AlwaysCopyFiles gets nothing half-made
    ASSERT_TRUE(console.Open());
    ExpectStatus(0, ERROR_FILE_NOT_FOUND, "Unable to save the HKEY_LOCAL_MACHINE\\SECURITY hive without rdisk.exe: error 2");
    console.SendGoAhead();
    int last = 0;
    EXPECT_TRUE(console.ReceiveAll(output.Path(), last).empty());
    EXPECT_EQ(-1, last);
    EXPECT_TRUE(ListFiles(output.Path()).empty());
    console.Close();
    ExpectServiceEnds();
    EXPECT_TRUE(nt_computer::AgentSetFolders().empty());
    EXPECT_EQ(std::nullopt, ReadDword(kQuotaControlKey, kRegistrySizeLimit));
}

TEST(AgentOutsideServiceManager, StartedAsAPlainProgramItEndsWithAnError)
{
    // The dispatcher cannot start outside the Service Control Manager: the agent logs
    // "Error Installing Vantoro" and ends (Wine's dispatcher gives up after about 10 s).
    EXPECT_EQ(1, RunProgram("\"" + BinFolder() + "\\Vantoro.exe\" 30 1 1", 30000));
}

namespace {

// The events the agent reports, while a test watches (Wine keeps none).
std::vector<std::vector<std::string>> g_agentEvents;

BOOL WINAPI RecordAgentEvent(HANDLE, WORD, WORD, DWORD, PSID, WORD count, DWORD, LPCSTR* strings, LPVOID)
{
    std::vector<std::string> texts;
    for (WORD i = 0; i < count; ++i) texts.push_back(strings[i] ? strings[i] : "");
    g_agentEvents.push_back(texts);
    return TRUE;
}

// PipeSquatter.exe --join in the background: makes the agent's pipe first (any number of
// instances, default security, its own instance kept busy), then joins the agent's instance
// as a console. Exit code: 0 never joined, 1 joined and read nothing, 2 read the outcome.
struct JoiningSquatter {
    explicit JoiningSquatter(const std::string& folder)
    {
        const std::string ready = "SalvoraJoinReady-" + std::to_string(GetCurrentProcessId());
        win::Handle readyEvent(CreateEventA(nullptr, TRUE, FALSE, ready.c_str()));
        const std::string line = "\"" + BinFolder() + "\\PipeSquatter.exe\" --join " + kAgentPipeName + " " + ready +
                                 " \"" + folder + "\" 10000";
        runner = std::thread([this, line] { exitCode = RunProgram(line, 30000); });
        madeItsPipe = WaitForSingleObject(readyEvent.Get(), 10000) == WAIT_OBJECT_0;
    }
    ~JoiningSquatter() { ExitCode(); }
    int ExitCode()
    {
        if (runner.joinable()) runner.join();
        return exitCode;
    }
    std::thread runner;
    int exitCode = -1;
    bool madeItsPipe = false;
};

} // namespace

// On Windows NT 4.0 the agent's creation merely adds an instance to a pipe an ordinary
// program made first (Wine behaves alike). The real service, then the same run in this
// process with its events watched: the agent serves neither, sends nothing and says why.
TEST_F(AgentServiceTest, ASquatterJoiningTheAgentsInstanceGetsNothingAndTheRefusalIsLogged)
{
    TempFolder taken{"squat"};
    {
        JoiningSquatter squatter(taken.Path());
        ASSERT_TRUE(squatter.madeItsPipe);
        StartAgent("rdisk.exe", {"30", "1", "1"});
        ExpectServiceEnds();
        EXPECT_LE(squatter.ExitCode(), 1) << "the squatter read the agent's outcome record";
    }
    EXPECT_TRUE(ListFiles(taken.Path()).empty());
    EXPECT_EQ(0, CountProcesses("rdisk.exe")); // refused before rdisk.exe was started

    JoiningSquatter squatter(taken.Path());
    ASSERT_TRUE(squatter.madeItsPipe);
    g_agentEvents.clear();
    win::SetReportEventFunction(RecordAgentEvent);
    win::Handle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    AgentRun run(stop.Get());
    char service[] = "Vantoro", limit[] = "30", always[] = "1", quota[] = "0";
    char* argv[] = {service, limit, always, quota};
    run.RunAgent(4, argv);
    win::SetReportEventFunction(nullptr);
    EXPECT_LE(squatter.ExitCode(), 1);
    EXPECT_TRUE(ListFiles(taken.Path()).empty());
    ASSERT_EQ(1u, g_agentEvents.size());
    EXPECT_EQ((std::vector<std::string>{"Vantoro error: 1307", kRefusedPipeText}), g_agentEvents[0]);
}
