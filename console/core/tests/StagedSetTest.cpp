// The last good set of repair files survives every broken transfer: the creation run
// receives into "<folder>.incomplete" and puts the set in place only after "<Finish>".
// The runs are the real creation run over simulated agents that break where told.
#include <gtest/gtest.h>

#include "CompanionTools.h"
#include "CreationRun.h"
#include "SimulatedAgents.h"
#include "SimulatedRunTest.h"
#include "StagedSet.h"
#include "TestSupport.h"

#include <map>

using namespace testing_support;
using simagents::Break;
using simagents::Script;

namespace {

// Each file's name with its size and a checksum of its bytes (readable when they differ).
using FileSet = std::map<std::string, std::string>;

std::string Digest(const std::string& bytes)
{
    unsigned long long hash = 1469598103934665603ull;
    for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
    return std::to_string(bytes.size()) + " bytes, " + std::to_string(hash);
}

FileSet ReadSet(const std::string& folder)
{
    FileSet set;
    for (const std::string& name : ListFiles(folder)) {
        std::string bytes;
        ReadWholeFile(folder + "\\" + name, bytes);
        set[name] = Digest(bytes);
    }
    return set;
}

// A file or a folder.
bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class StagedSetTest : public OneComputerRunTest {
protected:
    std::string Out() const { return folder.Path() + "\\out\\PC01"; }

    // One run in which the agent sends `files` files, the first `firstBytes` long, and
    // breaks where `where` says.
    void Run(size_t firstBytes, Break where = Break::None, unsigned breakFile = 1, unsigned files = 4)
    {
        Script script;
        script.fileBytes = firstBytes;
        script.fileCount = files;
        script.breakAt = where;
        script.breakFile = breakFile;
        OneComputerRunTest::Run(script);
    }

    std::string LogText()
    {
        LogRunResults(TheComputerList(), nullptr, false);
        std::string text;
        ReadWholeFile(TheResultLog().Settings().LogFileName, text);
        return text;
    }
};

} // namespace

TEST_F(StagedSetTest, EveryBrokenTransferLeavesTheLastGoodSetByteIdentical)
{
    Run(30000);
    ASSERT_EQ(static_cast<uint32_t>(kJobSucceeded), Entry().result);
    const FileSet good = ReadSet(Out());
    ASSERT_EQ(4u, good.size());
    ASSERT_EQ(ReadSet(deployer->RepairFolder("PC01")), good);

    struct Case {
        const char* what;
        Break where;
        unsigned file;
    };
    const Case cases[] = {
        {"after the first file's name", Break::AfterName, 0},
        {"in the middle of the second file", Break::MidFile, 1},
        {"between the second and third file", Break::BetweenFiles, 2},
        {"before <Finish>", Break::BeforeFinish, 0},
    };
    size_t bytes = 41000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Run(bytes += 1000, c.where, c.file); // a new set that differs from the good one
        EXPECT_EQ(static_cast<uint32_t>(kJobCopyError), Entry().result);
        EXPECT_EQ(good, ReadSet(Out()));
        EXPECT_TRUE(Exists(Out() + ".incomplete"));
        EXPECT_FALSE(Exists(Out() + ".previous"));
        std::string log = LogText();
        EXPECT_NE(std::string::npos, log.find("(not put in place; the files received are in PC01.incomplete)")) << log;
    }
    // Cancel in the middle of a transfer keeps the set as well.
    // (The hook stays in place: agent threads may still be calling it after the run.)
    static volatile LONG cancelOnce = 1;
    deployer->onStatusSent = [](const std::string&) {
        if (InterlockedExchange(&cancelOnce, 0)) RequestCancel();
    };
    Run(60000);
    EXPECT_EQ(static_cast<uint32_t>(kJobCancelled), Entry().result);
    EXPECT_EQ(good, ReadSet(Out()));
    PrepareRunState(nullptr);

    // The next good run puts its set in place and leaves nothing beside it.
    RemoveTree(deployer->RepairFolder("PC01"));
    Run(50000, Break::None, 1, 3);
    ASSERT_EQ(static_cast<uint32_t>(kJobSucceeded), Entry().result);
    EXPECT_EQ(ReadSet(deployer->RepairFolder("PC01")), ReadSet(Out()));
    EXPECT_EQ(3u, ReadSet(Out()).size()); // the old set's fourth file went with it
    EXPECT_FALSE(Exists(Out() + ".incomplete"));
    EXPECT_FALSE(Exists(Out() + ".previous"));
    std::string log = LogText();
    EXPECT_EQ(std::string::npos, log.find(".incomplete")) << log;
}

