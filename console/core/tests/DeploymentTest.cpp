// Agent deployment: the processor check of a target's ntdll.dll, the copy destination, the
// start arguments, and DeployAgent's failures through the real service control manager.
#include <gtest/gtest.h>

#include "AgentDeployment.h"
#include "Enumeration.h"
#include "RegistryFixture.h"
#include "Settings.h"
#include "TestSupport.h"

#include <cstring>

using namespace testing_support;

namespace {

// 512 bytes of an image header: "MZ", the relocation offset, e_lfanew, "PE" and a machine.
std::string ImageHeader(uint16_t machine, uint32_t newHeader = 0x80, uint32_t relocations = 0x40)
{
    std::string bytes(512, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    std::memcpy(&bytes[24], &relocations, 4);
    std::memcpy(&bytes[60], &newHeader, 4);
    if (newHeader + 6 <= bytes.size()) {
        bytes[newHeader] = 'P';
        bytes[newHeader + 1] = 'E';
        bytes[newHeader + 4] = static_cast<char>(machine & 0xFF);
        bytes[newHeader + 5] = static_cast<char>(machine >> 8);
    }
    return bytes;
}

struct Detected {
    bool ok;
    uint16_t platform;
    DWORD error;
};

Detected Detect(const TempFolder& folder, const std::string& bytes)
{
    std::string path = folder.Path() + "\\ntdll.dll";
    EXPECT_TRUE(WriteWholeFile(path, bytes));
    uint16_t platform = 12345;
    bool ok = DetectPlatform(path.c_str(), platform);
    return {ok, platform, GetLastError()};
}

} // namespace

TEST(DetectPlatformTest, IntelFamilyIncludingX64AndAlphaAreKnown)
{
    TempFolder folder("plat");
    for (uint16_t machine : {0x14C, 0x14D, 0x14E, 0x14F, 0x8664}) {
        SCOPED_TRACE(machine);
        Detected d = Detect(folder, ImageHeader(machine));
        EXPECT_TRUE(d.ok);
        EXPECT_EQ(kPlatformIntel, d.platform);
        EXPECT_EQ(0u, d.error);
    }
    Detected alpha = Detect(folder, ImageHeader(0x184));
    EXPECT_TRUE(alpha.ok);
    EXPECT_EQ(kPlatformAlpha, alpha.platform);
}

TEST(DetectPlatformTest, EveryOtherMachineIsRefusedWithWrongOs)
{
    TempFolder folder("plat");
    // MIPS, PowerPC, and machines whose low byte alone would pass for Alpha or Intel.
    for (uint16_t machine : {0x166, 0x1F0, 0x284, 0xAA64, 0x024C, 0x0000}) {
        SCOPED_TRACE(machine);
        Detected d = Detect(folder, ImageHeader(machine));
        EXPECT_FALSE(d.ok);
        EXPECT_EQ(kPlatformUndetermined, d.platform);
        EXPECT_EQ(static_cast<DWORD>(ERROR_APP_WRONG_OS), d.error);
    }
}

TEST(DetectPlatformTest, MalformedHeadersAreRefused)
{
    TempFolder folder("plat");
    std::string noMz = ImageHeader(0x14C);
    noMz[0] = 'Z';
    std::string noPe = ImageHeader(0x14C);
    noPe[0x81] = 'X';
    const std::string cases[] = {
        ImageHeader(0x14C, 507),             // new header too far for the 512 bytes read
        ImageHeader(0x14C, 0x80, 63),        // relocation table inside the DOS header
        ImageHeader(0x14C).substr(0, 511),   // short file
        noMz, noPe,
    };
    for (const std::string& bytes : cases) {
        Detected d = Detect(folder, bytes);
        EXPECT_FALSE(d.ok);
        EXPECT_EQ(static_cast<DWORD>(ERROR_APP_WRONG_OS), d.error);
    }
    // The last place the header can start still works.
    Detected edge = Detect(folder, ImageHeader(0x184, 506));
    EXPECT_TRUE(edge.ok);
    EXPECT_EQ(kPlatformAlpha, edge.platform);
}

TEST(DetectPlatformTest, MissingFileKeepsTheOpenError)
{
    TempFolder folder("plat");
    uint16_t platform = 7;
    EXPECT_FALSE(DetectPlatform((folder.Path() + "\\absent.dll").c_str(), platform));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(7, platform);
}

TEST(DetectPlatformTest, ThisComputersNtdllIsIntel)
{
    char folder[MAX_PATH] = {};
    GetSystemDirectoryA(folder, sizeof(folder));
    uint16_t platform = kPlatformUndetermined;
    EXPECT_TRUE(DetectPlatform((std::string(folder) + "\\ntdll.dll").c_str(), platform)) << GetLastError();
    EXPECT_EQ(kPlatformIntel, platform);
}

class DeploymentTest : public console_test::RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        saved_ = TheConsoleSettings();
        ConsoleSettings& settings = TheConsoleSettings();
        settings.InstallPath = folder.Path();
        settings.LeaveAgent = 0;
        settings.AlphaSupport = 0;
        PrepareRunState(nullptr);
        TheRunState().localAgentPath = folder.Path() + "\\" + kAgentFileName; // absent
        TheRunState().localAlphaAgentPath = folder.Path() + "\\" + kAlphaAgentFileName;
    }
    void TearDown() override
    {
        TheConsoleSettings() = saved_;
        PrepareRunState(nullptr);
        RegistryTest::TearDown();
    }
    ConsoleSettings saved_;
    TempFolder folder{"dep"};
};

