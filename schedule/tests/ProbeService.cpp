// A service for the service link's tests. It reports start-pending (and on a stop request
// stop-pending) with a wait hint of 0 for a while before reaching the final state, so the
// link's polling is seen to keep asking until the state changes. With the argument
// "fail-start" on its image path it goes from start-pending straight to stopped.
#include <windows.h>

#include <cstring>

namespace {

SERVICE_STATUS_HANDLE g_status = nullptr;
SERVICE_STATUS g_state = {};
HANDLE g_stop = nullptr;
bool g_failStart = false;
constexpr DWORD kPendingMs = 400;

void Report(DWORD state)
{
    g_state.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_state.dwCurrentState = state;
    g_state.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    g_state.dwWin32ExitCode = 0;
    g_state.dwWaitHint = 0;
    if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) ++g_state.dwCheckPoint;
    else g_state.dwCheckPoint = 0;
    SetServiceStatus(g_status, &g_state);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*)
{
    if (control == SERVICE_CONTROL_STOP) {
        Report(SERVICE_STOP_PENDING);
        SetEvent(g_stop);
    }
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, char** argv)
{
    g_status = RegisterServiceCtrlHandlerExA(argv[0], Handler, nullptr);
    if (!g_status) return;
    Report(SERVICE_START_PENDING);
    Sleep(kPendingMs);
    if (g_failStart) {
        Report(SERVICE_STOPPED);
        return;
    }
    Report(SERVICE_RUNNING);
    WaitForSingleObject(g_stop, 60000);
    Sleep(kPendingMs);
    Report(SERVICE_STOPPED);
}

} // namespace

int main(int argc, char** argv)
{
    // The image path names the service first: probe.exe NAME [fail-start].
    char empty[] = "";
    char* name = argc > 1 ? argv[1] : empty;
    for (int i = 2; i < argc; ++i)
        if (std::strcmp(argv[i], "fail-start") == 0) g_failStart = true;
    g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
