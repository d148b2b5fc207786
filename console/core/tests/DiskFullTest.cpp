// The output folder's disk fills in the middle of a file. Runs when drive E: of the prefix
// is a small file system made for it (disk-full-test.sh mounts 200 KB of tmpfs there);
// skips itself otherwise.
#include <gtest/gtest.h>

#include "CreationRun.h"
#include "SimulatedRunTest.h"
#include "TestSupport.h"

using namespace testing_support;

namespace {

constexpr char kMarker[] = "E:\\disk-full-test";

class DiskFullTest : public OneComputerRunTest {
protected:
    void SetUp() override
    {
        OneComputerRunTest::SetUp();
        if (!FileExists(kMarker)) GTEST_SKIP() << "drive E: is not the small file system of disk-full-test.sh";
        TheConsoleSettings().OutDir = "E:\\out\\%COMPUTERNAME%";
    }
    void Run(size_t firstBytes)
    {
        simagents::Script script;
        script.fileBytes = firstBytes;
        OneComputerRunTest::Run(script);
    }
};

} // namespace

TEST_F(DiskFullTest, FullDiskInTheMiddleOfAFileIsError112AndTheLastSetStays)
{
    Run(20000);
    ASSERT_EQ(static_cast<uint32_t>(kJobSucceeded), Entry().result) << Entry().errorCode;
    std::vector<std::string> good = ListFiles("E:\\out\\PC01");
    std::string goodSystem;
    ASSERT_TRUE(ReadWholeFile("E:\\out\\PC01\\system._", goodSystem));

    Run(1024 * 1024); // five times the disk
    EXPECT_EQ(static_cast<uint32_t>(kJobCopyError), Entry().result);
    EXPECT_EQ(static_cast<uint32_t>(ERROR_DISK_FULL), Entry().errorCode);
    EXPECT_EQ(good, ListFiles("E:\\out\\PC01"));
    std::string system;
    EXPECT_TRUE(ReadWholeFile("E:\\out\\PC01\\system._", system));
    EXPECT_TRUE(system == goodSystem) << "the last set's system._ changed";

    // The result log on the full disk as well: the run still ends, with its results.
    RemoveTree("E:\\out\\PC01.incomplete");
    lstrcpynA(TheResultLog().Settings().LogFileName, "E:\\Salvora.log", sizeof(TheResultLog().Settings().LogFileName));
    Run(1024 * 1024);
    LogRunResults(TheComputerList(), nullptr, false);
    EXPECT_EQ(static_cast<uint32_t>(kJobCopyError), Entry().result);
    EXPECT_EQ(static_cast<uint32_t>(ERROR_DISK_FULL), Entry().errorCode);
    std::string log;
    if (ReadWholeFile("E:\\Salvora.log", log) && !log.empty()) {
        EXPECT_NE(std::string::npos, log.find("Error\tCreate ER Disk\tPC01")) << log;
    }
}
