#include <gtest/gtest.h>

#include "BoxRecorder.h"
#include "SchedulerJob.h"

using namespace schedule;

namespace {

SYSTEMTIME At(WORD hour, WORD minute, WORD second = 0, WORD weekday = 2)
{
    SYSTEMTIME t = {};
    t.wYear = 2026;
    t.wMonth = 12;
    t.wDay = 8;
    t.wDayOfWeek = weekday;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    return t;
}

JobPageValues Values(ScheduleChoice choice, std::vector<int> days = {})
{
    JobPageValues values;
    values.program = "C:\\P\\x.exe";
    values.importFile = "C:\\l.txt";
    values.choice = choice;
    values.selectedDays = std::move(days);
    return values;
}

} // namespace

TEST(JobCommand, QuotesProgramAndImportFileAndLeavesNoTrailingBlank)
{
    std::string command = ComposeCommandText("C:\\P\\x.exe", "-a -b", "C:\\l.txt");
    EXPECT_EQ(command, "\"C:\\P\\x.exe\" -a -b \"C:\\l.txt\"");
    EXPECT_EQ(command.size(), 29u);
    EXPECT_EQ(ComposeCommandText("C:\\P\\x.exe", "", ""), "\"C:\\P\\x.exe\"");
    EXPECT_EQ(ComposeCommandText("x.exe", "", "l.txt"), "\"x.exe\" \"l.txt\"");

    std::wstring wide;
    ASSERT_TRUE(ConvertCommand(command, wide));
    EXPECT_EQ(wide, L"\"C:\\P\\x.exe\" -a -b \"C:\\l.txt\"");
}

TEST(JobCommand, FieldsAtTheirFullLengthsMakeOneCommand)
{
    std::string program(kMaxProgram, 'p');
    std::string parameters(kMaxParameters, 'a');
    std::string import(kMaxImportFile, 'i');
    std::string command = ComposeCommandText(program, parameters, import);
    EXPECT_EQ(command.size(), kMaxProgram + kMaxParameters + kMaxImportFile + 6);
    std::wstring wide;
    ASSERT_TRUE(ConvertCommand(command, wide));
    EXPECT_EQ(wide.size(), command.size());
}

TEST(JobCommand, LeavingTheProgramPageChecksProgramAndImportFile)
{
    ScheduleServiceLink link;
    JobSubmission job(link);
    BoxRecorder boxes;

    JobPageValues values = Values(ScheduleChoice::Every);
    values.program.clear();
    EXPECT_FALSE(job.ComposeCommand(nullptr, values));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Nothing to shedule.\n Program name does not exist.");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Warning!");

    boxes.Clear();
    values = Values(ScheduleChoice::Every);
    values.importFile.clear();
    boxes.Answer(IDNO);
    EXPECT_FALSE(job.ComposeCommand(nullptr, values));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text,
              "Program requires non-empty import file.\nAre you sure you want empty import file?");
    EXPECT_EQ(boxes.Boxes()[0].type, static_cast<UINT>(MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2));
    EXPECT_TRUE(job.Job().command.empty());

    boxes.Answer(IDYES);
    EXPECT_TRUE(job.ComposeCommand(nullptr, values));
    EXPECT_EQ(job.Job().command, L"\"C:\\P\\x.exe\"");

    boxes.Clear();
    job.SetImportNeeded(0);
    EXPECT_TRUE(job.ComposeCommand(nullptr, values));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(JobSchedule, TwelveHourTimesAndNow)
{
    SYSTEMTIME any = At(8, 0);
    EXPECT_EQ(ComputeJobTime(ScheduleChoice::Every, 12, 30, false, any), 1800000u);
    EXPECT_EQ(ComputeJobTime(ScheduleChoice::Every, 12, 30, true, any), 45000000u);
    EXPECT_EQ(ComputeJobTime(ScheduleChoice::Today, 1, 5, true, any), 47100000u);
    EXPECT_EQ(ComputeJobTime(ScheduleChoice::Next, 11, 59, true, any), 86340000u);
    EXPECT_EQ(ComputeJobTime(ScheduleChoice::Now, 12, 0, false, At(9, 15, 20)), 33380000u);
}

