#include "Service.h"

#include "AgentRun.h"
#include "EventReport.h"
#include "Handle.h"
#include "SystemText.h"

namespace {

// Process-wide state of the one service this process runs. The handler (dispatcher
// thread) and the service thread both write the status record; every write is followed
// by SetServiceStatus.
SERVICE_STATUS g_status{};
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
DWORD g_checkPoint = 1;
DWORD g_lastLoggedError = 0;

} // namespace

void LogAgentError(const char* context)
{
    g_lastLoggedError = GetLastError();
    const std::string text = win::Format("%s error: %d", kAgentServiceName, static_cast<int>(g_lastLoggedError));
    const char* strings[2] = {text.c_str(), context};
    win::ReportSourceEvent(kAgentServiceName, EVENTLOG_ERROR_TYPE, 0, 2, strings);
    SetLastError(g_lastLoggedError);
}

bool ReportStatus(DWORD state, DWORD exitCode, DWORD waitHint)
{
    g_status.dwCurrentState = state;
    g_status.dwWin32ExitCode = exitCode;
    g_status.dwWaitHint = waitHint;
    g_status.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP;
    if (state == SERVICE_RUNNING || state == SERVICE_STOPPED)
        g_status.dwCheckPoint = 0;
    else
        g_status.dwCheckPoint = g_checkPoint++;
    const bool reported = SetServiceStatus(g_statusHandle, &g_status) != FALSE;
    if (!reported) LogAgentError("SetServiceStatus");
    return reported;
}

bool ServiceEvents::Create()
{
    if (!finished_) finished_.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (finished_ && !stop_) stop_.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    return finished_ && stop_;
}

void ServiceEvents::Finish() const
{
    if (finished_) SetEvent(finished_.Get());
}

void ServiceEvents::Close() noexcept
{
    stop_.Reset();
    finished_.Reset();
}

ServiceEvents& TheServiceEvents()
{
    static ServiceEvents events;
    return events;
}

void WINAPI ServiceCtrlHandler(DWORD control)
{
    if (control != SERVICE_CONTROL_STOP) {
        ReportStatus(g_status.dwCurrentState, 0, 0);
        return;
    }
    g_status.dwCurrentState = SERVICE_STOP_PENDING;
    ReportStatus(SERVICE_STOP_PENDING, 0, 3000);
    TheServiceEvents().RequestStop(2500, [] { ReportStatus(SERVICE_STOP_PENDING, 0, 3000); });
}

void WINAPI ServiceMain(DWORD argc, char** argv)
{
    g_statusHandle = RegisterServiceCtrlHandlerA(kAgentServiceName, ServiceCtrlHandler);
    if (!g_statusHandle) return;
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwServiceSpecificExitCode = 0;

    ServiceEvents& events = TheServiceEvents();
    // The events exist before the service accepts a stop, that is before it reports
    // SERVICE_RUNNING, and stay open until the dispatcher returns (the program entry
    // closes them).
    if (ReportStatus(SERVICE_START_PENDING, 0, 1000) && events.Create() && ReportStatus(SERVICE_RUNNING, 0, 0)) {
        AgentRun run(events.StopEvent());
        run.RunAgent(argc, argv);
    }
    events.Finish();
    Sleep(3000); // a handler still reporting sees finishedEvent meanwhile
    ReportStatus(SERVICE_STOPPED, 0, 100);
}
