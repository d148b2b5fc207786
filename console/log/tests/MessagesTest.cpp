#include "ConsoleState.h"
#include "ConsoleStrings.h"
#include "LogTestSupport.h"
#include "Messages.h"

#include <gtest/gtest.h>

using namespace console_test;

namespace {

TEST(MessagesTest, KindsStylesAndAnswers)
{
    Watch watch;
    EXPECT_TRUE(ShowMessage(kMessageStop, nullptr, "Caption", IDS_NOT_INSTALLED));
    EXPECT_TRUE(ShowMessage(kMessageExclamation, nullptr, "C", IDS_JOB_TIMEOUT));
    EXPECT_TRUE(ShowMessage(kMessageInformation, nullptr, "C", IDS_JOB_TIMEOUT));
    g_boxAnswer = IDYES;
    EXPECT_TRUE(ShowMessage(kMessageYesNo, nullptr, "C", IDS_JOB_TIMEOUT));
    g_boxAnswer = IDNO;
    EXPECT_FALSE(ShowMessage(kMessageYesNoDefaultNo, nullptr, "C", IDS_JOB_TIMEOUT));
    ASSERT_EQ(g_boxes.size(), 5u);
    EXPECT_EQ(g_boxes[0].text, "Program has not been installed correctly");
    EXPECT_EQ(g_boxes[0].caption, "Caption");
    EXPECT_EQ(g_boxes[0].style, static_cast<UINT>(MB_ICONHAND));
    EXPECT_EQ(g_boxes[1].style, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(g_boxes[2].style, static_cast<UINT>(MB_ICONASTERISK));
    EXPECT_EQ(g_boxes[3].style, static_cast<UINT>(MB_ICONEXCLAMATION | MB_YESNO));
    EXPECT_EQ(g_boxes[4].style, static_cast<UINT>(MB_ICONEXCLAMATION | MB_YESNO | MB_DEFBUTTON2));
}

TEST(MessagesTest, FormattingAndMissingStrings)
{
    Watch watch;
    ShowMessage(kMessageStop, nullptr, "Corvane Salvora", IDS_PRODUCT_ERROR, "Corvane Annalix", "It broke", 31);
    ShowMessage(kMessageStop, nullptr, "Open Log File", IDS_OPEN_LOG_FILE_FAILED);
    ShowMessage(kMessageStop, nullptr, "C", IDS_ANNALIX_UNAVAILABLE);
    std::string huge(5000, 'h');
    ShowMessage(kMessageStop, nullptr, "C", IDS_PRODUCT_ERROR, huge.c_str(), "x", 1);
    ASSERT_EQ(g_boxes.size(), 4u);
    EXPECT_EQ(g_boxes[0].text, "Corvane Annalix - It broke (31)");
    EXPECT_EQ(g_boxes[1].text, "Unknown Error") << "string 45 has no entry";
    EXPECT_EQ(g_boxes[2].text, "Annalix service is unavailable. \nMake sure Annalix service is running.");
    EXPECT_EQ(g_boxes[3].text.size(), 1019u) << "bounded to its 1,020-byte buffer";
}

TEST(MessagesTest, UnattendedShowsNothing)
{
    Watch watch;
    SetUnattended(true);
    g_boxAnswer = IDNO;
    EXPECT_TRUE(ShowMessage(kMessageYesNo, nullptr, "C", IDS_JOB_TIMEOUT));
    ShowInfo(nullptr, "C", "info");
    ShowError(nullptr, "C", "error");
    ShowSystemError(nullptr, "C", nullptr, 5);
    SetUnattended(false);
    EXPECT_TRUE(g_boxes.empty());

    ShowInfo(nullptr, "Info caption", "info");
    ShowError(nullptr, "Error caption", "error");
    ASSERT_EQ(g_boxes.size(), 2u);
    EXPECT_EQ(g_boxes[0].style, static_cast<UINT>(MB_ICONASTERISK));
    EXPECT_EQ(g_boxes[1].style, static_cast<UINT>(MB_ICONHAND));
    EXPECT_EQ(g_boxes[1].caption, "Error caption");
}

TEST(MessagesTest, SystemErrors)
{
    Watch watch;
    std::string denied = SystemMessageText(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(denied.empty());
    EXPECT_EQ(denied.back(), '\n') << "the system's text as it comes";
    EXPECT_EQ(SystemMessageText(0x2FFFFFFF), "");

    SetLastError(ERROR_ACCESS_DENIED);
    ShowSystemError(nullptr, "Load Restavo", nullptr, 0);
    ShowSystemError(nullptr, "Load Scheduler", "Cannot start: %s", ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(g_boxes.size(), 2u);
    EXPECT_EQ(g_boxes[0].text, denied);
    EXPECT_EQ(g_boxes[0].caption, "Load Restavo");
    EXPECT_EQ(g_boxes[1].text, "Cannot start: " + SystemMessageText(ERROR_FILE_NOT_FOUND));

    std::string net = NetErrorText(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(net.empty());
    EXPECT_NE(net.back(), '\n');
    EXPECT_NE(net.back(), ' ');
    EXPECT_EQ(NetErrorText(0x2FFFFFFF), std::to_string(0x2FFFFFFF));
}

} // namespace
