// The last good set of repair files survives every broken transfer and every set that would
// not restore: the creation run receives into a staging folder of its own and puts the set
// in place only after "<Finish>" and the set check. The runs are the real creation run over
// simulated agents that break where told.
#include <gtest/gtest.h>

#include "CompanionTools.h"
#include "CreationRun.h"
#include "SimulatedAgents.h"
#include "SimulatedRunTest.h"
#include "StagedSet.h"
#include "TestSupport.h"

#include <map>
#include <set>

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

// Every name in a folder, files and folders.
std::set<std::string> Entries(const std::string& folder)
{
    const std::vector<std::string> names = ListEntries(folder);
    return std::set<std::string>(names.begin(), names.end());
}

std::string Name(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

class StagedSetTest : public OneComputerRunTest {
protected:
    std::string Parent() const { return folder.Path() + "\\out"; }
    std::string Out() const { return Parent() + "\\PC01"; }

    // One run in which the agent sends `files` files of the set, the first about
    // `firstBytes` long, and breaks where `where` says.
    void Run(size_t firstBytes, Break where = Break::None, unsigned breakFile = 1, unsigned files = 6)
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

    // Plants what another user could have made beside the folder: names like the staging
    // folders' and like the old suffixes, each with a file.
    void Plant(const std::vector<std::string>& names)
    {
        CreateDirectoryA(Parent().c_str(), nullptr);
        for (const std::string& name : names) {
            ASSERT_TRUE(CreateDirectoryA((Parent() + "\\" + name).c_str(), nullptr)) << name;
            ASSERT_TRUE(WriteWholeFile(Parent() + "\\" + name + "\\system._", "planted " + name));
        }
    }
    void ExpectPlantedUntouched(const std::vector<std::string>& names)
    {
        for (const std::string& name : names) {
            std::string bytes;
            EXPECT_TRUE(ReadWholeFile(Parent() + "\\" + name + "\\system._", bytes)) << name;
            EXPECT_EQ("planted " + name, bytes);
            EXPECT_EQ(1u, ListFiles(Parent() + "\\" + name).size()) << name;
        }
    }
};

} // namespace