TEST_F(DeploymentTest, StartArgumentsFollowTheSettings)
{
    ConsoleSettings& settings = TheConsoleSettings();
    std::string limit, always, quota, withoutRdisk;
    settings.ERDtimeout = -3600;
    settings.AlwaysCopyFiles = 0;
    settings.CheckRegQuota = 7;
    settings.SaveHivesWithoutRdisk = 0;
    AgentStartArguments(limit, always, quota, withoutRdisk);
    EXPECT_EQ("-3600", limit);
    EXPECT_EQ("0", always);
    EXPECT_EQ("1", quota);
    EXPECT_EQ("0", withoutRdisk);
    settings.ERDtimeout = 90;
    settings.AlwaysCopyFiles = 1;
    settings.CheckRegQuota = 0;
    settings.SaveHivesWithoutRdisk = 5; // any non-zero value is "1"
    AgentStartArguments(limit, always, quota, withoutRdisk);
    EXPECT_EQ("90", limit);
    EXPECT_EQ("1", always);
    EXPECT_EQ("0", quota);
    EXPECT_EQ("1", withoutRdisk);
}

TEST_F(DeploymentTest, OwnComputerGetsTheLocalSystemFolderOthersTheAdminShare)
{
    const char* local = LocalComputerName();
    ASSERT_NE(nullptr, local);
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, sizeof(system));
    std::string lower = local;
    CharLowerA(lower.data());
    EXPECT_EQ(std::string(system) + "\\", AgentDestinationFolder(lower.c_str()));
    EXPECT_EQ("\\\\PC01\\ADMIN$\\system32\\", AgentDestinationFolder("PC01"));
}

TEST_F(DeploymentTest, CopyFailureIsAnInstallErrorWithTheSystemCode)
{
    ComputerEntry entry(LocalComputerName());
    PipeChannel channel;
    EXPECT_FALSE(DeployAgent(entry, channel));
    EXPECT_EQ(kJobInstallError, entry.result);
    EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), entry.errorCode);
    EXPECT_TRUE(entry.agentPath.empty()); // no file of this run's to delete there
    EXPECT_NE(nullptr, entry.scmHandle); // left for the finishing steps
    EXPECT_EQ(nullptr, entry.serviceHandle);
    CloseAgentService(entry);
    EXPECT_EQ(nullptr, entry.scmHandle);
}

TEST_F(DeploymentTest, AlphaSupportAcceptsAnX64TargetAndRefusesAnUnreadableOne)
{
    TheConsoleSettings().AlphaSupport = 1;
    ComputerEntry local(LocalComputerName());
    PipeChannel channel;
    EXPECT_FALSE(DeployAgent(local, channel));
    EXPECT_EQ(kJobInstallError, local.result); // past the platform check, the copy failed
    CloseAgentService(local);

    // A target whose administrative share cannot be reached has no readable ntdll.dll.
    ComputerEntry remote("NOSUCHPC0815");
    EXPECT_FALSE(DeployAgent(remote, channel));
    if (remote.scmHandle) {
        EXPECT_EQ(kJobUnsupportedPlatform, remote.result);
        EXPECT_NE(0u, remote.errorCode);
        EXPECT_NE(kNoErrorCode, remote.errorCode);
    } else {
        EXPECT_EQ(kJobInstallError, remote.result);
    }
    CloseAgentService(remote);
}

TEST_F(DeploymentTest, CancelAfterOpeningTheManagerStopsWithCancelled)
{
    RequestCancel();
    ComputerEntry entry(LocalComputerName());
    PipeChannel channel;
    EXPECT_FALSE(DeployAgent(entry, channel));
    EXPECT_EQ(kJobCancelled, entry.result);
    EXPECT_EQ(kNoErrorCode, entry.errorCode);
    EXPECT_TRUE(entry.agentPath.empty()); // nothing was copied
    CloseAgentService(entry);
}

namespace {

// A tick counter that starts shortly before its wrap after 49.7 days and moves on by a
// fixed step at every read.
struct SteppedTicks {
    static DWORD now;
    static DWORD step;
    static DWORD WINAPI Read()
    {
        DWORD value = now;
        now += step;
        return value;
    }
};
DWORD SteppedTicks::now = 0;
DWORD SteppedTicks::step = 0;

} // namespace

TEST(AgentDeployment, ServiceStartWaitMeasuresItsLimitAcrossTheTickCounterWrap)
{
    // An agent that runs after 110 s of starting, the counter wrapping meanwhile: accepted.
    SteppedTicks::now = 0xFFFFFFFFu - 50000;
    SteppedTicks::step = 55000;
    int reads = 0;
    EXPECT_TRUE(WaitForServiceStart(
        [&](SERVICE_STATUS& status) {
            status.dwCurrentState = ++reads < 2 ? SERVICE_START_PENDING : SERVICE_RUNNING;
            return true;
        },
        SteppedTicks::Read));
    EXPECT_EQ(reads, 2);

    // An agent that never runs: given up once the 120 s have passed, neither at the wrap
    // (where "now > start + limit" gives up at once) nor never.
    SteppedTicks::now = 0xFFFFFFFFu - 70000;
    SteppedTicks::step = 50000;
    reads = 0;
    SetLastError(0);
    EXPECT_FALSE(WaitForServiceStart(
        [&](SERVICE_STATUS& status) {
            ++reads;
            status.dwCurrentState = SERVICE_START_PENDING;
            return true;
        },
        SteppedTicks::Read));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
    EXPECT_EQ(reads, 2); // at 50 s and 100 s; at 150 s the limit has passed

    // A failed status read ends the wait with its own error.
    reads = 0;
    EXPECT_FALSE(WaitForServiceStart(
        [&](SERVICE_STATUS&) {
            ++reads;
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        },
        SteppedTicks::Read));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(reads, 1);
}
