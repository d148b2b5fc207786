// The repair set the agent makes without rdisk.exe, made in this process: the 64-bit
// view's decision, the private folder and the all-or-nothing set.
#include <gtest/gtest.h>

#include <aclapi.h>

#include <cstring>

#include "Handle.h"
#include "HiveSet.h"
#include "NtComputer.h"
#include "SystemText.h"
#include "TestSupport.h"

using namespace hives;
using testing_support::ListFiles;
using testing_support::ReadWholeFile;
using testing_support::WriteWholeFile;
using testing_support::TempFolder;

namespace {

BOOL WINAPI Wow64Yes(HANDLE, PBOOL wow64)
{
    *wow64 = TRUE;
    return TRUE;
}
BOOL WINAPI Wow64No(HANDLE, PBOOL wow64)
{
    *wow64 = FALSE;
    return TRUE;
}
BOOL WINAPI Wow64Fails(HANDLE, PBOOL wow64)
{
    *wow64 = TRUE; // not to be believed: the call failed
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// True when the folder's DACL lets Everyone (S-1-1-0) or the Users group in.
bool OpenToEveryone(const std::string& path)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    win::LocalMemory owner(descriptor);
    if (!dacl) return true; // no DACL: open to all
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        PSID sid = &ace->SidStart;
        const SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(sid);
        const DWORD last = *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1);
        if (std::memcmp(authority, &world, sizeof(world)) == 0) return true;
        if (std::memcmp(authority, &nt, sizeof(nt)) == 0 && last == DOMAIN_ALIAS_RID_USERS) return true;
    }
    return false;
}

} // namespace

TEST(HiveSetTest, The64BitViewIsAskedForOnlyWhereTheSystemIs64Bit)
{
    EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_64KEY), HiveKeyView(true, nullptr));
    EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_64KEY), HiveKeyView(false, Wow64Yes)); // a 32-bit agent on x64
    EXPECT_EQ(0u, HiveKeyView(false, Wow64No));                                     // 32-bit Windows XP and later
    EXPECT_EQ(0u, HiveKeyView(false, nullptr));                                     // Windows NT 4.0, 2000
    EXPECT_EQ(0u, HiveKeyView(false, Wow64Fails));
    // This test program is a 64-bit one.
    EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_64KEY), HiveKeyView());
    EXPECT_NE(nullptr, FindIsWow64Process());
}

