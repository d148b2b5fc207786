// The rows of Rostery's list: one per job of the Schedule service, as four texts.
#pragma once
#include <windows.h>
#include <lmcons.h>
#include <lmat.h>
#include <lmerr.h>
#include <string>

namespace rostery {

// One job of the service's table, as shown in the list.
struct JobRow {
    LONG jobId = 0;
    std::string dayText;      // "Each M F ", "Next 1 15 ", "Today ", "Tomorrow "
    std::string timeText;     // seven characters: " 9:30AM", "11:59PM"
    std::string commandText;  // the command in the ANSI code page
    bool lastRunFailed = false;
    bool isNewJob = false;
    bool selected = false;
};

// The day text of a job: its prefix, then its weekdays, then its days of the month,
// every item followed by one blank.
std::string FormatJobDays(DWORD flags, DWORD daysOfMonth, UCHAR daysOfWeek);

// The seven-character 12-hour text of a time in milliseconds after midnight.
std::string FormatJobTime(DWORD_PTR jobTime);

// The command converted to the ANSI code page; unmappable characters become the
// code page's default character.
std::string CommandToAnsi(const wchar_t* command);

// One row from one record of the service.
JobRow FormatJob(const AT_ENUM& job);

// The text of one cell: 0 the identifier in decimal, 1 the days, 2 the time, 3 the command.
std::string CellText(const JobRow& row, int column);

} // namespace rostery
