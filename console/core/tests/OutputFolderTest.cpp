#include "ConsoleState.h"
#include "OutputFolder.h"
#include "Settings.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using testing_support::TempFolder;

namespace {

// 7 December 1999, 14:03:55 local time (a Tuesday).
time_t December7()
{
    struct tm when {};
    when.tm_year = 99;
    when.tm_mon = 11;
    when.tm_mday = 7;
    when.tm_hour = 14;
    when.tm_min = 3;
    when.tm_sec = 55;
    when.tm_isdst = -1;
    return mktime(&when);
}

std::string Expand(const std::string& templ, const char* name = "SERVER1", time_t when = December7())
{
    std::string path = "junk";
    EXPECT_TRUE(ExpandOutputFolder(templ, name, when, path)) << templ;
    return path;
}

TEST(SplitAtTokenTest, HeadAndTail)
{
    EXPECT_TRUE(SplitAtToken("%DD%", "A%DD%B%DD%"));
    EXPECT_EQ(TemplateHead(), "A");
    EXPECT_EQ(TemplateTail(), "B%DD%");
    EXPECT_FALSE(SplitAtToken("%dd%", "A%DD%B"));
    EXPECT_EQ(TemplateHead(), "A%DD%B");
    EXPECT_EQ(TemplateTail(), "");
    std::string longTail(400, 't');
    EXPECT_TRUE(SplitAtToken("%MM%", "x%MM%" + longTail));
    EXPECT_EQ(TemplateTail().size(), 260u) << "the tail is cut to 260 characters";
}

TEST(ExpandOutputFolderTest, ExamplesOfTheTemplate)
{
    EXPECT_EQ(Expand("C:\\Prog\\%COMPUTERNAME%"), "C:\\Prog\\SERVER1");
    EXPECT_EQ(Expand("D:\\ERD\\%COMPUTERNAME%\\%YYYY%-%MM%-%DD%"), "D:\\ERD\\SERVER1\\1999-12-07");
    EXPECT_EQ(Expand("D:\\ERD\\%YY%"), "D:\\ERD\\1999") << "four digits, like %YYYY%";
    EXPECT_EQ(Expand("D:\\ERD\\%AA%\\%COMPUTERNAME%"), "D:\\ERD\\Tuesday\\SERVER1");
    EXPECT_EQ(Expand("D:\\%COMPUTERNAME%\\%COMPUTERNAME%"), "D:\\SERVER1\\SERVER1");
}

TEST(ExpandOutputFolderTest, LeftoverPercentSignsAreDateConversions)
{
    // Lower-case tokens are not replaced; they reach the date formatting unchanged, where
    // "%c", "%d" and friends are conversions of their own and unknown ones drop out.
    EXPECT_EQ(Expand("D:\\%dd%"), "D:\\07d");
    EXPECT_EQ(Expand("D:\\%yy%"), "D:\\99y");
    EXPECT_EQ(Expand("D:\\100%%\\%COMPUTERNAME%"), "D:\\100%\\SERVER1");
    EXPECT_EQ(Expand("D:\\%H-%M"), "D:\\14-03");
    std::string changed = Expand("D:\\100%\\%COMPUTERNAME%");
    EXPECT_NE(changed, "D:\\100%\\SERVER1") << "a single percent sign is changed by the formatting";
    EXPECT_EQ(changed, "D:\\100SERVER1");
    EXPECT_EQ(Expand("D:\\end%"), "D:\\end");
}

TEST(ExpandOutputFolderTest, TooLongPathFailsClearly)
{
    std::string path = "junk";
    std::string templ = "C:\\" + std::string(250, 'a') + "\\%COMPUTERNAME%"; // 253 + 1 + 15 > 259
    EXPECT_FALSE(ExpandOutputFolder(templ, "ABCDEFGHIJKLMNO", December7(), path));
    EXPECT_TRUE(path.empty()) << "never a cut path";
    std::string fits = "C:\\" + std::string(240, 'a') + "\\%COMPUTERNAME%"; // 259 characters
    ASSERT_TRUE(ExpandOutputFolder(fits, "ABCDEFGHIJKLMNO", December7(), path));
    EXPECT_EQ(path.size(), 259u);
    EXPECT_FALSE(ExpandOutputFolder("", "X", December7(), path));
    // %A grows the text at the formatting step.
    EXPECT_FALSE(ExpandOutputFolder(std::string(200, 'b') + "%A%A%A%A%A%A%A%A%A%A", "X", December7(), path));
}

TEST(ExpandOutputFolderTest, UsesTheConsoleTemplateAndClock)
{
    TheConsoleSettings().OutDir = "E:\\Out\\%COMPUTERNAME%\\%MM%";
    SetConsoleClock(December7);
    std::string path;
    ASSERT_TRUE(ExpandOutputFolder("PC7", path));
    EXPECT_EQ(path, "E:\\Out\\PC7\\12");
    ASSERT_TRUE(ExpandOutputFolder("", path));
    EXPECT_EQ(path, "E:\\Out\\\\12") << "an empty name";
    SetConsoleClock(nullptr);
}

TEST(CreateFolderPathTest, CreatesMissingParentsInOrder)
{
    TempFolder root("out");
    std::string path = root / "ERD\\SERVER1\\1999-12-07";
    EXPECT_EQ(CreateFolderPath(path), 0u);
    DWORD attributes = GetFileAttributesA(path.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(CreateFolderPath(path), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(CreateFolderPath(root / "ERD\\Other\\"), 0u) << "trailing backslash";
    EXPECT_NE(GetFileAttributesA((root / "ERD\\Other").c_str()), INVALID_FILE_ATTRIBUTES);

    // A file in the way stops the creation with the system's code.
    ASSERT_TRUE(testing_support::WriteWholeFile(root / "file", "x"));
    EXPECT_EQ(CreateFolderPath(root / "file\\below"), static_cast<DWORD>(ERROR_ALREADY_EXISTS)); // at "file"
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(CreateFolderPath("relative"), 0u);
    RemoveDirectoryA("relative");
    EXPECT_EQ(CreateFolderPath(""), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    // A template that expands to an illegal name fails with the system's code and leaves
    // nothing behind.
    std::string path2;
    ASSERT_TRUE(ExpandOutputFolder(root.Path() + "\\bad<%COMPUTERNAME%>\\x", "PC", December7(), path2));
    EXPECT_NE(CreateFolderPath(path2), 0u);
    EXPECT_EQ(GetFileAttributesA((root / "bad<PC>").c_str()), INVALID_FILE_ATTRIBUTES);

    // A drive that does not exist: the system's code for the missing path (Windows says 3,
    // Wine 2), kept as the last error too, and nothing made.
    const DWORD noDrive = CreateFolderPath("Q:\\no\\such\\drive");
    EXPECT_EQ(GetLastError(), noDrive);
    EXPECT_TRUE(noDrive == ERROR_PATH_NOT_FOUND || noDrive == ERROR_FILE_NOT_FOUND) << noDrive;
    EXPECT_EQ(GetFileAttributesA("Q:\\no"), INVALID_FILE_ATTRIBUTES);
}

} // namespace