// Broken transfers, sets cut short or empty, and a set whose hive is no compressed hive: the
// folder keeps the last good set byte for byte, the files received stay aside (the latest
// only) under the name the log gives.
TEST_F(StagedSetTest, EveryBrokenTransferOrBrokenSetLeavesTheLastGoodSetByteIdentical)
{
    Run(30000);
    ASSERT_EQ(static_cast<uint32_t>(kJobSucceeded), Entry().result);
    const FileSet good = ReadSet(Out());
    ASSERT_EQ(6u, good.size());
    ASSERT_EQ(ReadSet(deployer->RepairFolder("PC01")), good);

    struct Case {
        const char* what;
        Break where;
        unsigned file;
        unsigned files;     // of the set's six
        const char* reason; // the set check's words in the log; nullptr: a broken transfer
        bool damage;        // software._ replaced by data that is no compressed hive
    };
    const Case cases[] = {
        {"after the first file's name", Break::AfterName, 0, 6, nullptr, false},
        {"in the middle of the second file", Break::MidFile, 1, 6, nullptr, false},
        {"between the second and third file", Break::BetweenFiles, 2, 6, nullptr, false},
        {"before <Finish>", Break::BeforeFinish, 0, 6, nullptr, false},
        {"a set of three hives ending in <Finish>", Break::None, 0, 3, "security._: missing", false},
        {"an empty repair folder", Break::None, 0, 0, "sam._: missing", false},
        {"software._ not compressed", Break::None, 0, 6, "software._: not compressed data", true},
    };
    size_t bytes = 41000;
    std::string lastAside;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTree(deployer->RepairFolder("PC01"));
        deployer->prepareFolders = !c.damage;
        if (c.damage) {
            Script script;
            script.fileBytes = bytes;
            deployer->MakeRepairFolder("PC01", script);
            ASSERT_TRUE(WriteWholeFile(deployer->RepairFolder("PC01") + "\\software._", "disk full"));
        }
        Run(bytes += 1000, c.where, c.file, c.files); // a new set that differs from the good one
        deployer->prepareFolders = true;
        EXPECT_EQ(static_cast<uint32_t>(kJobCopyError), Entry().result);
        if (c.reason) {
            EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_DATA), Entry().errorCode);
        }
        EXPECT_EQ(good, ReadSet(Out()));
        const std::string aside = KeptAsideFolder("PC01");
        ASSERT_FALSE(aside.empty());
        EXPECT_EQ(0u, Name(aside).find("%~"));
        std::string log = LogText();
        const std::string note = c.reason ? std::string("(not put in place: ") + c.reason + "; the files received are in "
                                          : std::string("(not put in place; the files received are in ");
        EXPECT_NE(std::string::npos, log.find(note + aside + ")")) << log;
        // Only the latest set kept aside: the folder and it, nothing else.
        EXPECT_EQ((std::set<std::string>{"PC01", Name(aside)}), Entries(Parent()));
        EXPECT_EQ(0, ReadDacl(aside).othersGranted);
        lastAside = aside;
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

    // The next good run puts its set in place, administrators-only, and leaves nothing beside it.
    RemoveTree(deployer->RepairFolder("PC01"));
    Run(50000);
    ASSERT_EQ(static_cast<uint32_t>(kJobSucceeded), Entry().result);
    EXPECT_EQ(ReadSet(deployer->RepairFolder("PC01")), ReadSet(Out()));
    EXPECT_EQ(std::set<std::string>{"PC01"}, Entries(Parent()));
    EXPECT_EQ(0, ReadDacl(Out()).othersGranted);
    for (const std::string& file : ListFiles(Out())) {
        const DaclReadBack dacl = ReadDacl(Out() + "\\" + file);
        EXPECT_TRUE(dacl.read) << file;
        EXPECT_EQ(0, dacl.othersGranted) << file;
    }
    EXPECT_EQ(std::string::npos, LogText().find("not put in place"));
}

// The console ended in the middle of a swap: the next fetch, or Apply ERD, completes or undoes
// it from the console's own record. Folders it did not make, named like its staging folders
// or like the old ".previous", are never renamed, emptied or handed to Restavo.
TEST_F(StagedSetTest, ASwapCutShortIsRepairedFromTheRecordAndPlantedFoldersAreNeverTaken)
{
    const std::vector<std::string> planted = {"%~0", "%~1", "PC01.previous", "PC01.incomplete"};
    Plant(planted);
    Run(20000);
    ASSERT_EQ(static_cast<uint32_t>(kJobSucceeded), Entry().result);
    const FileSet first = ReadSet(Out());

    // Ended with the folder renamed aside: the next fetch puts it back first, then breaks.
    StopNextSwapAfterStep(1);
    RemoveTree(deployer->RepairFolder("PC01"));
    Run(21000);
    EXPECT_FALSE(Exists(Out()));
    RemoveTree(deployer->RepairFolder("PC01"));
    Run(22000, Break::MidFile, 1);
    EXPECT_EQ(static_cast<uint32_t>(kJobCopyError), Entry().result);
    EXPECT_EQ(first, ReadSet(Out()));
    ExpectPlantedUntouched(planted);

    // Ended with the new set in place and the old one still aside: Apply ERD removes the old one.
    StopNextSwapAfterStep(2);
    RemoveTree(deployer->RepairFolder("PC01"));
    Run(23000);
    const FileSet second = ReadSet(Out());
    EXPECT_NE(first, second);
    static std::string started;
    SetProgramStarter([](const char* line, UINT) -> UINT {
        started = line;
        return 33;
    });
    ConsoleSettings settings = TheConsoleSettings();
    ApplyErd(nullptr, settings, "PC01");
    EXPECT_NE(std::string::npos, started.find("\"-d=" + Out())) << started;
    EXPECT_EQ(second, ReadSet(Out()));
    std::set<std::string> expected(planted.begin(), planted.end());
    expected.insert("PC01");
    EXPECT_EQ(expected, Entries(Parent())) << "the old set went, nothing else";

    // No set and no record: a planted ".previous" or staging-like folder is never adopted.
    RemoveTree(Out());
    started.clear();
    ApplyErd(nullptr, settings, "PC01");
    SetProgramStarter(nullptr);
    EXPECT_FALSE(Exists(Out()));
    ExpectPlantedUntouched(planted);
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
        EXPECT_EQ((std::set<std::string>{"PC01"}), Entries(Parent()));
    }
}

