// The administrators-only descriptor, read back from what it was put on.
#include <gtest/gtest.h>

#include <string>

#include "Handle.h"
#include "Security.h"
#include "TestSupport.h"

TEST(AdminOnlySecurity, WhatItIsPutOnGrantsNoOneButAdministratorsAndSystem)
{
    testing_support::TempFolder dir;
    win::AdminOnlySecurity folderSecurity(win::AdminOnlySecurity::Kind::Folder);
    ASSERT_TRUE(folderSecurity.IsValid());
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(folderSecurity.Descriptor(), &control, &revision));
    EXPECT_EQ((control & SE_DACL_PROTECTED) != 0, win::SystemKnowsProtectedDacl());

    const std::string folder = dir / "private";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), folderSecurity.Attributes()));
    const std::string file = dir / "hive._";
    const std::string plain = dir / "plain.txt";
    ASSERT_TRUE(testing_support::WriteWholeFile(file, "data"));
    ASSERT_TRUE(testing_support::WriteWholeFile(plain, "data"));
    ASSERT_TRUE(win::MakeAdminOnly(file.c_str(), false));

    const auto onFolder = testing_support::ReadDacl(folder);
    ASSERT_TRUE(onFolder.read);
    EXPECT_EQ(onFolder.othersGranted, 0);
    EXPECT_TRUE(onFolder.inheritable);
    const auto onFile = testing_support::ReadDacl(file);
    ASSERT_TRUE(onFile.read);
    EXPECT_EQ(onFile.othersGranted, 0);
    // Under Wine a file made with the default security grants Everyone reading: the read-back
    // tells the two apart.
    EXPECT_GT(testing_support::ReadDacl(plain).othersGranted, 0);
}

// The token check the agent makes of its pipe's client: this process's token (an
// administrator's, here), the same token with the group kept only to deny, and none.
TEST(TokenHasAdministrators, OnlyAnEnabledAdministratorsGroupCounts)
{
    HANDLE raw = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY, &raw));
    win::Handle process(raw);
    win::TrustedSids sids;
    SID_AND_ATTRIBUTES denyOnly = {sids.Administrators(), 0};
    HANDLE restrictedRaw = nullptr;
    ASSERT_TRUE(CreateRestrictedToken(process.Get(), 0, 1, &denyOnly, 0, nullptr, 0, nullptr, &restrictedRaw));
    win::Handle restricted(restrictedRaw);
    const struct {
        const char* what;
        HANDLE token;
        bool administrator;
    } cases[] = {
        {"the process's own token", process.Get(), true},
        {"Administrators for deny only", restricted.Get(), false},
        {"no token", nullptr, false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.administrator, win::TokenHasAdministrators(c.token)) << c.what;
}
