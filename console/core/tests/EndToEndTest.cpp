// The whole creation path once, for real, against this computer: the built Vantoro.exe
// copied into the system folder, created and started as a service, the rdisk.exe stand-in
// making the repair data, the files arriving in the output folder, the service stopped and
// gone, the agent file deleted, the result log and TNGAgent.ini written.
#include <gtest/gtest.h>

#include <cstdio>

#include "CreationRun.h"
#include "Enumeration.h"
#include "RegistryFixture.h"
#include "ResultLog.h"
#include "Settings.h"
#include "TestSupport.h"
#include "ThisComputer.h"
#include "UnicenterStatus.h"

using namespace testing_support;
using namespace console_test;

namespace {

class EndToEndTest : public console_test::RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        agent = BinFolder() + "\\Vantoro.exe";
        if (!FileExists(agent)) GTEST_SKIP() << "Vantoro.exe is not built";
        ASSERT_EQ(0, RunProgram("\"" + BinFolder() + "\\ntsim.exe\"", 120000));
        ASSERT_TRUE(ServiceGone(30000)) << "an agent service of an earlier run is still there";
        ASSERT_TRUE(CopyFileA(agent.c_str(), (program.Path() + "\\Vantoro.exe").c_str(), FALSE));

        saved_ = TheConsoleSettings();
        ConsoleSettings& settings = TheConsoleSettings();
        settings.InstallPath = program.Path();
        settings.OutDir = output.Path() + "\\%COMPUTERNAME%";
        settings.ERDtimeout = 120;
        settings.AlwaysCopyFiles = 0;
        settings.LeaveAgent = 0;
        settings.AlphaSupport = 1;
        settings.CheckRegQuota = 0;
        LogSettings& log = TheResultLog().Settings();
        savedLog_ = log;
        lstrcpynA(log.LogFileName, (program.Path() + "\\Salvora.log").c_str(), sizeof(log.LogFileName));
        log.LogWriteFile = 1;
        log.LogFullErrorNo = kLogFull;
        log.LogOverwrite = 1;
        log.LogWriteAnnalix = 0;
        log.NTAppLog = 0;
        console_test::DeleteKeyTree("SOFTWARE\\ComputerAssociates");
        ASSERT_TRUE(console_test::SetString("Install Path", "C:\\TNG", kUnicenterKey));
        SetDeployer(nullptr);
        TheComputerList().Clear();
    }
    void TearDown() override
    {
        TheComputerList().Clear();
        TheResultLog().Settings() = savedLog_;
        TheConsoleSettings() = saved_;
        console_test::DeleteKeyTree("SOFTWARE\\ComputerAssociates\\CA-Unicenter/TNG\\Agent Technologies\\Agent Common Services");
        console_test::DeleteKeyTree("SOFTWARE\\ComputerAssociates");
        RegistryTest::TearDown();
    }

    std::string agent;
    TempFolder program{"prog"};
    TempFolder output{"erd"};
    ConsoleSettings saved_;
    LogSettings savedLog_;
};

} // namespace

