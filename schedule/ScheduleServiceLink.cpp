#include "ScheduleServiceLink.h"

#include <cstring>
#include <memory>

#include "ScheduleMessages.h"
#include "Security.h"
#include "SystemText.h"

namespace schedule {
namespace {

constexpr DWORD kFirstConfigBuffer = 100;
constexpr DWORD kFirstSidBuffer = 200;
constexpr DWORD kFirstDomainBuffer = 255;
constexpr DWORD kBackupDomainController = 0x10;   // SV_TYPE_DOMAIN_BAKCTRL

std::string TextOrEmpty(const char* text)
{
    return text ? std::string(text) : std::string();
}

// A double-NUL-terminated list, both terminators included.
std::string MultiText(const char* list)
{
    if (!list) return std::string(2, '\0');
    const char* end = list;
    while (*end) end += std::strlen(end) + 1;
    std::string text(list, static_cast<size_t>(end - list));
    text.push_back('\0');
    if (text.size() < 2) text.push_back('\0');
    return text;
}

std::string ComputerName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof(name);
    if (!GetComputerNameA(name, &size)) return std::string();
    return name;
}

void UnexpectedState(HWND owner, DWORD state)
{
    std::string text = win::Format("Unexpected service state.\n\nState %d.", static_cast<int>(state));
    ShowBox(owner, text.c_str(), nullptr, MB_OK | MB_ICONEXCLAMATION);
}

} // namespace

std::string RewriteLocalAccount(const std::string& account, const std::string& computerName)
{
    if (account.size() >= 2 && account[0] == '.' && account[1] == '\\')
        return computerName + account.substr(1);
    return account;
}

bool ScheduleServiceLink::Open(const char* serviceName)
{
    scm_.Reset(OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA, SC_MANAGER_ALL_ACCESS));
    if (!scm_) {
        ShowSystemError(owner_, "OpenSCManager", "Problem accessing Service Control Manager.\n\n%s", GetLastError());
        return false;
    }
    service_.Reset(OpenServiceA(scm_.Get(), serviceName, SERVICE_ALL_ACCESS));
    if (!service_) {
        DWORD error = GetLastError();
        scm_.Reset();
        ShowSystemError(owner_, "OpenService", "Problem opening Schedule service.\n\n%s", error);
        SetLastError(error);
        return false;
    }
    return true;
}

void ScheduleServiceLink::OpenOrExit()
{
    if (!Open()) ExitProcess(0);
}

std::optional<DWORD> ScheduleServiceLink::QueryState()
{
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service_.Get(), &status)) {
        DWORD error = GetLastError();
        ShowSystemError(owner_, "QueryServiceStatus", "Problem getting service status.\n\n%s", error);
        SetLastError(error);
        return std::nullopt;
    }
    return status.dwCurrentState;
}

std::optional<ServiceConfig> ScheduleServiceLink::QueryConfig()
{
    // QUERY_SERVICE_CONFIGA holds pointers, so the buffer is kept aligned for them.
    DWORD size = kFirstConfigBuffer;
    std::unique_ptr<ULONG_PTR[]> buffer(new ULONG_PTR[(size + sizeof(ULONG_PTR) - 1) / sizeof(ULONG_PTR)]);
    DWORD needed = 0;
    auto* raw = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.get());
    if (!QueryServiceConfigA(service_.Get(), raw, size, &needed)) {
        DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            ShowSystemError(owner_, "QueryServiceConfig", "Problem getting service configuration.\n\n%s", error);
            SetLastError(error);
            return std::nullopt;
        }
        size = needed;
        buffer.reset(new ULONG_PTR[(size + sizeof(ULONG_PTR) - 1) / sizeof(ULONG_PTR)]);
        raw = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.get());
        if (!QueryServiceConfigA(service_.Get(), raw, size, &needed)) return std::nullopt;
    }

    ServiceConfig config;
    config.serviceType = raw->dwServiceType;
    config.startType = raw->dwStartType;
    config.errorControl = raw->dwErrorControl;
    config.binaryPath = TextOrEmpty(raw->lpBinaryPathName);
    config.loadOrderGroup = TextOrEmpty(raw->lpLoadOrderGroup);
    config.tagId = raw->dwTagId;
    config.dependencies = MultiText(raw->lpDependencies);
    if (raw->lpServiceStartName && raw->lpServiceStartName[0])
        config.account = RewriteLocalAccount(raw->lpServiceStartName, ComputerName());
    config.displayName = TextOrEmpty(raw->lpDisplayName);
    return config;
}

