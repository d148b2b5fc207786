#include "HelpFileLookup.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

using testing_support::TempFolder;
using testing_support::WriteWholeFile;

TEST(FindHelpFile, PreferredThenAnyHelpFileThenTheBareName)
{
    TempFolder folder("hlp");
    EXPECT_EQ("Scheduler.hlp", win::FindHelpFile(folder.Path(), "Scheduler.hlp"));

    ASSERT_TRUE(CreateDirectoryA((folder / "Folder.hlp").c_str(), nullptr)); // a folder is no help file
    EXPECT_EQ("Scheduler.hlp", win::FindHelpFile(folder.Path(), "Scheduler.hlp"));

    ASSERT_TRUE(WriteWholeFile(folder / "Other.hlp", "x"));
    EXPECT_EQ(folder / "Other.hlp", win::FindHelpFile(folder.Path(), "Scheduler.hlp"));

    ASSERT_TRUE(WriteWholeFile(folder / "Scheduler.hlp", "x"));
    EXPECT_EQ(folder / "Scheduler.hlp", win::FindHelpFile(folder.Path(), "Scheduler.hlp"));
}

} // namespace
