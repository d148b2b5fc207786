#include <gtest/gtest.h>

#include "Handle.h"
#include "RestoreEngine.h"
#include "RestoreFixtures.h"
#include "TestSupport.h"

using namespace restavo;
using namespace restavo_test;
using testing_support::ReadWholeFile;
using testing_support::TempFolder;
using testing_support::WriteWholeFile;

namespace {

HiveSelection Select(std::initializer_list<int> indexes)
{
    HiveSelection selection{};
    for (int i : indexes) selection[i] = 1;
    return selection;
}

std::string LocalName()
{
    char name[256] = {};
    DWORD size = sizeof(name);
    GetComputerNameA(name, &size);
    return name;
}

// A RestoreUi that answers the confirmation as told and keeps what was shown.
struct ScriptedUi : RestoreUi {
    bool answer = true;
    std::vector<std::string> errors, reports;
    std::vector<bool> warnings;
    int confirmations = 0;
    std::string confirmedTarget;
    HiveTimes confirmedTimes{};
    void ShowError(const char* text) override { errors.push_back(text); }
    bool Confirm(const std::string& target, const HiveSelection&, const char*, const HiveTimes& times) override
    {
        ++confirmations;
        confirmedTarget = target;
        confirmedTimes = times;
        return answer;
    }
    void ShowReport(const std::string& report, bool warning) override
    {
        reports.push_back(report);
        warnings.push_back(warning);
    }
};

class RestoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteTestKeys();
        RemoveLocalExpandedFiles();
    }
    void TearDown() override
    {
        DeleteTestKeys();
        RemoveLocalExpandedFiles();
    }
    TempFolder erd{"erd"};
    RecordingSystem system;
};

} // namespace

TEST(ReplaceInPathTest, LowerCasesThePathAndKeepsTheReplacementAsGiven)
{
    std::string path = "%SystemRoot%\\TEMP";
    ReplaceInPath(path, "%SystemDrive%", "C:");
    EXPECT_EQ(path, "%systemroot%\\temp");
    ReplaceInPath(path, "%SYSTEMROOT%", "C:\\WINNT");
    EXPECT_EQ(path, "C:\\WINNT\\temp");

    std::string overlapping = "aaaa";
    ReplaceInPath(overlapping, "aa", "b");
    EXPECT_EQ(overlapping, "bb");

    std::string growing = "x:x:x";
    ReplaceInPath(growing, ":", "$$");
    EXPECT_EQ(growing, "x$$x$$x");

    std::string longPath(200, 'a');
    ReplaceInPath(longPath, "a", "bb");
    EXPECT_EQ(longPath, std::string(259, 'b'));
}

TEST(ReadRegistryStringTest, TypeAndSizeAreChecked)
{
    DeleteTestKeys();
    SetTestString("Values", "Text", REG_SZ, "hello");
    SetTestString("Values", "Expand", REG_EXPAND_SZ, "%SystemRoot%");
    std::string keyPath = std::string(kTestRoot) + "\\Values";
    char buffer[16] = {};

    DWORD size = sizeof(buffer);
    EXPECT_TRUE(ReadRegistryString(HKEY_CURRENT_USER, "Text", REG_SZ, keyPath.c_str(), buffer, &size));
    EXPECT_STREQ(buffer, "hello");

    size = sizeof(buffer);
    EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, "Expand", REG_SZ, keyPath.c_str(), buffer, &size));
    size = sizeof(buffer);
    EXPECT_TRUE(ReadRegistryString(HKEY_CURRENT_USER, "Expand", REG_EXPAND_SZ, keyPath.c_str(), buffer, &size));
    EXPECT_STREQ(buffer, "%SystemRoot%");

    size = 4;
    EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, "Text", REG_SZ, keyPath.c_str(), buffer, &size));
    EXPECT_EQ(size, 6u);

    size = sizeof(buffer);
    EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, "Missing", REG_SZ, keyPath.c_str(), buffer, &size));
    EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, "Text", REG_SZ, "Software\\NoSuchKeyHere", buffer, &size));

    // A value stored without its terminator that fills the buffer exactly is refused, not read unterminated.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    win::RegKey owner(key);
    ASSERT_EQ(RegSetValueExA(key, "Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcd"), 4), ERROR_SUCCESS);
    char small[4] = {'x', 'x', 'x', 'x'};
    size = sizeof(small);
    EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, "Raw", REG_SZ, keyPath.c_str(), small, &size));
    size = sizeof(buffer);
    EXPECT_TRUE(ReadRegistryString(HKEY_CURRENT_USER, "Raw", REG_SZ, keyPath.c_str(), buffer, &size));
    EXPECT_STREQ(buffer, "abcd");
    DeleteTestKeys();
}