bool ScheduleServiceLink::ApplyConfig(const ServiceConfig& config, const char* password, bool keepPassword)
{
    const char* passwordArgument = keepPassword ? nullptr : (password ? password : "");
    const char* account = config.account ? config.account->c_str() : nullptr;
    if (!ChangeServiceConfigA(service_.Get(), config.serviceType, SERVICE_AUTO_START, SERVICE_NO_CHANGE,
                              nullptr, nullptr, nullptr, nullptr, account, passwordArgument,
                              config.displayName.c_str())) {
        DWORD error = GetLastError();
        ShowSystemError(owner_, "ChangeServiceConfig", "Problem changing service configuration.\n\n%s", error);
        SetLastError(error);
        return false;
    }
    std::optional<DWORD> state = QueryState();
    if (!state) return false;
    if (*state == SERVICE_RUNNING && !Stop()) return false;
    return Start(false);
}

bool ScheduleServiceLink::IsTaskScheduler() const
{
    if (kind_ != ServiceKind::FromVersion) return kind_ == ServiceKind::TaskScheduler;
    return win::IsWindows2000OrLater();
}

bool ScheduleServiceLink::EnsureRunning()
{
    std::optional<DWORD> state = QueryState();
    if (!state) return false;
    if (*state == SERVICE_RUNNING) return true;
    if (*state == SERVICE_START_PENDING) return WaitWhile(SERVICE_START_PENDING, SERVICE_RUNNING);
    return Start(false);
}

bool ScheduleServiceLink::WaitWhile(DWORD pendingState, DWORD finalState)
{
    for (;;) {
        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(service_.Get(), &status)) {
            DWORD error = GetLastError();
            ShowSystemError(owner_, "QueryServiceStatus", "Problem getting service status.\n\n%s", error);
            SetLastError(error);
            return false;
        }
        if (status.dwCurrentState == pendingState) {
            Sleep(status.dwWaitHint);
            continue;
        }
        if (status.dwCurrentState != finalState) UnexpectedState(owner_, status.dwCurrentState);
        return true;
    }
}

bool ScheduleServiceLink::Stop()
{
    SERVICE_STATUS status = {};
    if (!ControlService(service_.Get(), SERVICE_CONTROL_STOP, &status)) {
        DWORD error = GetLastError();
        ShowSystemError(owner_, "ControlService", "Problem stoping Schedule service.\n\n%s", error);
        SetLastError(error);
        return false;
    }
    return WaitWhile(SERVICE_STOP_PENDING, SERVICE_STOPPED);
}

bool ScheduleServiceLink::Start(bool askFirst)
{
    if (askFirst &&
        ShowBox(owner_, "Schedule service not started.\nWould you like to start it?", "Ostrel Scheduler",
                MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    if (!StartServiceA(service_.Get(), 0, nullptr)) {
        DWORD error = GetLastError();
        ShowSystemError(owner_, "StartService", "Problem starting Schedule service.\n\n%s", error);
        SetLastError(error);
        return false;
    }
    return WaitWhile(SERVICE_START_PENDING, SERVICE_RUNNING);
}

bool ScheduleServiceLink::LookupSid(const char* account, std::vector<BYTE>& sid)
{
    DWORD sidSize = kFirstSidBuffer;
    DWORD domainSize = kFirstDomainBuffer;
    for (int attempt = 0; attempt < 2; ++attempt) {
        sid.assign(sidSize, 0);
        std::string domain(domainSize, '\0');
        SID_NAME_USE use = SidTypeUnknown;
        if (LookupAccountNameA(nullptr, account, sid.data(), &sidSize, domain.data(), &domainSize, &use))
            return true;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    }
    return false;
}

LogonRight ScheduleServiceLink::EnsureLogonRight(const char* account, const std::vector<std::string>& rights)
{
    SecurityPolicy& policy = Policy();
    bool rightsMissing = false;
    if (!policyServerFound_) {
        DWORD type = 0;
        if (!policy.LocalServerType(type)) {
            rightsMissing = true;
        } else if (type & kBackupDomainController) {
            std::string controller;
            if (policy.PrimaryDomainController(controller)) {
                policyServer_ = controller;
                policyServerFound_ = true;
            }
        }
    }

    std::vector<BYTE> sid;
    if (!rightsMissing && LookupSid(account, sid)) {
        bool all = true;
        for (const std::string& right : rights) {
            if (!policy.HasRight(policyServer_, sid.data(), right.c_str())) {
                all = false;
                break;
            }
        }
        if (all) return LogonRight::Present;
    }

    if (!LookupSid(account, sid)) return LogonRight::Failed;
    return policy.AddRights(policyServer_, sid.data(), rights) ? LogonRight::Granted : LogonRight::Failed;
}

std::optional<std::string> ScheduleServiceLink::BrowseForUser(HWND owner)
{
    AccountBrowser& browser = browser_ ? *browser_ : SystemAccountBrowser();
    return browser.Browse(owner);
}

} // namespace schedule
