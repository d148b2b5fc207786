// Scheduler's three-page wizard: Schedule Service, Program and Parameters, Schedule.
#pragma once
#include <windows.h>
#include <prsht.h>

#include <functional>
#include <optional>
#include <string>

#include "ScheduleServiceLink.h"
#include "SchedulerJob.h"
#include "SchedulerStartup.h"

namespace schedule {

// Password placeholders of the Schedule Service page.
constexpr const char* kPasswordPlaceholder = "52718394";
constexpr const char* kConfirmPlaceholder = "49382716";

class SchedulerWizard {
public:
    SchedulerWizard(HINSTANCE instance, ScheduleServiceLink& link, const StartupValues& startup);
    ~SchedulerWizard() = default;
    SchedulerWizard(const SchedulerWizard&) = delete;
    SchedulerWizard& operator=(const SchedulerWizard&) = delete;

    void SetNetworkNeeded(int value) { networkNeeded_ = value; }
    void SetImportNeeded(int value) { submission_.SetImportNeeded(value); }
    void SetHelpFile(const std::string& path) { helpFile_ = path; }
    void SetClock(std::function<SYSTEMTIME()> clock);
    JobSubmission& Submission() { return submission_; }

    // Runs the wizard modally (PropertySheetA); -1 when the sheet could not be made.
    INT_PTR Run();
    // Creates the wizard modeless (for tests driving it); its frame, or NULL.
    HWND CreateModeless();

    // Whether the wizard was finished with a job added.
    bool Finished() const noexcept { return finished_; }
    HWND Frame() const noexcept { return frame_; }
    const AccountChoice& Account() const noexcept { return account_; }
    // Whether the service page found Task Scheduler (Windows 2000 and later).
    bool LeavesTheServiceAlone() const noexcept { return taskScheduler_; }

private:
    enum Page { kServicePage, kProgramPage, kSchedulePage, kPageCount };

    INT_PTR Sheet(bool modeless);
    static INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR ServicePage(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR ProgramPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR SchedulePage(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

    bool OpenServicePage(HWND page);
    void ShowServiceTexts(HWND page);
    void RefreshServiceState(HWND page);
    bool LeaveServicePage(HWND page);
    void FillProgramPage(HWND page);
    void ChooseFile(HWND page, int field, bool programKind);
    void FillSchedulePage(HWND page);
    void OnScheduleChoice(HWND page, int id);
    JobPageValues ReadValues() const;
    void ShowHelp();

    HINSTANCE instance_;
    ScheduleServiceLink& link_;
    StartupValues startup_;
    JobSubmission submission_;
    std::function<SYSTEMTIME()> clock_;
    int networkNeeded_ = 1;
    std::string helpFile_ = "Scheduler.chm";

    HWND frame_ = nullptr;
    HWND pages_[kPageCount] = {};
    bool programFilled_ = false;
    bool scheduleFilled_ = false;
    bool finished_ = false;
    bool serviceOk_ = false;
    bool taskScheduler_ = false; // Windows 2000 and later

    AccountChoice account_;
    bool wasLocalSystem_ = false;
    bool running_ = false;
    bool automatic_ = false;
    HBITMAP okBitmap_ = nullptr;
    HBITMAP notOkBitmap_ = nullptr;
};

} // namespace schedule
