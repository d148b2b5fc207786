// The job Scheduler adds to the Schedule service: its command from the Program and
// Parameters page, its schedule from the Schedule page, and the steps of Finish.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "ScheduleServiceLink.h"

namespace schedule {

// Lengths of the Program and Parameters page's fields, terminator excluded.
constexpr size_t kMaxProgram = 259;
constexpr size_t kMaxParameters = 254;
constexpr size_t kMaxImportFile = 259;

// Entries of the day list: 0 to 6 Monday to Sunday, 7 to 37 the days 1 to 31.
constexpr int kDayListEntries = 38;
constexpr int kWeekdayEntries = 7;

constexpr UCHAR kRunPeriodically = 0x01;   // JOB_RUN_PERIODICALLY

enum class ScheduleChoice { Now, Today, Tomorrow, Every, Next };

// The job record as the service takes it (AT_INFO), the command kept beside it.
struct JobRecord {
    DWORD jobTime = 0;        // milliseconds after local midnight
    DWORD daysOfMonth = 0;    // bit n: day n + 1
    UCHAR daysOfWeek = 0;     // bit 0 Monday ... bit 6 Sunday
    UCHAR flags = 0;
    std::wstring command;
};

// "Program" Parameters "ImportFile", each part only when not empty.
std::string ComposeCommandText(const std::string& program, const std::string& parameters,
                               const std::string& importFile);

// The command in the wide form the service takes; false when the ANSI code page cannot
// convert it.
bool ConvertCommand(const std::string& command, std::wstring& wide);

// Time of day of the job. Now: one minute after `now`, seconds included, wrapped past
// midnight; otherwise the 12-hour time of the page (12 without PM is 0, PM adds 12
// except to 12).
DWORD ComputeJobTime(ScheduleChoice choice, int hours, int minutes, bool pm, const SYSTEMTIME& now);

// Today at a time that is not later than the current hour and minute.
bool TimeAlreadyPassed(DWORD jobTime, const SYSTEMTIME& now);

// Tomorrow's weekday bit (bit 0 Monday ... bit 6 Sunday) for the weekday of `now`.
UCHAR TomorrowWeekdayBit(const SYSTEMTIME& now);

// Fills the day sets and the flag of `job` afresh from the choice and the indexes of the
// selected day-list entries. False (sets left empty) when Every or Next has no day.
bool ComputeDays(ScheduleChoice choice, const std::vector<int>& selected, const SYSTEMTIME& now, JobRecord& job);

// What the pages hold when a step of the job runs.
struct JobPageValues {
    std::string program;
    std::string parameters;
    std::string importFile;
    ScheduleChoice choice = ScheduleChoice::Every;
    int hours = 12;
    int minutes = 0;
    bool pm = false;
    std::vector<int> selectedDays;
};

// The account page's outcome that Finish applies to the service.
struct AccountChoice {
    ServiceConfig config;      // start type and account as the page left them
    std::string password;
    bool keepPassword = true;
};

// The job steps of the wizard. Messages are owned by `owner` (the wizard frame).
class JobSubmission {
public:
    explicit JobSubmission(ScheduleServiceLink& link);

    // Process-wide switch from the environment: an empty import file needs a confirmation.
    void SetImportNeeded(int value) { importNeeded_ = value; }
    // The clock of the schedule (GetLocalTime by default).
    void SetClock(std::function<SYSTEMTIME()> clock) { clock_ = std::move(clock); }
    // Starts a program by command line (CreateProcessA by default); a test records instead.
    void SetLauncher(std::function<bool(const std::string&)> launcher) { launcher_ = std::move(launcher); }

    // Leaving the Program and Parameters page: true when the page may be left.
    bool ComposeCommand(HWND owner, const JobPageValues& values);
    // First step of Finish; false when a message was shown and the page stays. On a
    // missing day selection `dayList` (if any) receives the focus.
    bool ComputeSchedule(HWND owner, const JobPageValues& values, HWND dayList = nullptr);
    // The whole Finish: schedule, service, job, Rostery. True when the wizard may close.
    bool FinishWizard(HWND owner, const JobPageValues& values, const AccountChoice& account,
                      HWND dayList = nullptr);

    const JobRecord& Job() const noexcept { return job_; }
    const std::string& CommandText() const noexcept { return commandText_; }
    DWORD JobId() const noexcept { return jobId_; }

private:
    ScheduleServiceLink& link_;
    int importNeeded_ = 1;
    std::function<SYSTEMTIME()> clock_;
    std::function<bool(const std::string&)> launcher_;
    JobRecord job_;
    std::string commandText_;
    DWORD jobId_ = 0;
};

// Starts a program with CreateProcessA, its handles closed at once.
bool LaunchProgram(const std::string& commandLine);

} // namespace schedule
