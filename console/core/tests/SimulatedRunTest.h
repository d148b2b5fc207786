// The fixture of the tests that run the creation run over simulated targets: the console's
// settings and log pointed into a scratch folder, an empty computer list, and the
// simulated deployer in place of the real one; everything put back afterwards.
#pragma once
#include <gtest/gtest.h>

#include <memory>

#include "ComputerList.h"
#include "CreationJob.h"
#include "CreationRun.h"
#include "RegistryFixture.h"
#include "ResultLog.h"
#include "Settings.h"
#include "SimulatedAgents.h"
#include "StagedSet.h"
#include "TestSupport.h"

// The folder a computer's set not put in place in the last run was kept in, as the result
// log's note names it (empty when there is none).
inline std::string KeptAsideFolder(const std::string& computer)
{
    const std::string note = IncompleteTransferNote(computer);
    const size_t at = note.rfind("are in ");
    return at == std::string::npos || note.empty() ? std::string() : note.substr(at + 7, note.size() - at - 8);
}

class SimulatedRunTest : public console_test::RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        saved_ = TheConsoleSettings();
        ConsoleSettings& settings = TheConsoleSettings();
        settings.InstallPath = folder.Path();
        settings.OutDir = folder.Path() + "\\out\\%COMPUTERNAME%";
        settings.ERDtimeout = 0;
        settings.AlwaysCopyFiles = 0;
        settings.LeaveAgent = 0;
        // One deployment at a time, so that a run's order is the list's; the tests of the
        // side-by-side scheduling choose their bound.
        settings.MaxDeployThread = 1;
        LogSettings& log = TheResultLog().Settings();
        savedLog_ = log;
        lstrcpynA(log.LogFileName, (folder.Path() + "\\Salvora.log").c_str(), sizeof(log.LogFileName));
        log.LogWriteFile = 1;
        log.LogFullErrorNo = kLogFull;
        log.LogOverwrite = 1;
        log.LogWriteAnnalix = 0;
        log.NTAppLog = 0;
        TheComputerList().Clear();
        deployer = std::make_unique<simagents::SimulatedDeployer>(folder.Path() + "\\targets");
        SetDeployer(deployer.get());
    }
    void TearDown() override
    {
        SetDeployer(nullptr);
        EXPECT_TRUE(deployer->WaitForAgents(30000));
        deployer.reset();
        TheComputerList().Clear();
        TheResultLog().Settings() = savedLog_;
        TheConsoleSettings() = saved_;
        PrepareRunState(nullptr);
        RegistryTest::TearDown();
    }

    testing_support::TempFolder folder{"simrun"};
    std::unique_ptr<simagents::SimulatedDeployer> deployer;
    ConsoleSettings saved_;
    LogSettings savedLog_;
};

// One workstation, PC01, selected in the list, over the same simulated targets; `Run` is one
// creation run in which its agent follows `script`.
class OneComputerRunTest : public SimulatedRunTest {
protected:
    void SetUp() override
    {
        SimulatedRunTest::SetUp();
        TheConsoleSettings().AlphaSupport = 0;
        PrepareRunState(nullptr);
        auto entry = std::make_shared<ComputerEntry>("PC01");
        entry->SetInfo(kRoleWorkstation, "Windows NT 4.0 Workstation", "");
        entry->selected = 1;
        TheComputerList().Append(entry);
    }
    ComputerEntry& Entry() { return *TheComputerList().At(0); }
    void Run(const simagents::Script& script)
    {
        deployer->SetScript("PC01", script);
        EXPECT_EQ(0u, RunJobs(TheComputerList()));
    }
};
