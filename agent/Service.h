// Vantoro's service side: the dispatcher entry, the service entry, the control handler,
// status reports and error events.
#pragma once
#include <windows.h>

#include "Handle.h"

constexpr char kAgentServiceName[] = "Vantoro";

void WINAPI ServiceMain(DWORD argc, char** argv);
void WINAPI ServiceCtrlHandler(DWORD control);
bool ReportStatus(DWORD state, DWORD exitCode, DWORD waitHint);
// Reports the last Windows error to the application event log under the source
// "Vantoro": "Vantoro error: <code>" and `context`.
void LogAgentError(const char* context);

// The run's stop and finished events. The control handler uses them on the dispatcher's
// thread while the service thread ends its run, so they are made before the service
// accepts a stop and closed only once the dispatcher has returned: a stop that arrives
// as the run ends never meets a closed (or reused) handle.
class ServiceEvents {
public:
    // Both manual-reset and clear; false when either cannot be made.
    bool Create();
    HANDLE StopEvent() const noexcept { return stop_.Get(); }
    // The handler's part of a stop: sets the stop event, then waits for the end of the
    // run in steps of `step` ms, calling `stillRunning` after each step that runs out.
    // Returns at once when the events do not exist.
    template <class Report>
    void RequestStop(DWORD step, Report stillRunning) const
    {
        if (stop_) SetEvent(stop_.Get());
        if (!finished_) return;
        while (WaitForSingleObject(finished_.Get(), step) == WAIT_TIMEOUT) stillRunning();
    }
    // The service thread's part: the run has ended.
    void Finish() const;
    // After the dispatcher has returned: no handler can run any more.
    void Close() noexcept;

private:
    win::Handle finished_;
    win::Handle stop_;
};

// The events of the one service this process runs.
ServiceEvents& TheServiceEvents();