TEST_F(EndToEndTest, ThisComputerGetsItsRepairDataThroughTheRealAgentService)
{
    const char* local = LocalComputerName();
    ASSERT_NE(nullptr, local);
    auto entry = std::make_shared<ComputerEntry>(local);
    entry->selected = 1;
    ASSERT_TRUE(TheComputerList().Append(entry));

    // Wine's service manager sometimes fails the new service process's own OpenService in
    // its dispatcher ("failed to open service"); the agent then cannot report and the start
    // ends with 1053. Seen for test programs started in the first two minutes of a fresh
    // prefix, and within a ctest session; a program started later from the shell passes.
    // Such a run is repeated within a bound, and when the service manager never lets the
    // agent start the test says so instead of judging the run (the deployment itself is
    // tested with the real service manager above and the run with simulated targets).
    DWORD begin = GetTickCount();
    DWORD spent = 0;
    for (;;) {
        DWORD start = GetTickCount();
        RunJobsUnattended();
        spent = GetTickCount() - start;
        if (entry->result != kJobInstallError || entry->errorCode != ERROR_SERVICE_REQUEST_TIMEOUT) break;
        ASSERT_TRUE(ServiceGone(30000));
        if (GetTickCount() - begin > 30000) {
            GTEST_SKIP() << "Wine's service manager did not let the agent service start (1053)";
        }
    }

    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), entry->result) << entry->errorCode;
    EXPECT_EQ(0u, entry->errorCode);
    EXPECT_EQ(SystemFolder() + "\\Vantoro.exe", entry->agentPath);
    EXPECT_EQ(nullptr, entry->scmHandle);
    EXPECT_EQ(nullptr, entry->serviceHandle);
    EXPECT_LT(spent, 120000u);

    // The repair files, byte for byte, in the folder expanded from OutDir.
    const std::string received = output.Path() + "\\" + local;
    std::vector<std::string> sent = ListFiles(RepairFolder());
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent, ListFiles(received));
    for (const std::string& name : sent) {
        std::string original, copy;
        ASSERT_TRUE(ReadWholeFile(RepairFolder() + "\\" + name, original));
        ASSERT_TRUE(ReadWholeFile(received + "\\" + name, copy));
        EXPECT_EQ(original, copy) << name;
    }

    EXPECT_TRUE(ServiceGone(30000));
    EXPECT_FALSE(FileExists(entry->agentPath));

    std::string log;
    ASSERT_TRUE(ReadWholeFile(TheResultLog().Settings().LogFileName, log));
    EXPECT_NE(std::string::npos, log.find(std::string("Success\tCreate ER Disk\t") + local)) << log;
    EXPECT_NE(std::string::npos, log.find("* Result: Success *")) << log;
    EXPECT_NE(std::string::npos, log.find("Operation Completed")) << log;

    std::string status;
    ASSERT_TRUE(ReadWholeFile(program.Path() + "\\" + kUnicenterFileName, status));
    EXPECT_NE(std::string::npos, status.find(local)) << status;
}


// An ordinary program made the agent's pipe before the agent could and plays the agent
// with a "hive" of its own. The real console and the real agent service: the agent cannot
// make its pipe, the console refuses the squatter's (or finds the agent gone first), the
// computer's result is an error, no file of the squatter's is stored, and the agent is gone.
TEST_F(EndToEndTest, ASquattedPipeIsRefusedAndNothingOfItsIsStored)
{
    const char* local = LocalComputerName();
    ASSERT_NE(nullptr, local);
    const std::string squatterProgram = BinFolder() + "\\PipeSquatter.exe";
    if (!FileExists(squatterProgram)) GTEST_SKIP() << "PipeSquatter.exe is not built";
    auto entry = std::make_shared<ComputerEntry>(local);
    entry->selected = 1;
    ASSERT_TRUE(TheComputerList().Append(entry));

    TempFolder planted{"plant"};
    ASSERT_TRUE(WriteWholeFile(planted.Path() + "\\system._", "a hive of the squatter's choosing"));
    const std::string readyName = "SalvoraSquatterReady-" + std::to_string(GetCurrentProcessId());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    ASSERT_NE(nullptr, ready);
    std::string line = "\"" + squatterProgram + "\" \\\\.\\pipe\\Salvora " + readyName + " \"" + planted.Path() +
                       "\" 30000";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION squatter = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &squatter));
    CloseHandle(squatter.hThread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 10000));
    CloseHandle(ready);

    RunJobsUnattended();

    EXPECT_NE(static_cast<uint32_t>(kJobSucceeded), entry->result);
    // Refused (COMMUNICATION, the owner's code), or the agent ended before the console
    // reached the pipe (its service stopped: an installation error).
    EXPECT_TRUE((entry->result == kJobCommunication && entry->errorCode == ERROR_INVALID_OWNER) ||
                entry->result == kJobInstallError)
        << entry->result << " " << entry->errorCode;
    EXPECT_TRUE(ListFiles(output.Path() + "\\" + local).empty());
    DWORD exitCode = STILL_ACTIVE;
    if (WaitForSingleObject(squatter.hProcess, 5000) != WAIT_OBJECT_0) TerminateProcess(squatter.hProcess, 9);
    WaitForSingleObject(squatter.hProcess, 5000);
    GetExitCodeProcess(squatter.hProcess, &exitCode);
    CloseHandle(squatter.hProcess);
    EXPECT_NE(2u, exitCode) << "the squatter was given the go-ahead";
    std::printf("squatted pipe: result %u, code %u; squatter's exit code %lu\n", entry->result, entry->errorCode,
                exitCode);
    EXPECT_TRUE(ServiceGone(30000));
    EXPECT_FALSE(FileExists(SystemFolder() + "\\Vantoro.exe"));

    std::string log;
    ASSERT_TRUE(ReadWholeFile(TheResultLog().Settings().LogFileName, log));
    EXPECT_NE(std::string::npos, log.find(std::string("Error\tCreate ER Disk\t") + local)) << log;
}
