// The link of Scheduler and Rostery to the local Service Control Manager and its
// "Schedule" service: state, configuration, reconfiguration, stop and start, the right of
// an account to log on as a service, and the account browser.
#pragma once
#include <windows.h>
#include <winsvc.h>

#include <optional>
#include <string>
#include <vector>

#include "Handle.h"

namespace schedule {

// The service's configuration as QueryServiceConfigA gave it, kept for the wizard's life.
struct ServiceConfig {
    DWORD serviceType = 0;
    DWORD startType = 0;
    DWORD errorControl = 0;
    std::string binaryPath;
    std::string loadOrderGroup;
    DWORD tagId = 0;
    std::string dependencies;              // double-NUL-terminated list, as the service has it
    std::optional<std::string> account;    // log-on account; none keeps the service's own
    std::string displayName;
};

// Where the rights of an account are read and granted. The link uses the local
// authority by default; a test puts a recording one in its place.
class SecurityPolicy {
public:
    virtual ~SecurityPolicy() = default;
    // The server type bits of the local computer (NetServerGetInfo, level 101).
    virtual bool LocalServerType(DWORD& type) = 0;
    // The name of the domain's primary domain controller (NetGetDCName), without backslashes.
    virtual bool PrimaryDomainController(std::string& name) = 0;
    // Whether `sid` holds `right` in the policy of `server` (empty: the local computer).
    virtual bool HasRight(const std::string& server, PSID sid, const char* right) = 0;
    // Grants each right in turn, stopping at the first failure.
    virtual bool AddRights(const std::string& server, PSID sid, const std::vector<std::string>& rights) = 0;
};

// The local security authority and LAN Manager, as the computer has them.
SecurityPolicy& SystemSecurityPolicy();

// Shows the account picker and returns domain\user, or nothing when none was chosen.
class AccountBrowser {
public:
    virtual ~AccountBrowser() = default;
    virtual std::optional<std::string> Browse(HWND owner) = 0;
};

// NETUI2.DLL's account browser; when that library cannot be loaded, a small chooser of our
// own that lists this computer's accounts.
AccountBrowser& SystemAccountBrowser();

enum class LogonRight { Present, Granted, Failed };

// What runs the jobs: Windows NT 4.0's own Schedule service, which the wizard prepares
// (account, automatic start, restart), or, from Windows 2000 on, Task Scheduler, a service
// shared with the system that may not be stopped: there the wizard leaves its account and
// state alone (it only starts it when it is stopped) and the job runs under its AT service
// account.
enum class ServiceKind { FromVersion, NtSchedule, TaskScheduler };

class ScheduleServiceLink {
public:
    static constexpr const char* kServiceName = "Schedule";

    ScheduleServiceLink() = default;
    ~ScheduleServiceLink() = default;
    ScheduleServiceLink(const ScheduleServiceLink&) = delete;
    ScheduleServiceLink& operator=(const ScheduleServiceLink&) = delete;

    // Opens the local manager (all access) and the service (all access). On failure the
    // system-error box "OpenSCManager" or "OpenService" is shown and false returned.
    bool Open(const char* serviceName = kServiceName);
    // Open, and on failure end the program with exit code 0 (the programs' start-up).
    void OpenOrExit();

    SC_HANDLE Manager() const noexcept { return scm_.Get(); }
    SC_HANDLE Service() const noexcept { return service_.Get(); }

    // Owner window of the link's message boxes (none until the first page opens).
    void SetOwner(HWND owner) noexcept { owner_ = owner; }
    HWND Owner() const noexcept { return owner_; }

    // The service's dwCurrentState; on failure box "QueryServiceStatus" and nothing.
    std::optional<DWORD> QueryState();
    // The service's configuration; an account beginning with ".\" is given with the
    // computer's name in place of the dot. On failure (box "QueryServiceConfig" unless
    // the second sized call failed) nothing.
    std::optional<ServiceConfig> QueryConfig();
    // Reconfigures the service (automatic start, the config's account, the password unless
    // keepPassword), stops it when it runs and starts it again.
    bool ApplyConfig(const ServiceConfig& config, const char* password, bool keepPassword);
    bool Stop();
    // askFirst: ask "Schedule service not started..." before starting; No returns false.
    bool Start(bool askFirst);

    // Makes sure `account` holds every right of `rights`, granting what is missing.
    LogonRight EnsureLogonRight(const char* account, const std::vector<std::string>& rights);
    // The computer whose policy EnsureLogonRight changes: empty for the local computer, the
    // primary domain controller once the local computer was found to be a backup one.
    const std::string& PolicyServer() const noexcept { return policyServer_; }

    // The account browser of the "..." button: domain\user, or nothing.
    std::optional<std::string> BrowseForUser(HWND owner);

    // Whether the service is Task Scheduler (Windows 2000 and later, unless a test chose).
    bool IsTaskScheduler() const;
    void SetServiceKind(ServiceKind kind) noexcept { kind_ = kind; }
    // Task Scheduler: started when it is stopped, never reconfigured or restarted.
    bool EnsureRunning();

    // Seams for tests; nullptr restores the system's own.
    void SetSecurityPolicy(SecurityPolicy* policy) noexcept { policy_ = policy; }
    void SetAccountBrowser(AccountBrowser* browser) noexcept { browser_ = browser; }

private:
    bool WaitWhile(DWORD pendingState, DWORD finalState);
    bool LookupSid(const char* account, std::vector<BYTE>& sid);
    SecurityPolicy& Policy() { return policy_ ? *policy_ : SystemSecurityPolicy(); }

    win::ServiceHandle scm_;
    win::ServiceHandle service_;
    HWND owner_ = nullptr;
    std::string policyServer_;
    bool policyServerFound_ = false;
    SecurityPolicy* policy_ = nullptr;
    AccountBrowser* browser_ = nullptr;
    ServiceKind kind_ = ServiceKind::FromVersion;
};


// Rewrites a local account ".\name" as "COMPUTER\name"; other names come back unchanged.
std::string RewriteLocalAccount(const std::string& account, const std::string& computerName);

} // namespace schedule
