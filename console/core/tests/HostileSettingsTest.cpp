// Hostile settings through the real creation run over simulated agents: absurd numbers
// give a working run, an OutDir that is too long, empty, or names a device gives that
// computer "Creation output directory error" and writes nothing anywhere.
#include <gtest/gtest.h>

#include "CreationRun.h"
#include "SimulatedRunTest.h"
#include "TestSupport.h"

#include <set>

using namespace testing_support;

namespace {

// Every name in `folder`, files and folders.
std::set<std::string> Names(const std::string& folder)
{
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.insert(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

std::string CurrentFolder()
{
    char buffer[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof(buffer), buffer);
    return buffer;
}

using HostileSettingsTest = OneComputerRunTest;

} // namespace

TEST_F(HostileSettingsTest, AbsurdNumbersStillGiveAWorkingRun)
{
    struct Case {
        const char* what;
        uint32_t erdTimeout;
        uint32_t maxDeployThread;
    };
    const Case cases[] = {
        {"time-out 0xFFFFFFFF", 0xFFFFFFFFu, 1},
        {"MaxDeployThread 0", 0, 0},
        {"MaxDeployThread 100000", 0, 100000},
        {"both at their largest", 0xFFFFFFFFu, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TheConsoleSettings().ERDtimeout = c.erdTimeout;
        TheConsoleSettings().MaxDeployThread = c.maxDeployThread;
        EXPECT_EQ(0u, RunJobs(TheComputerList()));
        EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), Entry().result) << Entry().errorCode;
        EXPECT_LE(LastRunFigures().stepThreads, kMaxStepBound);
    }
}

TEST_F(HostileSettingsTest, OutDirTooLongEmptyOrNamingADeviceIsTheFoldersErrorAndWritesNothing)
{
    const std::string scratch = folder.Path();
    struct Case {
        const char* what;
        std::string outDir;
    };
    const Case cases[] = {
        {"5,000 characters", scratch + "\\" + std::string(5000, 'a')},
        {"empty", ""},
        {"the null device", "NUL"},
        {"the console device as a parent", "CON\\%COMPUTERNAME%"},
        {"a serial port", "COM1"},
        {"a disk device", "\\\\.\\PhysicalDrive0"},
        {"a pipe", "\\\\.\\pipe\\SalvoraOutDir"},
        {"a stream of a file", scratch + "\\file:%COMPUTERNAME%"},
    };
    ASSERT_TRUE(WriteWholeFile(scratch + "\\file", "a file"));
    const std::string current = CurrentFolder();
    const std::set<std::string> currentBefore = Names(current);
    const std::set<std::string> rootBefore = Names("C:");
    const std::set<std::string> scratchBefore = Names(scratch);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TheConsoleSettings().OutDir = c.outDir;
        EXPECT_EQ(0u, RunJobs(TheComputerList()));
        EXPECT_EQ(static_cast<uint32_t>(kJobOutputFolderError), Entry().result) << Entry().errorCode;
        EXPECT_NE(0u, Entry().errorCode);
        EXPECT_EQ(currentBefore, Names(current));
        EXPECT_EQ(rootBefore, Names("C:"));
    }
    std::set<std::string> scratchAfter = Names(scratch);
    scratchAfter.erase("targets"); // the simulated agents' repair folders
    EXPECT_EQ(scratchBefore, scratchAfter);
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(scratch + "\\file", bytes));
    EXPECT_EQ("a file", bytes);
}

// Names a hostile list file can carry reach the folder template only as one folder name:
// each is that computer's folder error, and nothing is written beside the output folder.
TEST_F(HostileSettingsTest, ComputerNamesThatAreNoFolderNameAreRefused)
{
    const std::string out = folder.Path() + "\\out";
    TheConsoleSettings().OutDir = out + "\\%COMPUTERNAME%";
    const char* const names[] = {"..", ". .", "..\\..\\ESCAPED", "A/B", "PC:STREAM", "TAB\tNAME", "BELL\a", "PC%c",
                                 "A*?", "<PIPE>|"};
    TheComputerList().Clear();
    for (const char* name : names) {
        auto entry = std::make_shared<ComputerEntry>(name);
        entry->SetInfo(kRoleWorkstation, "Windows NT 4.0 Workstation", "");
        entry->selected = 1;
        TheComputerList().Append(entry);
    }
    auto good = std::make_shared<ComputerEntry>("GOOD");
    good->SetInfo(kRoleWorkstation, "Windows NT 4.0 Workstation", "");
    good->selected = 1;
    TheComputerList().Append(good);
    // The simulated agents' repair folders are named after the computers: only GOOD's.
    deployer->prepareFolders = false;
    deployer->MakeRepairFolder("GOOD", simagents::Script{});
    const std::set<std::string> scratchBefore = Names(folder.Path());

    EXPECT_EQ(0u, RunJobs(TheComputerList()));
    for (size_t i = 0; i < std::size(names); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(static_cast<uint32_t>(kJobOutputFolderError), TheComputerList().At(i)->result);
        EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_NAME), TheComputerList().At(i)->errorCode);
    }
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), good->result);
    EXPECT_EQ((std::set<std::string>{".", "..", "GOOD"}), Names(out));
    std::set<std::string> scratchAfter = Names(folder.Path());
    scratchAfter.erase("out");
    EXPECT_EQ(scratchBefore, scratchAfter);
}
