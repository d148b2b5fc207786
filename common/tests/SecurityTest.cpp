// The administrators-only descriptor, read back from what it was put on.
#include <gtest/gtest.h>

#include <string>

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
