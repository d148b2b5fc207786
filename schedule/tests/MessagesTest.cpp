#include <gtest/gtest.h>

#include "BoxRecorder.h"
#include "ScheduleMessages.h"

using namespace schedule;

TEST(ScheduleMessages, EachKindHasItsIconButtonsAndCaption)
{
    BoxRecorder boxes;
    ShowMessage(kError, nullptr, IDS_CANNOT_FIND_DLL);
    ShowMessage(kWarning, nullptr, IDS_NOTHING_TO_SCHEDULE);
    ShowMessage(kInformation, nullptr, IDS_GRANT_SUCCEEDED, "SERVER1\\admin");
    ShowMessage(kQuestion, nullptr, IDS_EMPTY_IMPORT_FILE);
    ShowMessage(kQuestionNo, nullptr, IDS_SYSTEM_ACCOUNT_WARNING);
    const std::vector<RecordedBox>& b = boxes.Boxes();
    ASSERT_EQ(b.size(), 5u);
    EXPECT_EQ(b[0].caption, "Error!");
    EXPECT_EQ(b[0].type, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    EXPECT_EQ(b[0].text, "Cannot find DLL");
    EXPECT_EQ(b[1].caption, "Warning!");
    EXPECT_EQ(b[1].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(b[1].text, "Nothing to shedule.\n Program name does not exist.");
    EXPECT_EQ(b[2].caption, "Information.");
    EXPECT_EQ(b[2].type, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(b[2].text, "The account SERVER1\\admin has been granted the 'Log On As A Service' right.");
    EXPECT_EQ(b[3].caption, "Warning.");
    EXPECT_EQ(b[3].type, static_cast<UINT>(MB_YESNO | MB_ICONEXCLAMATION));
    EXPECT_EQ(b[4].caption, "Warning.");
    EXPECT_EQ(b[4].type, static_cast<UINT>(MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2));
}

TEST(ScheduleMessages, TrueOnlyForOkOrYes)
{
    BoxRecorder boxes;
    boxes.Answer(IDNO);
    EXPECT_FALSE(ShowMessage(kQuestionNo, nullptr, IDS_SYSTEM_ACCOUNT_WARNING));
    boxes.Answer(IDYES);
    EXPECT_TRUE(ShowMessage(kQuestionNo, nullptr, IDS_SYSTEM_ACCOUNT_WARNING));
    EXPECT_TRUE(ShowMessage(kError, nullptr, IDS_PASSWORD_NOT_CONFIRMED));
}

TEST(ScheduleMessages, AnUnknownNumberShowsUnknownErrorAndLongArgumentsAreCut)
{
    EXPECT_EQ(MessageString(4242), "Unknown error");
    BoxRecorder boxes;
    std::string longName(3000, 'a');
    ShowMessage(kError, nullptr, IDS_GRANT_FAILED, longName.c_str());
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text.rfind("Unable to grant the 'Log On As a Service' right to aaa", 0), 0u);
    EXPECT_LT(boxes.Boxes()[0].text.size(), 1024u);
}

TEST(ScheduleMessages, TheSystemErrorBoxNamesTheOperationAndCarriesTheSystemText)
{
    BoxRecorder boxes;
    ShowSystemError(nullptr, "StartService", "Problem starting Schedule service.\n\n%s", ERROR_ACCESS_DENIED);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, "StartService");
    EXPECT_EQ(boxes.Boxes()[0].text, "Problem starting Schedule service.\n\n" + ErrorText(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(ErrorText(ERROR_ACCESS_DENIED).empty());
    EXPECT_EQ(boxes.Boxes()[0].type, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
}