TEST(HiveSetTest, PrivateFolderIsOwnOpenOnlyToSystemAndAdministratorsAndGoesWithItsFiles)
{
    TempFolder parent("hs");
    std::string first;
    {
        PrivateFolder one, two;
        ASSERT_TRUE(one.Create(parent.Path())) << GetLastError();
        ASSERT_TRUE(two.Create(parent.Path() + "\\")) << GetLastError();
        EXPECT_NE(one.Path(), two.Path());
        EXPECT_EQ(0u, one.Path().find(parent.Path() + "\\Vantoro-")) << one.Path();
        // "<pid>-" then 128 random bits: the two names share nothing after the process id.
        const std::string own = win::Format("%s\\Vantoro-%lx-", parent.Path().c_str(), GetCurrentProcessId());
        ASSERT_EQ(own.size() + 32, one.Path().size()) << one.Path();
        EXPECT_NE(one.Path().substr(own.size(), 8), two.Path().substr(own.size(), 8));
        first = one.Path();
        ASSERT_TRUE(testing_support::WriteWholeFile(one.Path() + "\\sam._", "x"));
        ASSERT_TRUE(testing_support::WriteWholeFile(one.Path() + "\\" + kTemporaryHive, "y"));
        SetFileAttributesA((one.Path() + "\\sam._").c_str(), FILE_ATTRIBUTE_READONLY);

        // Wine keeps no DACL of its own: it shows the folder's Unix modes as one, with an
        // ACE for Everyone on an ordinary folder. The private folder must show none.
        EXPECT_TRUE(OpenToEveryone(parent.Path()));
        EXPECT_FALSE(OpenToEveryone(one.Path()));
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(first.c_str())) << "read-only files included";
    EXPECT_TRUE(ListFiles(parent.Path()).empty());

    PrivateFolder missingParent;
    EXPECT_FALSE(missingParent.Create(parent.Path() + "\\no\\such"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_TRUE(missingParent.Path().empty());
}

// The whole set is made by the real agent in ServiceTest; here the ways it is not made.
TEST(HiveSetTest, SetIsWholeOrNothingAndItsTextsSayWhich)
{
    ASSERT_TRUE(nt_computer::Prepare());
    win::Handle stop(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    // A stop before the first hive: nothing of the new set stays.
    PrivateFolder stopped;
    ASSERT_TRUE(stopped.Create());
    HiveSetResult aborted = MakeHiveSet(stopped.Path(), stop.Get());
    EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), aborted.error);
    EXPECT_EQ(nullptr, aborted.failedHive);
    EXPECT_TRUE(ListFiles(stopped.Path()).empty());
    EXPECT_EQ("Stopped while saving the hives", HiveSetOutcomeText(aborted));

    // A folder that is gone: the first hive fails and is named with the system's code.
    const std::string gone = stopped.Path();
    stopped.Remove();
    HiveSetResult failed = MakeHiveSet(gone, nullptr);
    ASSERT_FALSE(failed.Made());
    ASSERT_EQ(&kRepairHives[0], failed.failedHive);
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), failed.error);
    EXPECT_EQ("Unable to save the HKEY_LOCAL_MACHINE\\SAM hive without rdisk.exe: error 3", HiveSetOutcomeText(failed));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(gone.c_str()));

    // A setup.log put there first is neither written into nor taken for the set's.
    PrivateFolder planted;
    ASSERT_TRUE(planted.Create());
    ASSERT_TRUE(WriteWholeFile(planted.Path() + "\\" + kSetupLog, "planted"));
    HiveSetResult refused = MakeHiveSet(planted.Path(), nullptr);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), refused.error);
    EXPECT_EQ(std::vector<std::string>{kSetupLog}, ListFiles(planted.Path())); // the set's files went
    std::string log;
    ASSERT_TRUE(ReadWholeFile(planted.Path() + "\\" + kSetupLog, log));
    EXPECT_EQ("planted", log);
}

// Folders agents killed in their run left behind: the next agent removes those of processes
// that no longer run, and nothing it did not make.
TEST(HiveSetTest, StaleFoldersOfKilledAgentsGoAndNothingElse)
{
    TempFolder parent("stale");
    const DWORD gone = 0x7FFFFFF0; // no process has this id
    const struct {
        std::string name;
        std::vector<std::string> files;
        bool removed;
    } cases[] = {
        {win::Format("Vantoro-%lx-0123456789abcdef0123456789abcdef", gone), {"sam._", "setup.log", kTemporaryHive}, true},
        {win::Format("Vantoro-%lx-empty", gone), {}, true},
        {win::Format("Vantoro-%lx-mine", GetCurrentProcessId()), {"sam._"}, false}, // this process runs
        {win::Format("Vantoro-%lx-planted", gone), {"sam._", "keep.txt"}, false},   // a file not the agent's
        {"Vantoro-notanumber-x", {"sam._"}, false},
        {"Other-1-x", {"sam._"}, false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(CreateDirectoryA((parent / c.name).c_str(), nullptr));
        for (const std::string& file : c.files) ASSERT_TRUE(WriteWholeFile(parent / c.name + "\\" + file, "x"));
    }
    EXPECT_EQ(2, PrivateFolder::RemoveStale(parent.Path()));
    for (const auto& c : cases) {
        EXPECT_EQ(c.removed, GetFileAttributesA((parent / c.name).c_str()) == INVALID_FILE_ATTRIBUTES) << c.name;
    }
    EXPECT_EQ(std::vector<std::string>{"keep.txt"}, ListFiles(parent / cases[3].name));
}
