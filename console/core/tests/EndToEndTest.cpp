// The whole creation path once, for real, against this computer: the built Vantoro.exe
// copied into the system folder, created and started as a service, the rdisk.exe stand-in
// making the repair data, the files arriving in the output folder, the service stopped and
// gone, the agent file deleted, the result log and TNGAgent.ini written.
#include <gtest/gtest.h>

#include <cctype>

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

    // Wine's service manager sometimes fails the new service process's own OpenService in
    // its dispatcher ("failed to open service"); the agent then cannot report and the start
    // ends with 1053. Seen for test programs started in the first two minutes of a fresh
    // prefix, and within a ctest session; a program started later from the shell passes.
    // Such a run is repeated within a bound; false when the service manager never let the
    // agent start (the deployment itself is tested with the real service manager, and the
    // run with simulated targets).
    bool RunUntilTheAgentStarts(DWORD& spent)
    {
        DWORD begin = GetTickCount();
        for (;;) {
            DWORD start = GetTickCount();
            RunJobsUnattended();
            spent = GetTickCount() - start;
            bool refused = false;
            for (const ComputerEntryPtr& entry : TheComputerList().Entries())
                refused = refused || (entry->result == kJobInstallError && entry->errorCode == ERROR_SERVICE_REQUEST_TIMEOUT);
            if (!refused) return true;
            if (!ServiceGone(30000) || GetTickCount() - begin > 30000) return false;
        }
    }

    // The repair files, byte for byte, in the folder expanded from OutDir.
    void ExpectRepairFilesWhole(const char* local)
    {
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

    DWORD spent = 0;
    if (!RunUntilTheAgentStarts(spent)) GTEST_SKIP() << "Wine's service manager did not let the agent service start (1053)";

    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), entry->result) << entry->errorCode;
    EXPECT_EQ(0u, entry->errorCode);
    EXPECT_EQ(SystemFolder() + "\\Vantoro.exe", entry->agentPath);
    EXPECT_EQ(nullptr, entry->scmHandle);
    EXPECT_EQ(nullptr, entry->serviceHandle);
    EXPECT_LT(spent, 120000u);

    ExpectRepairFilesWhole(local);

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


// This computer listed twice (its name in other letter case the second time) at the default
// bound: the second job waits until the first is counted, so neither stops the other's
// agent or deletes its file; both succeed, the files are whole, nothing is left behind.
TEST_F(EndToEndTest, ThisComputerListedTwiceGetsTwoSoundJobs)
{
    const char* local = LocalComputerName();
    ASSERT_NE(nullptr, local);
    std::string lower = local;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const std::string& name : {std::string(local), lower}) {
        auto entry = std::make_shared<ComputerEntry>(name);
        entry->selected = 1;
        ASSERT_TRUE(TheComputerList().Append(entry));
    }
    TheConsoleSettings().MaxDeployThread = kDefaultMaxDeployThread;

    DWORD spent = 0;
    if (!RunUntilTheAgentStarts(spent)) GTEST_SKIP() << "Wine's service manager did not let the agent service start (1053)";
    for (size_t i = 0; i < 2; ++i) {
        const ComputerEntry& entry = *TheComputerList().At(i);
        EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), entry.result) << entry.name << " " << entry.errorCode;
        EXPECT_EQ(0u, entry.errorCode) << entry.name;
        EXPECT_EQ(nullptr, entry.serviceHandle);
    }
    ExpectRepairFilesWhole(local);
    EXPECT_TRUE(ServiceGone(30000));
    EXPECT_FALSE(FileExists(SystemFolder() + "\\Vantoro.exe"));
}
