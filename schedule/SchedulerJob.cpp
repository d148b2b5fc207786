#include "SchedulerJob.h"

#include <lm.h>
#include <lmat.h>

#include "ScheduleMessages.h"
#include "SystemText.h"
#include "WaitCursor.h"

namespace schedule {
namespace {

constexpr DWORD kMsPerMinute = 60 * 1000;
constexpr DWORD kMsPerHour = 60 * kMsPerMinute;
constexpr DWORD kMsPerDay = 24 * kMsPerHour;

SYSTEMTIME LocalNow()
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    return now;
}

void Warn(HWND owner, const char* text)
{
    ShowBox(owner, text, nullptr, MB_OK | MB_ICONEXCLAMATION);
}

using win::WaitCursor;

} // namespace

std::string ComposeCommandText(const std::string& program, const std::string& parameters,
                               const std::string& importFile)
{
    std::string command = "\"" + program + "\"";
    if (!parameters.empty()) command += " " + parameters;
    if (!importFile.empty()) command += " \"" + importFile + "\"";
    return command;
}

bool ConvertCommand(const std::string& command, std::wstring& wide)
{
    const int length = static_cast<int>(command.size());
    std::wstring converted(command.size() + 1, L'\0');
    // Characters the code page does not define would reach the service as something else;
    // such a command is refused rather than scheduled altered.
    int count = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED | MB_ERR_INVALID_CHARS, command.c_str(), length,
                                    converted.data(), length + 1);
    if (count <= 0 && length > 0) return false;
    converted.resize(static_cast<size_t>(count > 0 ? count : 0));
    wide = std::move(converted);
    return true;
}

DWORD ComputeJobTime(ScheduleChoice choice, int hours, int minutes, bool pm, const SYSTEMTIME& now)
{
    if (choice == ScheduleChoice::Now) {
        // One minute after 23:59:xx is 00:00:xx: the service takes only times within a day,
        // and a job without days runs at the next occurrence, which is then tomorrow's.
        DWORD later = (static_cast<DWORD>(now.wHour) * 3600 + now.wMinute * 60 + now.wSecond + 60) * 1000;
        return later % kMsPerDay;
    }
    int h = hours;
    if (pm) {
        if (h != 12) h += 12;
    } else if (h == 12) {
        h = 0;
    }
    return static_cast<DWORD>(h * 60 + minutes) * kMsPerMinute;
}

bool TimeAlreadyPassed(DWORD jobTime, const SYSTEMTIME& now)
{
    DWORD current = now.wHour * kMsPerHour + now.wMinute * kMsPerMinute;
    return current >= jobTime;
}

UCHAR TomorrowWeekdayBit(const SYSTEMTIME& now)
{
    // wDayOfWeek counts Sunday as 0; the job's bits count Monday as 0, so tomorrow's bit
    // index equals today's wDayOfWeek (Sunday 0 gives Monday, Saturday 6 gives Sunday).
    return static_cast<UCHAR>(1u << (now.wDayOfWeek % 7));
}

bool ComputeDays(ScheduleChoice choice, const std::vector<int>& selected, const SYSTEMTIME& now, JobRecord& job)
{
    job.daysOfMonth = 0;
    job.daysOfWeek = 0;
    job.flags = 0;
    switch (choice) {
    case ScheduleChoice::Every:
    case ScheduleChoice::Next: {
        if (selected.empty()) return false;
        size_t used = 0;
        for (int index : selected) {
            if (used++ >= static_cast<size_t>(kDayListEntries)) break;
            if (index < 0 || index >= kDayListEntries) continue;
            if (index < kWeekdayEntries)
                job.daysOfWeek = static_cast<UCHAR>(job.daysOfWeek | (1u << index));
            else
                job.daysOfMonth |= 1u << (index - kWeekdayEntries);
        }
        if (choice == ScheduleChoice::Every) job.flags = kRunPeriodically;
        return true;
    }
    case ScheduleChoice::Tomorrow:
        job.daysOfWeek = TomorrowWeekdayBit(now);
        return true;
    case ScheduleChoice::Now:
    case ScheduleChoice::Today:
        return true;
    }
    return true;
}

bool LaunchProgram(const std::string& commandLine)
{
    std::string line = commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

JobSubmission::JobSubmission(ScheduleServiceLink& link) : link_(link), clock_(LocalNow), launcher_(LaunchProgram) {}

bool JobSubmission::ComposeCommand(HWND owner, const JobPageValues& values)
{
    if (values.program.empty()) {
        ShowMessage(kWarning, owner, IDS_NOTHING_TO_SCHEDULE);
        return false;
    }
    std::string command = ComposeCommandText(values.program, values.parameters, values.importFile);
    if (values.importFile.empty() && importNeeded_ != 0 && !ShowMessage(kQuestionNo, owner, IDS_EMPTY_IMPORT_FILE))
        return false;
    std::wstring wide;
    if (!ConvertCommand(command, wide)) {
        Warn(owner, "Invalid Command");
        return false;
    }
    job_.command = std::move(wide);
    commandText_ = std::move(command);
    return true;
}

bool JobSubmission::ComputeSchedule(HWND owner, const JobPageValues& values, HWND dayList)
{
    SYSTEMTIME now = clock_();
    job_.jobTime = ComputeJobTime(values.choice, values.hours, values.minutes, values.pm, now);
    if (values.choice == ScheduleChoice::Today && TimeAlreadyPassed(job_.jobTime, now))
        Warn(owner, "The time you have selected has already passed.  The command will run tomorrow.");
    if (!ComputeDays(values.choice, values.selectedDays, now, job_)) {
        Warn(owner, "Select the day(s) this command will run.");
        if (dayList) SetFocus(dayList);
        return false;
    }
    return true;
}

bool JobSubmission::FinishWizard(HWND owner, const JobPageValues& values, const AccountChoice& account,
                                 HWND dayList)
{
    WaitCursor wait;
    if (job_.command.empty() && !ComposeCommand(owner, values)) return false;
    if (!ComputeSchedule(owner, values, dayList)) return false;
    // Task Scheduler keeps its own account and state; Windows NT 4.0's service is prepared.
    if (link_.IsTaskScheduler() ? !link_.EnsureRunning()
                                : !link_.ApplyConfig(account.config, account.password.c_str(), account.keepPassword))
        return false;

    AT_INFO info = {};
    info.JobTime = job_.jobTime;
    info.DaysOfMonth = job_.daysOfMonth;
    info.DaysOfWeek = job_.daysOfWeek;
    info.Flags = job_.flags;
    std::wstring command = job_.command;
    info.Command = command.data();
    DWORD id = 0;
    NET_API_STATUS status = NetScheduleJobAdd(nullptr, reinterpret_cast<BYTE*>(&info), &id);
    if (status != NERR_Success) {
        std::string text = win::Format("Task could not be added.\n\n%s", ErrorText(status).c_str());
        ShowBox(owner, text.c_str(), "AddJob", MB_OK | MB_ICONINFORMATION);
        return false;
    }
    jobId_ = id;
    launcher_("\"Rostery.exe\" " + std::to_string(id));
    return true;
}

} // namespace schedule