TEST_F(RestoreTest, CheckSourcesNeedsEverySelectedFileAndFormatsTheirTimes)
{
    WriteRepairFiles(erd.Path(), {"SAM", "SYSTEM"});
    HiveTimes times{};
    EXPECT_FALSE(CheckSources(erd.Path().c_str(), Select({}), times)) << "nothing selected";
    EXPECT_TRUE(CheckSources(erd.Path().c_str(), Select({0, 3}), times));
    EXPECT_EQ(std::string(times[0].data()).size(), 15u) << "years after 1999 print with three digits";
    EXPECT_FALSE(CheckSources(erd.Path().c_str(), Select({0, 1}), times)) << "SECURITY._ is missing";

    ASSERT_TRUE(CreateDirectoryA((erd / "DEFAULT._").c_str(), nullptr));
    EXPECT_FALSE(CheckSources(erd.Path().c_str(), Select({4}), times)) << "a folder is not a source file";

    // The year 2000 shows as 100; the time is the file's own (not converted to local time).
    SYSTEMTIME st = {2000, 2, 0, 29, 13, 5, 0, 0};
    FILETIME ft = {};
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    {
        win::Handle file(CreateFileA((erd / "SYSTEM._").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
        ASSERT_TRUE(SetFileTime(file.Get(), nullptr, nullptr, &ft));
    }
    EXPECT_TRUE(CheckSources(erd.Path().c_str(), Select({3}), times));
    EXPECT_STREQ(times[3].data(), "02/29/100 13:05");
}

TEST_F(RestoreTest, ErdAgeRuleIsThirtyOneDays)
{
    EXPECT_TRUE(IsErdOld(erd.Path().c_str())) << "no SYSTEM file: treated as old";
    WriteRepairFiles(erd.Path(), {"SYSTEM"});
    std::string system = erd / "SYSTEM._";
    EXPECT_FALSE(IsErdOld(erd.Path().c_str())) << "just written";
    SetAge(system, 31 * kDay);
    EXPECT_TRUE(IsErdOld(erd.Path().c_str()));
    SetAge(system, 30 * kDay + 23 * kHour);
    EXPECT_FALSE(IsErdOld(erd.Path().c_str()));
    SetAge(system, 400 * kDay);
    EXPECT_TRUE(IsErdOld(erd.Path().c_str()));
    SetAge(system, -5 * kDay);
    EXPECT_FALSE(IsErdOld(erd.Path().c_str())) << "a time in the future is not old";
}

TEST_F(RestoreTest, ExpandFileRunsTheSystemExpand)
{
    WriteRepairFiles(erd.Path(), {"SOFTWARE"});
    std::string target = erd / "SOFTWARE";
    ASSERT_TRUE(WriteWholeFile(target, "stale"));
    ASSERT_TRUE(ExpandFile((erd / "SOFTWARE._").c_str(), target.c_str()));
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(target, bytes));
    EXPECT_EQ(bytes, HiveBytes("SOFTWARE"));

    EXPECT_FALSE(ExpandFile((erd / "NONE._").c_str(), (erd / "NONE").c_str()));

    // A target that cannot be deleted stops the expansion before it starts.
    win::Handle locked(CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(locked.IsValid());
    EXPECT_FALSE(ExpandFile((erd / "SOFTWARE._").c_str(), target.c_str()));
}

TEST_F(RestoreTest, SourceComputerNameComesFromTheSavedSystemHive)
{
    EXPECT_EQ(ReadSourceComputerName(erd.Path().c_str()), "") << "no SYSTEM file";
    WriteSystemHive(erd.Path(), "PC01");
    EXPECT_EQ(ReadSourceComputerName(erd.Path().c_str()), "PC01");
    // The hive was unloaded and its scratch files removed: a second read works the same way.
    EXPECT_EQ(ReadSourceComputerName(erd.Path().c_str()), "PC01");
    EXPECT_FALSE(testing_support::FileExists(JoinPath(LocalTemp(), "sss.")));
    EXPECT_TRUE(RestoreWorkFolders().empty()) << "the private folder goes with the copy";
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SSS", 0, KEY_READ, &key), ERROR_SUCCESS);
    if (key) RegCloseKey(key);
}

TEST_F(RestoreTest, RemoteFoldersComeFromTheTargetsRegistry)
{
    // The target's .DEFAULT environment has only TEMP = %SystemRoot%\TEMP; SystemRoot is C:\WINNT.
    SetTestString("pc01\\HKU\\.DEFAULT\\Environment", "TEMP", REG_EXPAND_SZ, "%SystemRoot%\\TEMP");
    SetTestString("pc01\\HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", REG_SZ, "C:\\WINNT");
    TargetFolders folders = FindTargetFolders("pc01", system);
    EXPECT_EQ(folders.targetTemp, "C:\\WINNT\\temp");
    EXPECT_EQ(folders.remoteTemp, "\\\\pc01\\c$\\winnt\\temp");

    // A REG_SZ "temp" wins over TEMP.
    SetTestString("pc01\\HKU\\.DEFAULT\\Environment", "temp", REG_SZ, "%SystemDrive%\\Scratch");
    SetTestString("pc01\\HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", REG_SZ, "D:\\NT40");
    folders = FindTargetFolders("pc01", system);
    EXPECT_EQ(folders.targetTemp, "d:\\scratch");
    EXPECT_EQ(folders.remoteTemp, "\\\\pc01\\d$\\scratch");

    // Nothing readable: the fallback folder on the fallback system drive, with a single colon.
    system.refuseConnect = true;
    folders = FindTargetFolders("pc02", system);
    EXPECT_EQ(folders.targetTemp, "c:\\temp");
    EXPECT_EQ(folders.remoteTemp, "\\\\pc02\\c$\\temp");

    // Local: this computer's temporary folder, reached directly.
    folders = FindTargetFolders(nullptr, system);
    EXPECT_EQ(folders.targetTemp, LocalTemp());
    EXPECT_EQ(folders.remoteTemp, LocalTemp());
}

TEST_F(RestoreTest, LocalRestoreExpandsInPlaceAndReplacesEachSelectedHive)
{
    WriteRepairFiles(erd.Path(), {"SAM", "SECURITY", "SOFTWARE", "SYSTEM", "DEFAULT"});
    system.failReplaceKeys = {"SECURITY"};
    HiveSelection selection = Select({0, 1, 2, 4});
    RestoreDetails details;
    EXPECT_FALSE(RestoreHives(nullptr, nullptr, erd.Path().c_str(), selection, details, system));
    EXPECT_EQ(selection, Select({0, 2, 4}));
    EXPECT_EQ(details.failures[1], FailureText(kErrorReplacing, ERROR_ACCESS_DENIED));
    EXPECT_TRUE(system.connects.empty());
    EXPECT_TRUE(system.copies.empty());
    // Only the swapped files stay: the system loads them at the restart.
    EXPECT_EQ(LocalLeftovers(), (std::vector<std::string>{"SAM", "SOFTWARE", "DEFAULT"}));
    // They wait in the run's own folder, open to no one but the administrators and the system.
    const std::vector<std::string> work = RestoreWorkFolders();
    ASSERT_EQ(work.size(), 1u);
    const testing_support::DaclReadBack dacl = testing_support::ReadDacl(work[0]);
    EXPECT_TRUE(dacl.read);
    EXPECT_EQ(dacl.othersGranted, 0);
    system.replaces.erase(system.replaces.begin() + 1);
    ASSERT_EQ(system.replaces.size(), 3u);
    const char* names[] = {"SAM", "SOFTWARE", "DEFAULT"};
    const char* keys[] = {"SAM", "SOFTWARE", ".DEFAULT"};
    HKEY roots[] = {HKEY_LOCAL_MACHINE, HKEY_LOCAL_MACHINE, HKEY_USERS};
    for (int i = 0; i < 3; ++i) {
        const auto& replace = system.replaces[i];
        EXPECT_FALSE(replace.connected);
        EXPECT_EQ(replace.root, roots[i]);
        EXPECT_EQ(replace.key, keys[i]);
        EXPECT_EQ(replace.newFile, JoinPath(work[0], names[i]));
        EXPECT_EQ(replace.oldFile, JoinPath(work[0], names[i]) + "x");
        std::string bytes;
        ASSERT_TRUE(ReadWholeFile(replace.newFile, bytes));
        EXPECT_EQ(bytes, HiveBytes(names[i]));
    }
    for (const char* log : {"SAM.LOG", "SAM.LOG1", "SAM.LOG2"})
        EXPECT_FALSE(testing_support::FileExists(JoinPath(work[0], log))) << "the hive check's log is removed";
}

TEST_F(RestoreTest, RemoteRestoreCopiesThroughTheDriveShareAndLeavesNoLocalCopy)
{
    SetTestString("pc01\\HKU\\.DEFAULT\\Environment", "TEMP", REG_EXPAND_SZ, "%SystemRoot%\\TEMP");
    SetTestString("pc01\\HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", REG_SZ, "C:\\WINNT");
    TempFolder share("share");
    system.shareRoot = share.Path();
    ASSERT_TRUE(CreateDirectoryA((share / "winnt").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((share / "winnt\\temp").c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(share / "winnt\\temp\\SYSTEMx", "backup of a previous restore"));

    WriteRepairFiles(erd.Path(), {"SAM", "SYSTEM", "DEFAULT"});
    HiveSelection selection = Select({0, 3, 4});
    RestoreDetails details;
    EXPECT_TRUE(RestoreHives(nullptr, "pc01", erd.Path().c_str(), selection, details, system));

    ASSERT_EQ(system.copies.size(), 3u);
    EXPECT_EQ(system.copies[1].second, "\\\\pc01\\c$\\winnt\\temp\\SYSTEM");
    EXPECT_EQ(system.copies[2].second, "\\\\pc01\\c$\\winnt\\temp\\DEFAULT");
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(share / "winnt\\temp\\SYSTEM", bytes));
    EXPECT_EQ(bytes, HiveBytes("SYSTEM"));
    EXPECT_FALSE(testing_support::FileExists(share / "winnt\\temp\\SYSTEMx"));
    // The expanded SAM (and every other hive) does not stay in the administrator's folder.
    EXPECT_EQ(LocalLeftovers(), std::vector<std::string>{});

    ASSERT_EQ(system.replaces.size(), 3u);
    EXPECT_TRUE(system.replaces[1].connected);
    EXPECT_EQ(system.replaces[1].key, "SYSTEM");
    EXPECT_EQ(system.replaces[1].newFile, "C:\\WINNT\\temp\\SYSTEM");
    EXPECT_EQ(system.replaces[1].oldFile, "C:\\WINNT\\temp\\SYSTEMx");
    EXPECT_EQ(system.replaces[2].key, ".DEFAULT");
    // Folder lookups (HKU, HKLM), then one connection per hive to its own root.
    std::vector<std::string> expected = {"pc01/HKU", "pc01/HKLM", "pc01/HKLM", "pc01/HKLM", "pc01/HKU"};
    EXPECT_EQ(system.connects, expected);
}

// Between the check of a copy and its swap another program (an administrator's, even) tries
// to write it, move it away or delete it: each is refused and the checked bytes go over.
TEST_F(RestoreTest, ACheckedCopyCannotBeReplacedBeforeItIsSwappedIn)
{
    SetTestString("pc01\\HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", REG_SZ, "C:\\WINNT");
    TempFolder share("share");
    ASSERT_TRUE(CreateDirectoryA((share / "temp").c_str(), nullptr));
    struct Replacing : RecordingSystem {
        std::vector<bool> replaced;
        BOOL CopyToTarget(const char* source, const char* target) override
        {
            win::Handle write(CreateFileA(source, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
            const std::string away = std::string(source) + ".away";
            replaced.push_back(write.IsValid() || MoveFileExA(source, away.c_str(), 0) || DeleteFileA(source));
            return RecordingSystem::CopyToTarget(source, target);
        }
    } replacing;
    replacing.shareRoot = share.Path();
    WriteRepairFiles(erd.Path(), {"SAM", "SYSTEM"});
    HiveSelection selection = Select({0, 3});
    RestoreDetails details;
    EXPECT_TRUE(RestoreHives(nullptr, "pc01", erd.Path().c_str(), selection, details, replacing));
    EXPECT_EQ(replacing.replaced, (std::vector<bool>{false, false}));
    for (const char* name : {"SAM", "SYSTEM"}) {
        std::string bytes;
        ASSERT_TRUE(ReadWholeFile(share / (std::string("temp\\") + name), bytes)) << name;
        EXPECT_EQ(bytes, HiveBytes(name)) << name;
    }
    EXPECT_TRUE(RestoreWorkFolders().empty()) << "a remote restore keeps no private folder here";
}

TEST_F(RestoreTest, RemoteFailuresCarryTheirOwnTextsAndLeaveNoCopies)
{
    TempFolder share("share");
    system.shareRoot = share.Path(); // no "temp" folder on it: copies fail
    WriteRepairFiles(erd.Path(), {"SAM", "SECURITY"});
    auto restore = [&](std::initializer_list<int> hives, RestoreDetails& details) {
        HiveSelection selection = Select(hives);
        bool all = RestoreHives(nullptr, "pc09", erd.Path().c_str(), selection, details, system);
        EXPECT_EQ(LocalLeftovers(), std::vector<std::string>{}) << "no copy stays in the administrator's folder";
        return std::make_pair(all, selection);
    };
    RestoreDetails details;
    EXPECT_EQ(restore({0}, details), std::make_pair(false, Select({})));
    EXPECT_EQ(details.failures[0], FailureText(kErrorCopying, ERROR_PATH_NOT_FOUND));

    // Connected for the folders, refused for the hive: the copy on the target is removed.
    ASSERT_TRUE(CreateDirectoryA((share / "temp").c_str(), nullptr));
    system.refuseConnectAfter = 2;
    EXPECT_FALSE(restore({0}, details).first);
    EXPECT_EQ(details.failures[0], FailureText(kErrorConnecting, ERROR_BAD_NETPATH));
    EXPECT_FALSE(testing_support::FileExists(share / "temp\\SAM"));
    EXPECT_TRUE(system.replaces.empty());

    // A registry that answers neither connection: every hive fails, nothing is copied to a
    // guessed folder.
    system.refuseConnect = true;
    system.copies.clear();
    EXPECT_EQ(restore({0, 1}, details), std::make_pair(false, Select({})));
    EXPECT_EQ(details.failures[0], FailureText(kErrorConnecting, ERROR_BAD_NETPATH));
    EXPECT_EQ(details.failures[1], details.failures[0]);
    EXPECT_TRUE(system.copies.empty());
    EXPECT_TRUE(system.replaces.empty());
}

TEST_F(RestoreTest, RestoreCommandRestartsOnlyAfterFullSuccessAndReportsARefusedRestart)
{
    WriteRepairFiles(erd.Path(), {"SECURITY", "SOFTWARE"});
    ScriptedUi ui;
    RestoreRequest request{erd.Path(), LocalName(), Select({1, 2}), true};
    for (char& c : request.computer) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    system.failReplaceKeys = {"SECURITY"};
    EXPECT_EQ(RunRestoreCommand(nullptr, request, ui, system), RestoreOutcome::PartlyFailed);
    EXPECT_TRUE(system.shutdowns.empty()) << "no restart after a failure, even with the box ticked";
    system.failReplaceKeys.clear();

    // Everything succeeds: the local computer is asked to restart.
    EXPECT_EQ(RunRestoreCommand(nullptr, request, ui, system), RestoreOutcome::Restored);
    EXPECT_EQ(ui.reports.back(), "SECURITY - Success\nSOFTWARE - Success\n");
    EXPECT_FALSE(ui.warnings.back());
    EXPECT_TRUE(system.connects.empty()) << "the typed name is this computer in another case: local restore";
    ASSERT_EQ(system.shutdowns.size(), 1u);
    EXPECT_EQ(system.shutdowns[0].machine, "");
    EXPECT_EQ(system.shutdowns[0].message, "Restavo v 1.00: registry hives have been restored");
    EXPECT_EQ(system.shutdowns[0].timeout, 20u);
    EXPECT_TRUE(system.shutdowns[0].force);
    EXPECT_TRUE(system.shutdowns[0].restart);

    // A restart the system refuses is reported with its reason.
    system.shutdownResult = FALSE;
    EXPECT_EQ(RunRestoreCommand(nullptr, request, ui, system), RestoreOutcome::Restored);
    EXPECT_EQ(ui.reports.back(), "SECURITY - Success\nSOFTWARE - Success\n\n" +
                                     FailureText("The restart could not be started", ERROR_NOT_READY) + "\n");
    EXPECT_TRUE(ui.warnings.back());
}

TEST_F(RestoreTest, InputProblemsStopTheCommandBeforeAnythingChanges)
{
    WriteRepairFiles(erd.Path(), {"SYSTEM"});
    ScriptedUi ui;
    RunRestoreCommand(nullptr, {erd.Path(), "", Select({3}), false}, ui, system);
    RunRestoreCommand(nullptr, {erd.Path(), "\\\\", Select({3}), false}, ui, system);
    RunRestoreCommand(nullptr, {erd.Path(), "PC01", Select({}), false}, ui, system);
    EXPECT_EQ(RunRestoreCommand(nullptr, {erd.Path(), "PC01", Select({0, 3}), true}, ui, system),
              RestoreOutcome::InputError);
    std::vector<std::string> expected = {kComputerEmpty, kComputerEmpty, kSelectionEmpty, kSourceMissing};
    EXPECT_EQ(ui.errors, expected);
    EXPECT_EQ(ui.confirmations, 0);

    // Not confirmed: nothing is expanded or replaced.
    ui.answer = false;
    EXPECT_EQ(RunRestoreCommand(nullptr, {erd.Path(), "PC01", Select({3}), true}, ui, system),
              RestoreOutcome::NotConfirmed);
    EXPECT_EQ(ui.confirmations, 1);
    EXPECT_TRUE(ui.reports.empty());
    EXPECT_TRUE(system.replaces.empty());
    EXPECT_TRUE(system.connects.empty());
    EXPECT_FALSE(testing_support::FileExists(JoinPath(LocalTemp(), "SYSTEM")));
}

TEST_F(RestoreTest, TypedLeadingBackslashesAreDroppedBeforeTheNameIsUsed)
{
    SetTestString("pc01\\HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", REG_SZ, "C:\\WINNT");
    TempFolder share("share");
    system.shareRoot = share.Path();
    ASSERT_TRUE(CreateDirectoryA((share / "temp").c_str(), nullptr));
    WriteRepairFiles(erd.Path(), {"SAM"});
    ScriptedUi ui;
    EXPECT_EQ(RunRestoreCommand(nullptr, {erd.Path(), "\\\\pc01", Select({0}), true}, ui, system),
              RestoreOutcome::Restored);
    EXPECT_EQ(ui.confirmedTarget, "pc01");
    ASSERT_FALSE(system.copies.empty());
    EXPECT_EQ(system.copies[0].second, "\\\\pc01\\c$\\temp\\SAM");
    ASSERT_EQ(system.shutdowns.size(), 1u);
    EXPECT_EQ(system.shutdowns[0].machine, "pc01");
}

TEST(ReportTest, FiveFailuresEachShowTheirOwnText)
{
    RestoreDetails details;
    for (int i = 0; i < kHiveCount; ++i) details.failures[i] = FailureText(kErrorConnecting, 53 + i);
    RestoreReport report = BuildReport({1, 1, 1, 1, 1}, {}, details, "PC01");
    EXPECT_TRUE(report.warning);
    EXPECT_NE(report.text.find("DEFAULT - Error " + details.failures[4] + "\n"), std::string::npos);
    EXPECT_NE(report.text.find("SAM - Error " + details.failures[0] + "\n"), std::string::npos);
    EXPECT_NE(report.text.find("\nNo hive was swapped in on PC01. No restart was started.\n"), std::string::npos);
    EXPECT_EQ(BuildReport({0, 0, 1, 0, 0}, {0, 0, 1, 0, 0}, {}, "PC01").text, "SOFTWARE - Success\n");
}

namespace {

// The state of HKU\.DEFAULT\Environment's TEMP: whether the key and the value exist, the
// value's type and bytes.
std::string DefaultTempState()
{
    win::RegKey key;
    if (RegOpenKeyExA(HKEY_USERS, ".DEFAULT\\Environment", 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return "no key";
    DWORD type = 0;
    BYTE data[1024] = {};
    DWORD size = sizeof(data);
    if (RegQueryValueExA(key.Get(), "TEMP", nullptr, &type, data, &size) != ERROR_SUCCESS) return "no value";
    return std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), size);
}

} // namespace

TEST_F(RestoreTest, ThisComputersRegistryIsReachedByNameForReal)
{
    const std::string before = DefaultTempState();
    {
        // The computer's default environment is put back however this block ends.
        SavedRegistryValue saved(HKEY_USERS, ".DEFAULT\\Environment", "TEMP");
        std::string name = LocalName();
        std::string lower = name;
        CharLowerBuffA(lower.data(), static_cast<DWORD>(lower.size()));
        if (!saved.KeyExisted()) {
            // No .DEFAULT environment on this computer: the fallback folder on its system drive.
            TargetFolders folders = FindTargetFolders(name.c_str(), RealRestoreSystem());
            EXPECT_EQ(folders.targetTemp, "c:\\temp");
            EXPECT_EQ(folders.remoteTemp, "\\\\" + lower + "\\c$\\temp");
        }

        win::RegKey environment;
        ASSERT_EQ(RegCreateKeyExA(HKEY_USERS, ".DEFAULT\\Environment", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  environment.Receive(), nullptr),
                  ERROR_SUCCESS);
        const char temp[] = "%SystemRoot%\\TEMP";
        ASSERT_EQ(RegSetValueExA(environment.Get(), "TEMP", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(temp),
                                 sizeof(temp)),
                  ERROR_SUCCESS);
        char systemRoot[MAX_PATH] = {};
        DWORD size = sizeof(systemRoot);
        ASSERT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, "SystemRoot", REG_SZ,
                                       "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", systemRoot, &size));
        TargetFolders folders = FindTargetFolders(name.c_str(), RealRestoreSystem());
        EXPECT_EQ(folders.targetTemp, std::string(systemRoot) + "\\temp");
        std::string share = std::string(systemRoot).substr(2);
        CharLowerBuffA(share.data(), static_cast<DWORD>(share.size()));
        EXPECT_EQ(folders.remoteTemp, "\\\\" + lower + "\\" + static_cast<char>(tolower(systemRoot[0])) + "$" +
                                          share + "\\temp");
    }
    EXPECT_EQ(DefaultTempState(), before);
}

TEST(SavedRegistryValue, PutsBackTheKeyAndTheValueAsTheyWere)
{
    const std::string key = std::string(kTestRoot) + "\\Saved";
    auto state = [&] {
        win::RegKey opened;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, opened.Receive()) != ERROR_SUCCESS)
            return std::string("no key");
        char data[64] = {};
        DWORD type = 0, size = sizeof(data);
        if (RegQueryValueExA(opened.Get(), "V", nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
            return std::string("no value");
        return std::to_string(type) + ":" + std::string(data, size);
    };
    auto change = [] {
        SetTestString("Saved\\Inner", "x", REG_SZ, "y");
        SetTestString("Saved", "V", REG_SZ, "new");
    };
    DeleteTestKeys();
    { SavedRegistryValue saved(HKEY_CURRENT_USER, key, "V"); change(); }
    EXPECT_EQ(state(), "no key");
    SetTestString("Saved", "Other", REG_SZ, "o");
    { SavedRegistryValue saved(HKEY_CURRENT_USER, key, "V"); change(); }
    EXPECT_EQ(state(), "no value");
    SetTestString("Saved", "V", REG_EXPAND_SZ, "old");
    { SavedRegistryValue saved(HKEY_CURRENT_USER, key, "V"); change(); }
    EXPECT_EQ(state(), std::to_string(REG_EXPAND_SZ) + ":" + std::string("old", 4));
    DeleteTestKeys();
}

namespace {

// Another thread is another holder of the folder's guard.
struct GuardAttempt {
    std::string folder, problem;
    bool held = true;
};

DWORD WINAPI AttemptToHoldFolder(void* parameter)
{
    auto* a = static_cast<GuardAttempt*>(parameter);
    repairset::FolderGuard guard;
    a->held = HoldAndCheckFolder(a->folder.c_str(), Select({3}), guard, a->problem, 200);
    return 0;
}

} // namespace

// Confirmed, the restore holds the folder's guard and runs the set check before any swap: a
// folder a console is putting a set in, or a hive cut short, stops it with nothing replaced.
TEST_F(RestoreTest, AConfirmedRestoreHoldsTheFolderAndChecksTheSetBeforeAnySwap)
{
    WriteRepairFiles(erd.Path(), {"SYSTEM", "SOFTWARE"});
    ScriptedUi ui;
    {
        repairset::FolderGuard console;
        ASSERT_TRUE(console.Acquire(erd.Path(), 0));
        // Another thread is another holder: the check cannot take the folder in time.
        GuardAttempt attempt{erd.Path(), ""};
        HANDLE other = CreateThread(nullptr, 0, AttemptToHoldFolder, &attempt, 0, nullptr);
        WaitForSingleObject(other, INFINITE);
        CloseHandle(other);
        EXPECT_FALSE(attempt.held);
        EXPECT_EQ(attempt.problem, FailureText(kErrorFolderInUse, ERROR_BUSY));
    }
    std::string packed;
    ASSERT_TRUE(testing_support::ReadWholeFile(erd / "software._", packed));
    ASSERT_TRUE(testing_support::WriteWholeFile(erd / "software._", packed.substr(0, packed.size() - 40)));
    EXPECT_EQ(RunRestoreCommand(nullptr, {erd.Path(), LocalName(), Select({2, 3}), false}, ui, system),
              RestoreOutcome::SourceError);
    ASSERT_FALSE(ui.errors.empty());
    EXPECT_NE(std::string::npos, ui.errors.back().find("SOFTWARE._: cut short")) << ui.errors.back();
    EXPECT_TRUE(system.replaces.empty());
    EXPECT_TRUE(system.copies.empty());
}
