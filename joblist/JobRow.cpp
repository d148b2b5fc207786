#include "JobRow.h"

#include <cstdio>

namespace rostery {

std::string FormatJobDays(DWORD flags, DWORD daysOfMonth, UCHAR daysOfWeek)
{
    std::string text;
    if (flags & JOB_RUN_PERIODICALLY)
        text = "Each ";
    else if (daysOfMonth != 0 || daysOfWeek != 0)
        text = "Next ";
    else if (flags & JOB_RUNS_TODAY)
        text = "Today ";
    else
        text = "Tomorrow ";

    static const char* const weekdays[7] = {"M ", "T ", "W ", "Th ", "F ", "Sa ", "Su "};
    for (int day = 0; day < 7; ++day)
        if (daysOfWeek & (1u << day)) text += weekdays[day];

    for (int day = 0; day < 31; ++day) {
        if (daysOfMonth & (1u << day)) {
            char number[16];
            std::snprintf(number, sizeof number, "%d ", day + 1);
            text += number;
        }
    }
    return text;
}

std::string FormatJobTime(DWORD_PTR jobTime)
{
    const unsigned long long minutesOfDay = static_cast<unsigned long long>(jobTime) / 60000u;
    const unsigned hour = static_cast<unsigned>((minutesOfDay / 60u) % 24u);
    const unsigned minute = static_cast<unsigned>(minutesOfDay % 60u);
    const unsigned shown = hour % 12u == 0 ? 12u : hour % 12u;
    char text[16];
    std::snprintf(text, sizeof text, "%2u:%02u%s", shown, minute, hour < 12u ? "AM" : "PM");
    return text;
}

std::string CommandToAnsi(const wchar_t* command)
{
    if (!command || !*command) return std::string();
    // The whole command is converted, however long: a fixed buffer would turn an
    // overlong command into an empty or garbled text.
    int size = WideCharToMultiByte(CP_ACP, 0, command, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string text(static_cast<size_t>(size), '\0');
    size = WideCharToMultiByte(CP_ACP, 0, command, -1, text.data(), size, nullptr, nullptr);
    if (size <= 0) return std::string();
    text.resize(static_cast<size_t>(size - 1));
    return text;
}

JobRow FormatJob(const AT_ENUM& job)
{
    JobRow row;
    row.jobId = static_cast<LONG>(job.JobId);
    row.dayText = FormatJobDays(job.Flags, job.DaysOfMonth, job.DaysOfWeek);
    row.timeText = FormatJobTime(job.JobTime);
    row.commandText = CommandToAnsi(job.Command);
    row.lastRunFailed = (job.Flags & JOB_EXEC_ERROR) != 0;
    row.isNewJob = false;
    row.selected = false;
    return row;
}

std::string CellText(const JobRow& row, int column)
{
    switch (column) {
    case 0: {
        char number[16];
        std::snprintf(number, sizeof number, "%d", static_cast<int>(row.jobId));
        return number;
    }
    case 1: return row.dayText;
    case 2: return row.timeText;
    case 3: return row.commandText;
    default: return std::string();
    }
}

} // namespace rostery
