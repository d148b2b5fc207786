#include "Service.h"

#include "AgentRun.h"
#include "Handle.h"
#include "SystemText.h"

namespace {

// Process-wide state of the one service this process runs. The handler (dispatcher
// thread) and the service thread both write the status record; every write is followed
// by SetServiceStatus.
SERVICE_STATUS g_status{};
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
DWORD g_checkPoint = 1;
HANDLE g_finishedEvent = nullptr;
HANDLE g_stopEvent = nullptr;
DWORD g_lastLoggedError = 0;

} // namespace

void LogAgentError(const char* context)
{
    g_lastLoggedError = GetLastError();
    win::EventSource source(RegisterEventSourceA(nullptr, kAgentServiceName));
    const std::string text = win::Format("%s error: %d", kAgentServiceName, static_cast<int>(g_lastLoggedError));
    if (source) {
        const char* strings[2] = {text.c_str(), context};
        ReportEventA(source.Get(), EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 2, 0, strings, nullptr);
    }
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

void WINAPI ServiceCtrlHandler(DWORD control)
{
    if (control != SERVICE_CONTROL_STOP) {
        ReportStatus(g_status.dwCurrentState, 0, 0);
        return;
    }
    g_status.dwCurrentState = SERVICE_STOP_PENDING;
    ReportStatus(SERVICE_STOP_PENDING, 0, 3000);
    if (g_stopEvent) SetEvent(g_stopEvent);
    if (!g_finishedEvent) return;
    while (WaitForSingleObject(g_finishedEvent, 2500) == WAIT_TIMEOUT) ReportStatus(SERVICE_STOP_PENDING, 0, 3000);
}

void WINAPI ServiceMain(DWORD argc, char** argv)
{
    g_statusHandle = RegisterServiceCtrlHandlerA(kAgentServiceName, ServiceCtrlHandler);
    if (!g_statusHandle) return;
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwServiceSpecificExitCode = 0;

    if (ReportStatus(SERVICE_START_PENDING, 0, 1000)) {
        g_finishedEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (g_finishedEvent) g_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (g_finishedEvent && g_stopEvent && ReportStatus(SERVICE_RUNNING, 0, 0)) {
            AgentRun run(g_stopEvent);
            run.RunAgent(argc, argv);
        }
    }

    if (g_finishedEvent) SetEvent(g_finishedEvent);
    Sleep(3000); // the handler may still be reporting; it ends on finishedEvent
    // The events close only now that the handler no longer waits on them.
    HANDLE stop = g_stopEvent;
    HANDLE finished = g_finishedEvent;
    g_stopEvent = nullptr;
    g_finishedEvent = nullptr;
    if (stop) CloseHandle(stop);
    if (finished) CloseHandle(finished);
    ReportStatus(SERVICE_STOPPED, 0, 100);
}
