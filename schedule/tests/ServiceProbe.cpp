#include "ServiceProbe.h"

#include "TestSupport.h"

using schedule::ScheduleServiceLink;

namespace {

void StopAndWait(SC_HANDLE service)
{
    SERVICE_STATUS status = {};
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    for (int i = 0; i < 100 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED; ++i)
        Sleep(50);
}

} // namespace

ProbeService::ProbeService(const char* name, const char* arguments, const char* account) : name_(name)
{
    win::ServiceHandle scm(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    std::string path =
        "\"" + testing_support::BinFolder() + "\\schedule_probe_service.exe\" " + name + " " + arguments;
    service_.Reset(CreateServiceA(scm.Get(), name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                  SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, path.c_str(), nullptr, nullptr, nullptr,
                                  account, account ? "" : nullptr));
}

ProbeService::~ProbeService()
{
    if (!service_) return;
    StopAndWait(service_.Get());
    DeleteService(service_.Get());
}

bool StartRetrying(ScheduleServiceLink& link, BoxRecorder& boxes)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        boxes.Clear();
        if (link.Start(false)) return true;
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_ALREADY_RUNNING)
            StopAndWait(link.Service());
        else if (error != ERROR_SERVICE_DATABASE_LOCKED && error != ERROR_SERVICE_REQUEST_TIMEOUT)
            return false;
        Sleep(250);
    }
    return false;
}

void WarmUpServices()
{
    BoxRecorder boxes;
    ProbeService probe("OstrelProbeWarmUp", "");
    if (!probe.Created()) return;
    ScheduleServiceLink link;
    if (link.Open("OstrelProbeWarmUp") && StartRetrying(link, boxes)) link.Stop();
}

void WaitForSettledSession()
{
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, sizeof(windows));
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExA((std::string(windows) + "\\win.ini").c_str(), GetFileExInfoStandard, &data)) return;
    FILETIME nowTime = {};
    GetSystemTimeAsFileTime(&nowTime);
    ULARGE_INTEGER created = {{data.ftCreationTime.dwLowDateTime, data.ftCreationTime.dwHighDateTime}};
    ULARGE_INTEGER now = {{nowTime.dwLowDateTime, nowTime.dwHighDateTime}};
    if (now.QuadPart < created.QuadPart) return;
    const ULONGLONG ageMs = (now.QuadPart - created.QuadPart) / 10000;
    const ULONGLONG settledMs = 60000;
    if (ageMs < settledMs) Sleep(static_cast<DWORD>(settledMs - ageMs));
}