// The console ended between the renames, or before the previous set was removed: the next
// fetch, or Apply ERD, finds the complete set under the folder's name.
TEST_F(StagedSetTest, ASwapCutShortIsRepairedBeforeTheFolderIsUsed)
{
    const std::string out = Out();
    const std::map<std::string, std::string> oldBytes = {{"system._", "old system"}, {"software._", "old software"}};
    const std::map<std::string, std::string> freshBytes = {{"system._", "new system"}};
    auto make = [](const std::string& where, const std::map<std::string, std::string>& set) {
        CreateDirectoryA(where.c_str(), nullptr);
        for (const auto& [name, bytes] : set) WriteWholeFile(where + "\\" + name, bytes);
    };
    FileSet old, fresh;
    for (const auto& [name, bytes] : oldBytes) old[name] = Digest(bytes);
    for (const auto& [name, bytes] : freshBytes) fresh[name] = Digest(bytes);
    CreateDirectoryA((folder.Path() + "\\out").c_str(), nullptr);

    // Between the renames: only the set moved aside exists. A broken run keeps it.
    make(out + ".previous", oldBytes);
    Run(20000, Break::MidFile, 1);
    EXPECT_EQ(static_cast<uint32_t>(kJobCopyError), Entry().result);
    EXPECT_EQ(old, ReadSet(out));
    EXPECT_FALSE(Exists(out + ".previous"));

    // After the second rename: the new set in place, the old one still aside.
    RemoveTree(out);
    make(out, freshBytes);
    make(out + ".previous", oldBytes);
    RecoverStagedSet(out + "\\");
    EXPECT_EQ(fresh, ReadSet(out));
    EXPECT_FALSE(Exists(out + ".previous"));

    // Apply ERD names the folder only once its set is back.
    RemoveTree(out);
    make(out + ".previous", oldBytes);
    static std::string started;
    SetProgramStarter([](const char* line, UINT) -> UINT {
        started = line;
        return 33;
    });
    ConsoleSettings settings = TheConsoleSettings();
    ApplyErd(nullptr, settings, "PC01");
    SetProgramStarter(nullptr);
    EXPECT_NE(std::string::npos, started.find("\"-d=" + out)) << started;
    EXPECT_EQ(std::string::npos, started.find(".previous")) << started;
    EXPECT_EQ(old, ReadSet(out));
    EXPECT_FALSE(Exists(out + ".previous"));
}

// A subfolder in the output folder (another template's dated sets) is no part of the set:
// it stays in the folder, with what it holds, run after run.
TEST_F(StagedSetTest, SubfoldersOfTheFolderStayInIt)
{
    Run(30000);
    ASSERT_EQ(static_cast<uint32_t>(kJobSucceeded), Entry().result);
    ASSERT_TRUE(CreateDirectoryA((Out() + "\\1999-12-07").c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(Out() + "\\1999-12-07\\system._", "an older set"));
    for (size_t bytes : {31000u, 32000u}) {
        Run(bytes);
        EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), Entry().result) << Entry().errorCode;
        EXPECT_EQ(ReadSet(deployer->RepairFolder("PC01")), ReadSet(Out()));
        std::string older;
        EXPECT_TRUE(ReadWholeFile(Out() + "\\1999-12-07\\system._", older));
        EXPECT_EQ("an older set", older);
        EXPECT_FALSE(Exists(Out() + ".previous"));
    }
}

// A file where the receive folder belongs is the computer's folder error; nothing of the
// set changes. Several computers sharing one folder each receive into one of their own.
TEST_F(StagedSetTest, ReceiveFolderInTheWayAndASharedFolder)
{
    Run(30000);
    const FileSet good = ReadSet(Out());
    ASSERT_TRUE(WriteWholeFile(Out() + ".incomplete", "not a folder"));
    Run(31000);
    EXPECT_EQ(static_cast<uint32_t>(kJobOutputFolderError), Entry().result);
    EXPECT_EQ(static_cast<uint32_t>(ERROR_DIRECTORY), Entry().errorCode);
    EXPECT_EQ(good, ReadSet(Out()));
    DeleteFileA((Out() + ".incomplete").c_str());

    auto second = std::make_shared<ComputerEntry>("PC02");
    second->SetInfo(kRoleWorkstation, "Windows NT 4.0 Workstation", "");
    second->selected = 1;
    TheComputerList().Append(second);
    TheConsoleSettings().MaxDeployThread = 2;
    TheConsoleSettings().OutDir = folder.Path() + "\\shared";
    Run(30000);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), Entry().result);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), second->result);
    FileSet shared = ReadSet(folder.Path() + "\\shared");
    EXPECT_TRUE(shared == ReadSet(deployer->RepairFolder("PC01")) || shared == ReadSet(deployer->RepairFolder("PC02")));
    EXPECT_FALSE(Exists(folder.Path() + "\\shared.PC01.incomplete"));
    EXPECT_FALSE(Exists(folder.Path() + "\\shared.PC02.incomplete"));
    EXPECT_FALSE(Exists(folder.Path() + "\\shared.previous"));
}