TEST(JobSchedule, NowInTheDaysLastMinuteRunsJustAfterMidnight)
{
    ScheduleServiceLink link;
    JobSubmission job(link);
    BoxRecorder boxes;
    struct Case { WORD hour, minute, second; DWORD jobTime; };
    for (Case c : {Case{23, 58, 59, 86399000u}, Case{23, 59, 0, 0u}, Case{23, 59, 1, 1000u},
                   Case{23, 59, 59, 59000u}}) {
        job.SetClock([c] { return At(c.hour, c.minute, c.second); });
        ASSERT_TRUE(job.ComputeSchedule(nullptr, Values(ScheduleChoice::Now)));
        EXPECT_EQ(job.Job().jobTime, c.jobTime) << c.hour << ":" << c.minute << ":" << c.second;
        EXPECT_LT(job.Job().jobTime, 86400000u);
        EXPECT_EQ(job.Job().daysOfWeek, 0);
        EXPECT_EQ(job.Job().daysOfMonth, 0u);
    }
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(JobSchedule, EveryAndNextFillTheDaySets)
{
    const std::vector<int> mondayFridayAnd15 = {0, 4, 7 + 14};
    JobRecord every;
    ASSERT_TRUE(ComputeDays(ScheduleChoice::Every, mondayFridayAnd15, At(8, 0), every));
    EXPECT_EQ(every.daysOfWeek, 0x11);
    EXPECT_EQ(every.daysOfMonth, 0x4000u);
    EXPECT_EQ(every.flags, kRunPeriodically);

    JobRecord next;
    ASSERT_TRUE(ComputeDays(ScheduleChoice::Next, mondayFridayAnd15, At(8, 0), next));
    EXPECT_EQ(next.daysOfWeek, 0x11);
    EXPECT_EQ(next.daysOfMonth, 0x4000u);
    EXPECT_EQ(next.flags, 0);

    JobRecord lastDays;
    ASSERT_TRUE(ComputeDays(ScheduleChoice::Next, {6, 37}, At(8, 0), lastDays));
    EXPECT_EQ(lastDays.daysOfWeek, 0x40);
    EXPECT_EQ(lastDays.daysOfMonth, 0x40000000u);

    JobRecord none;
    none.daysOfWeek = 3;
    ASSERT_TRUE(ComputeDays(ScheduleChoice::Today, {1, 2}, At(8, 0), none));
    EXPECT_EQ(none.daysOfWeek, 0);
    EXPECT_EQ(none.daysOfMonth, 0u);
}

TEST(JobSchedule, TomorrowRunsOnceOnTheFollowingWeekday)
{
    JobRecord job;
    ASSERT_TRUE(ComputeDays(ScheduleChoice::Tomorrow, {}, At(8, 0, 0, 0), job));   // Sunday
    EXPECT_EQ(job.daysOfWeek, 0x01);                                                // Monday
    EXPECT_EQ(job.flags, 0);
    EXPECT_EQ(job.daysOfMonth, 0u);
    ASSERT_TRUE(ComputeDays(ScheduleChoice::Tomorrow, {}, At(8, 0, 0, 6), job));   // Saturday
    EXPECT_EQ(job.daysOfWeek, 0x40);                                                // Sunday
    ASSERT_TRUE(ComputeDays(ScheduleChoice::Tomorrow, {}, At(8, 0, 0, 1), job));   // Monday
    EXPECT_EQ(job.daysOfWeek, 0x02);                                                // Tuesday
}

TEST(JobSchedule, AFailedEveryFollowedByNextSubmitsOnlyTheNewDays)
{
    ScheduleServiceLink link;
    JobSubmission job(link);
    job.SetClock([] { return At(8, 0); });
    BoxRecorder boxes;

    EXPECT_FALSE(job.ComputeSchedule(nullptr, Values(ScheduleChoice::Every)));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Select the day(s) this command will run.");
    EXPECT_EQ(boxes.Boxes()[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONEXCLAMATION));

    ASSERT_TRUE(job.ComputeSchedule(nullptr, Values(ScheduleChoice::Every, {0})));
    EXPECT_EQ(job.Job().flags, kRunPeriodically);
    ASSERT_TRUE(job.ComputeSchedule(nullptr, Values(ScheduleChoice::Next, {1})));
    EXPECT_EQ(job.Job().daysOfWeek, 0x02);
    EXPECT_EQ(job.Job().daysOfMonth, 0u);
    EXPECT_EQ(job.Job().flags, 0);
}

TEST(JobSchedule, TodayAtOrBeforeTheCurrentMinuteWarnsAndCarriesOn)
{
    ScheduleServiceLink link;
    JobSubmission job(link);
    job.SetClock([] { return At(10, 0, 30); });
    BoxRecorder boxes;

    JobPageValues values = Values(ScheduleChoice::Today);
    values.hours = 10;
    values.minutes = 0;
    EXPECT_TRUE(job.ComputeSchedule(nullptr, values));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text,
              "The time you have selected has already passed.  The command will run tomorrow.");
    EXPECT_EQ(job.Job().jobTime, 36000000u);

    boxes.Clear();
    values.minutes = 1;
    EXPECT_TRUE(job.ComputeSchedule(nullptr, values));
    EXPECT_TRUE(boxes.Boxes().empty());

    values.choice = ScheduleChoice::Next;
    values.minutes = 0;
    values.selectedDays = {2};
    EXPECT_TRUE(job.ComputeSchedule(nullptr, values));
    EXPECT_TRUE(boxes.Boxes().empty());
}
