#include "JobRow.h"

#include <gtest/gtest.h>

namespace rostery {
namespace {

constexpr DWORD kMonday = 1u << 0;
constexpr DWORD kFriday = 1u << 4;
constexpr DWORD kSunday = 1u << 6;

DWORD_PTR At(unsigned hour, unsigned minute, unsigned second = 0)
{
    return (hour * 3600u + minute * 60u + second) * 1000u;
}

AT_ENUM Job(DWORD id, DWORD_PTR time, DWORD monthDays, DWORD weekDays, DWORD flags, const wchar_t* command)
{
    AT_ENUM job = {};
    job.JobId = id;
    job.JobTime = time;
    job.DaysOfMonth = monthDays;
    job.DaysOfWeek = static_cast<UCHAR>(weekDays);
    job.Flags = static_cast<UCHAR>(flags);
    job.Command = const_cast<LPWSTR>(command);
    return job;
}

TEST(FormatJob, PeriodicMondayAndFridayAtQuarterPastTenInTheEvening)
{
    wchar_t command[] = L"C:\\Salvora\\Salvora.exe -S list.txt";
    JobRow row = FormatJob(Job(7, At(22, 15), 0, kMonday | kFriday, JOB_RUN_PERIODICALLY, command));
    EXPECT_EQ(7, row.jobId);
    EXPECT_EQ("Each M F ", row.dayText);
    EXPECT_EQ("10:15PM", row.timeText);
    EXPECT_EQ("C:\\Salvora\\Salvora.exe -S list.txt", row.commandText);
    EXPECT_FALSE(row.lastRunFailed);
    EXPECT_FALSE(row.isNewJob);
    EXPECT_FALSE(row.selected);
}

TEST(FormatJob, PrefixesInTheirOrder)
{
    // One-time job on days 1 and 15 of the month.
    EXPECT_EQ("Next 1 15 ", FormatJobDays(0, (1u << 0) | (1u << 14), 0));
    // Periodic wins over the day sets; weekdays come before days of the month.
    EXPECT_EQ("Each Su 31 ", FormatJobDays(JOB_RUN_PERIODICALLY, 1u << 30, kSunday));
    // Today and Tomorrow stand alone, whatever else the flags carry.
    EXPECT_EQ("Today ", FormatJobDays(JOB_RUNS_TODAY, 0, 0));
    EXPECT_EQ("Today ", FormatJobDays(JOB_RUNS_TODAY | JOB_EXEC_ERROR, 0, 0));
    EXPECT_EQ("Tomorrow ", FormatJobDays(0, 0, 0));
    EXPECT_EQ("Tomorrow ", FormatJobDays(JOB_EXEC_ERROR | JOB_NONINTERACTIVE, 0, 0));
    // A day set makes it Next even when the job runs today.
    EXPECT_EQ("Next W ", FormatJobDays(JOB_RUNS_TODAY, 0, 1u << 2));
}

TEST(FormatJob, EveryWeekdayAndEveryDayOfTheMonth)
{
    EXPECT_EQ("Each M T W Th F Sa Su ", FormatJobDays(JOB_RUN_PERIODICALLY, 0, 0x7F));
    std::string all = "Next ";
    for (int day = 1; day <= 31; ++day) all += std::to_string(day) + " ";
    EXPECT_EQ(all, FormatJobDays(0, 0x7FFFFFFF, 0));
    // Bit 31 is no day of the month.
    EXPECT_EQ("Next 2 ", FormatJobDays(0, 0x80000002u, 0));
}

TEST(FormatJob, TwelveHourTimesAreSevenCharacters)
{
    EXPECT_EQ("12:05AM", FormatJobTime(At(0, 5)));
    EXPECT_EQ(" 9:30AM", FormatJobTime(At(9, 30)));
    EXPECT_EQ("11:59AM", FormatJobTime(At(11, 59)));
    EXPECT_EQ("12:00PM", FormatJobTime(At(12, 0)));
    EXPECT_EQ(" 1:07PM", FormatJobTime(At(13, 7)));
    EXPECT_EQ("11:59PM", FormatJobTime(At(23, 59)));
    EXPECT_EQ("12:00AM", FormatJobTime(0));
    // Seconds are dropped, not rounded.
    EXPECT_EQ(" 6:44AM", FormatJobTime(At(6, 44, 59) + 999));
    for (unsigned hour = 0; hour < 24; ++hour)
        EXPECT_EQ(7u, FormatJobTime(At(hour, 0)).size()) << hour;
}

TEST(FormatJob, FailedLastRunAndCommandConversion)
{
    wchar_t accented[] = L"notepad caf\u00e9.txt \u4e2d";
    JobRow row = FormatJob(Job(3, At(1, 0), 0, 0, JOB_EXEC_ERROR, accented));
    EXPECT_TRUE(row.lastRunFailed);
    // The ANSI code page keeps what it can and puts its default character for the rest.
    ASSERT_EQ(std::string("notepad caf").size() + 7, row.commandText.size());
    EXPECT_EQ(0, row.commandText.compare(0, 11, "notepad caf"));
    EXPECT_NE(std::string::npos, row.commandText.find(".txt "));
    EXPECT_EQ('?', row.commandText.back());

    EXPECT_EQ("", FormatJob(Job(4, 0, 0, 0, 0, nullptr)).commandText);
    std::wstring longCommand(3000, L'x');
    EXPECT_EQ(std::string(3000, 'x'), FormatJob(Job(5, 0, 0, 0, 0, longCommand.c_str())).commandText);
}

TEST(FormatJob, CellTexts)
{
    JobRow row;
    row.jobId = -12;
    row.dayText = "Today ";
    row.timeText = " 9:30AM";
    row.commandText = "cmd";
    EXPECT_EQ("-12", CellText(row, 0));
    EXPECT_EQ("Today ", CellText(row, 1));
    EXPECT_EQ(" 9:30AM", CellText(row, 2));
    EXPECT_EQ("cmd", CellText(row, 3));
}

} // namespace
} // namespace rostery