// Names that could be confused: a file and folders where staging folders would go (skipped,
// untouched), a computer whose name ends like the old staging suffix beside the computer it
// names, several computers sharing one folder, names like a staging folder, and an output
// folder as long as worked before staging.
TEST_F(StagedSetTest, StagingNamesCannotBeConfused)
{
    Run(30000);
    ASSERT_EQ(static_cast<uint32_t>(kJobSucceeded), Entry().result);
    ASSERT_TRUE(WriteWholeFile(Parent() + "\\%~0", "not a folder"));
    Plant({"%~1", "%~2"});
    Run(31000);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), Entry().result);
    EXPECT_EQ(ReadSet(deployer->RepairFolder("PC01")), ReadSet(Out()));
    ExpectPlantedUntouched({"%~1", "%~2"});
    std::string file;
    EXPECT_TRUE(ReadWholeFile(Parent() + "\\%~0", file));
    EXPECT_EQ("not a folder", file);

    auto add = [](const char* name) {
        auto entry = std::make_shared<ComputerEntry>(name);
        entry->SetInfo(kRoleWorkstation, "Windows NT 4.0 Workstation", "");
        entry->selected = 1;
        TheComputerList().Append(entry);
        return entry;
    };
    TheConsoleSettings().MaxDeployThread = 4;
    auto lookalike = add("PC01.INCOMPLETE");
    auto staged = add("%~3");
    Run(32000);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), Entry().result);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), lookalike->result);
    EXPECT_EQ(ReadSet(deployer->RepairFolder("PC01")), ReadSet(Out()));
    EXPECT_EQ(ReadSet(deployer->RepairFolder("PC01.INCOMPLETE")), ReadSet(Parent() + "\\PC01.INCOMPLETE"));
    EXPECT_NE(ReadSet(Out()), ReadSet(Parent() + "\\PC01.INCOMPLETE"));
    EXPECT_EQ(static_cast<uint32_t>(kJobOutputFolderError), staged->result);
    EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_NAME), staged->errorCode);
    TheComputerList().Clear();

    // A template that names a staging-like folder is refused before anything is sent.
    auto only = add("PC01");
    TheConsoleSettings().OutDir = Parent() + "\\%%~9";
    Run(30000);
    EXPECT_EQ(static_cast<uint32_t>(kJobOutputFolderError), only->result);
    EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_NAME), only->errorCode);

    // Two computers, one folder: one whole set in place, nothing left beside it.
    add("PC02");
    TheConsoleSettings().OutDir = folder.Path() + "\\shared\\all";
    Run(30000);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), TheComputerList().At(0)->result);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), TheComputerList().At(1)->result);
    FileSet shared = ReadSet(folder.Path() + "\\shared\\all");
    EXPECT_TRUE(shared == ReadSet(deployer->RepairFolder("PC01")) || shared == ReadSet(deployer->RepairFolder("PC02")));
    EXPECT_EQ(std::set<std::string>{"all"}, Entries(folder.Path() + "\\shared"));

    // An output folder whose files needed every one of the 259 characters before staging.
    std::string deep = folder.Path() + "\\deep";
    while (deep.size() + 5 + 1 + 10 < 259) deep += deep.size() + 5 + 1 + 10 + 20 < 259 ? "\\abcdefghijklmnopqr" : "\\x";
    deep.resize(259 - 1 - 10 - 5);
    if (deep.back() == '\\') deep.back() = 'y';
    TheComputerList().Clear();
    add("PC01");
    TheConsoleSettings().OutDir = deep + "\\%COMPUTERNAME%";
    Run(30000);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), TheComputerList().At(0)->result) << TheComputerList().At(0)->errorCode;
    EXPECT_EQ(ReadSet(deployer->RepairFolder("PC01")), ReadSet(deep + "\\PC01"));
}

