#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "SystemText.h"

TEST(SystemText, CopyTextNeverWritesPastTheBufferAndSaysWhenItCut)
{
    char buffer[8];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_TRUE(win::CopyText(buffer, 8, "1234567"));
    EXPECT_STREQ(buffer, "1234567");
    EXPECT_FALSE(win::CopyText(buffer, 8, "123456789"));
    EXPECT_STREQ(buffer, "1234567");
    EXPECT_TRUE(win::CopyText(buffer, 8, nullptr));
    EXPECT_STREQ(buffer, "");
    EXPECT_FALSE(win::CopyText(buffer, 0, "a"));
}

TEST(SystemText, FormatHasNoLengthLimit)
{
    std::string long_text(5000, 'a');
    EXPECT_EQ(win::Format("<%s>%d", long_text.c_str(), 7), "<" + long_text + ">7");
}

TEST(SystemText, SystemMessageTextHasNoTrailingLineBreak)
{
    std::string text = win::SystemMessageText(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.back(), '\r');
}

TEST(SystemText, MissingStringTableEntryGivesTheFallback)
{
    EXPECT_EQ(win::LoadResourceString(GetModuleHandleA(nullptr), 64999, "Unknown Error"), "Unknown Error");
}