namespace {

DWORD WINAPI CloseAfterAWhile(void* handle)
{
    Sleep(400);
    CloseHandle(static_cast<HANDLE>(handle));
    return 0;
}

} // namespace

// A rename that meets a file opened without sharing is tried again until the file is closed,
// and fails with the system's code when it stays open.
TEST(StagedSetRename, SharingViolationIsTriedAgainForABoundedTime)
{
    TempFolder folder("rnm");
    ASSERT_TRUE(WriteWholeFile(folder / "a", "set"));
    HANDLE open = CreateFileA((folder / "a").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, open);
    SetLastError(0);
    if (MoveFileA((folder / "a").c_str(), (folder / "probe").c_str())) {
        MoveFileA((folder / "probe").c_str(), (folder / "a").c_str());
        CloseHandle(open);
        GTEST_SKIP() << "this system renames open files";
    }
    const DWORD code = GetLastError();
    EXPECT_FALSE(RenameWithRetry(folder / "a", folder / "b", 300));
    EXPECT_EQ(code, GetLastError());
    HANDLE closer = CreateThread(nullptr, 0, CloseAfterAWhile, open, 0, nullptr);
    EXPECT_TRUE(RenameWithRetry(folder / "a", folder / "b", 5000));
    WaitForSingleObject(closer, INFINITE);
    CloseHandle(closer);
    EXPECT_TRUE(FileExists(folder / "b"));
}

// A drive's root as the output folder (a share's root is the same case; Wine maps no new
// drive letters, so the root of this test prefix's C: stands for it): staged inside it,
// checked, and swapped file by file, only the set's own files; a broken transfer leaves the
// root's set as it was, and the root's other files stay.
TEST_F(StagedSetTest, ADriveRootIsStagedToo)
{
    const std::string root = "C:";
    struct Cleanup {
        ~Cleanup()
        {
            for (const char* name : simagents::kRepairFileNames) DeleteFileA((std::string("C:\\") + name).c_str());
            DeleteFileA("C:\\keep.txt");
        }
    } cleanup;
    for (const char* name : simagents::kRepairFileNames)
        ASSERT_FALSE(Exists(root + "\\" + name)) << "the root holds a set already";
    ASSERT_TRUE(WriteWholeFile(root + "\\keep.txt", "not part of the set"));
    const std::set<std::string> before = Entries(root);
    TheConsoleSettings().OutDir = "C:\\";
    Run(30000);
    ASSERT_EQ(static_cast<uint32_t>(kJobSucceeded), Entry().result) << Entry().errorCode;
    auto readRootSet = [&] {
        FileSet found;
        for (const char* name : simagents::kRepairFileNames) {
            std::string bytes;
            if (ReadWholeFile(root + "\\" + name, bytes)) found[name] = Digest(bytes);
        }
        return found;
    };
    const FileSet good = readRootSet();
    EXPECT_EQ(ReadSet(deployer->RepairFolder("PC01")), good);
    std::set<std::string> after = before;
    for (const char* name : simagents::kRepairFileNames) after.insert(name);
    EXPECT_EQ(after, Entries(root)) << "the set beside what was there, nothing staged left";

    Run(31000, Break::MidFile, 1);
    EXPECT_EQ(static_cast<uint32_t>(kJobCopyError), Entry().result);
    EXPECT_EQ(good, readRootSet());
    RemoveTree(deployer->RepairFolder("PC01"));
    Run(32000);
    EXPECT_EQ(static_cast<uint32_t>(kJobSucceeded), Entry().result);
    EXPECT_EQ(ReadSet(deployer->RepairFolder("PC01")), readRootSet());
    EXPECT_EQ(after, Entries(root));
    std::string kept;
    EXPECT_TRUE(ReadWholeFile(root + "\\keep.txt", kept));
}
