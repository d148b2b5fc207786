#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BoxRecorder.h"
#include "Handle.h"
#include "ScheduleServiceLink.h"
#include "TestSupport.h"

using schedule::LogonRight;
using schedule::ScheduleServiceLink;
using schedule::ServiceConfig;

namespace {

std::string ComputerName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof(name);
    GetComputerNameA(name, &size);
    return name;
}

std::string UserName()
{
    char name[257] = {};
    DWORD size = sizeof(name);
    GetUserNameA(name, &size);
    return name;
}

// A service of our own for one test, removed at the end.
class ProbeService {
public:
    ProbeService(const char* name, const char* arguments, const char* account = nullptr) : name_(name)
    {
        win::ServiceHandle scm(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        std::string path = "\"" + testing_support::BinFolder() + "\\schedule_probe_service.exe\" " + name + " " + arguments;
        service_.Reset(CreateServiceA(scm.Get(), name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                      SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, path.c_str(), nullptr, nullptr,
                                      nullptr, account, account ? "" : nullptr));
    }
    ~ProbeService()
    {
        if (!service_) return;
        SERVICE_STATUS status = {};
        ControlService(service_.Get(), SERVICE_CONTROL_STOP, &status);
        for (int i = 0; i < 100 && QueryServiceStatus(service_.Get(), &status) &&
                        status.dwCurrentState != SERVICE_STOPPED;
             ++i)
            Sleep(50);
        DeleteService(service_.Get());
    }
    bool Created() const { return service_.IsValid(); }
    SC_HANDLE Handle() const { return service_.Get(); }

private:
    std::string name_;
    win::ServiceHandle service_;
};

// Starts the link's service, retrying while the manager's database is still locked after
// Wine's own services came up, and when a busy machine let the first start time out.
bool StartRetrying(ScheduleServiceLink& link, BoxRecorder& boxes)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        boxes.Clear();
        if (link.Start(false)) return true;
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_ALREADY_RUNNING) {
            SERVICE_STATUS status = {};
            ControlService(link.Service(), SERVICE_CONTROL_STOP, &status);
            for (int i = 0; i < 100 && QueryServiceStatus(link.Service(), &status) &&
                            status.dwCurrentState != SERVICE_STOPPED;
                 ++i)
                Sleep(50);
        } else if (error != ERROR_SERVICE_DATABASE_LOCKED && error != ERROR_SERVICE_REQUEST_TIMEOUT) {
            return false;
        }
        Sleep(250);
    }
    return false;
}

DWORD StateOf(SC_HANDLE service)
{
    SERVICE_STATUS status = {};
    QueryServiceStatus(service, &status);
    return status.dwCurrentState;
}

// A policy that answers from a list and records what it was asked.
class FakePolicy : public schedule::SecurityPolicy {
public:
    bool typeKnown = true;
    DWORD serverType = 0x1000;
    std::string controller = "PDC1";
    bool hasRight = false;
    bool grantWorks = true;
    int typeQueries = 0;
    std::vector<std::string> checkedAt;
    std::vector<std::string> grantedAt;
    std::vector<std::string> granted;

    bool LocalServerType(DWORD& type) override
    {
        ++typeQueries;
        type = serverType;
        return typeKnown;
    }
    bool PrimaryDomainController(std::string& name) override
    {
        name = controller;
        return true;
    }
    bool HasRight(const std::string& server, PSID sid, const char*) override
    {
        EXPECT_TRUE(IsValidSid(sid));
        checkedAt.push_back(server);
        return hasRight;
    }
    bool AddRights(const std::string& server, PSID sid, const std::vector<std::string>& rights) override
    {
        EXPECT_TRUE(IsValidSid(sid));
        grantedAt.push_back(server);
        granted.insert(granted.end(), rights.begin(), rights.end());
        return grantWorks;
    }
};

} // namespace

TEST(ServiceLink, OpensTheScheduleServiceAndReadsItsConfigurationBeyondTheFirstBuffer)
{
    BoxRecorder boxes;
    ScheduleServiceLink link;
    ASSERT_TRUE(link.Open());
    EXPECT_NE(link.Manager(), nullptr);
    EXPECT_NE(link.Service(), nullptr);
    std::optional<DWORD> state = link.QueryState();
    ASSERT_TRUE(state.has_value());
    EXPECT_GE(*state, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_LE(*state, static_cast<DWORD>(SERVICE_PAUSED));

    std::optional<ServiceConfig> config = link.QueryConfig();
    ASSERT_TRUE(config.has_value());
    EXPECT_FALSE(config->binaryPath.empty());
    EXPECT_FALSE(config->displayName.empty());
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(ServiceLink, AMissingServiceShowsTheOpenServiceBoxWithTheSystemText)
{
    BoxRecorder boxes;
    ScheduleServiceLink link;
    EXPECT_FALSE(link.Open("OstrelNoSuchService"));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, "OpenService");
    const std::string& text = boxes.Boxes()[0].text;
    EXPECT_EQ(text.rfind("Problem opening Schedule service.\n\n", 0), 0u);
    EXPECT_GT(text.size(), std::string("Problem opening Schedule service.\n\n").size());
    EXPECT_EQ(boxes.Boxes()[0].type, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
}

TEST(ServiceLink, RewritesALocalAccountWithTheComputerName)
{
    EXPECT_EQ(schedule::RewriteLocalAccount(".\\admin", "SERVER1"), "SERVER1\\admin");
    EXPECT_EQ(schedule::RewriteLocalAccount("DOMAIN\\admin", "SERVER1"), "DOMAIN\\admin");
    EXPECT_EQ(schedule::RewriteLocalAccount("LocalSystem", "SERVER1"), "LocalSystem");
    EXPECT_EQ(schedule::RewriteLocalAccount(".", "SERVER1"), ".");
}

TEST(ServiceLink, AServiceConfiguredForADotAccountReadsBackWithTheComputerName)
{
    BoxRecorder boxes;
    ProbeService probe("OstrelProbeAccount", "", ".\\admin");
    ASSERT_TRUE(probe.Created()) << GetLastError();
    ScheduleServiceLink link;
    ASSERT_TRUE(link.Open("OstrelProbeAccount"));
    std::optional<ServiceConfig> config = link.QueryConfig();
    ASSERT_TRUE(config.has_value());
    ASSERT_TRUE(config->account.has_value());
    EXPECT_EQ(*config->account, ComputerName() + "\\admin");
}

TEST(ServiceLink, StartAndStopPollThroughPendingStatesWithAZeroWaitHint)
{
    BoxRecorder boxes;
    ProbeService probe("OstrelProbePending", "");
    ASSERT_TRUE(probe.Created()) << GetLastError();
    ScheduleServiceLink link;
    ASSERT_TRUE(link.Open("OstrelProbePending"));

    ASSERT_TRUE(StartRetrying(link, boxes)) << GetLastError();
    EXPECT_EQ(StateOf(probe.Handle()), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_TRUE(boxes.Boxes().empty());

    EXPECT_TRUE(link.Stop());
    EXPECT_EQ(StateOf(probe.Handle()), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(ServiceLink, AServiceEndingWhileStartingGivesTheUnexpectedStateWarningAndCountsAsStarted)
{
    BoxRecorder boxes;
    ProbeService probe("OstrelProbeFailing", "fail-start");
    ASSERT_TRUE(probe.Created()) << GetLastError();
    ScheduleServiceLink link;
    ASSERT_TRUE(link.Open("OstrelProbeFailing"));
    ASSERT_TRUE(StartRetrying(link, boxes));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Unexpected service state.\n\nState 1.");
    EXPECT_EQ(boxes.Boxes()[0].caption, "<none>");
    EXPECT_EQ(boxes.Boxes()[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONEXCLAMATION));
}

TEST(ServiceLink, StartAskingFirstDoesNothingWhenTheAnswerIsNo)
{
    BoxRecorder boxes;
    ProbeService probe("OstrelProbeAsk", "");
    ASSERT_TRUE(probe.Created());
    ScheduleServiceLink link;
    ASSERT_TRUE(link.Open("OstrelProbeAsk"));
    boxes.Answer(IDNO);
    EXPECT_FALSE(link.Start(true));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Schedule service not started.\nWould you like to start it?");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Ostrel Scheduler");
    EXPECT_EQ(boxes.Boxes()[0].type & MB_TYPEMASK, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(StateOf(probe.Handle()), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST(ServiceLink, ApplyConfigSetsAutomaticStartAndTheAccountAndRestartsARunningService)
{
    BoxRecorder boxes;
    ProbeService probe("OstrelProbeApply", "");
    ASSERT_TRUE(probe.Created());
    ScheduleServiceLink link;
    ASSERT_TRUE(link.Open("OstrelProbeApply"));
    ASSERT_TRUE(StartRetrying(link, boxes));

    std::optional<ServiceConfig> config = link.QueryConfig();
    ASSERT_TRUE(config.has_value());
    config->account = "LocalSystem";
    EXPECT_TRUE(link.ApplyConfig(*config, "52718394", true));
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(StateOf(probe.Handle()), static_cast<DWORD>(SERVICE_RUNNING));

    std::optional<ServiceConfig> after = link.QueryConfig();
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(after->startType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(after->displayName, config->displayName);
    EXPECT_EQ(after->binaryPath, config->binaryPath);
}

TEST(ServiceLink, AnAccountHoldingTheRightPassesWithoutAGrant)
{
    FakePolicy policy;
    policy.hasRight = true;
    ScheduleServiceLink link;
    link.SetSecurityPolicy(&policy);
    EXPECT_EQ(link.EnsureLogonRight(UserName().c_str(), {"SeServiceLogonRight"}), LogonRight::Present);
    EXPECT_EQ(policy.checkedAt, std::vector<std::string>{""});
    EXPECT_TRUE(policy.granted.empty());
    EXPECT_TRUE(link.PolicyServer().empty());
}

TEST(ServiceLink, AMissingRightIsGrantedOnTheLocalComputer)
{
    FakePolicy policy;
    ScheduleServiceLink link;
    link.SetSecurityPolicy(&policy);
    EXPECT_EQ(link.EnsureLogonRight(UserName().c_str(), {"SeServiceLogonRight"}), LogonRight::Granted);
    EXPECT_EQ(policy.grantedAt, std::vector<std::string>{""});
    EXPECT_EQ(policy.granted, std::vector<std::string>{"SeServiceLogonRight"});

    policy.grantWorks = false;
    EXPECT_EQ(link.EnsureLogonRight(UserName().c_str(), {"SeServiceLogonRight"}), LogonRight::Failed);
}

TEST(ServiceLink, OnABackupDomainControllerThePrimaryControllersPolicyIsUsedAndKept)
{
    FakePolicy policy;
    policy.serverType = 0x1000 | 0x10;
    ScheduleServiceLink link;
    link.SetSecurityPolicy(&policy);
    EXPECT_EQ(link.EnsureLogonRight(UserName().c_str(), {"SeServiceLogonRight"}), LogonRight::Granted);
    EXPECT_EQ(link.PolicyServer(), "PDC1");
    EXPECT_EQ(policy.checkedAt, std::vector<std::string>{"PDC1"});
    EXPECT_EQ(policy.grantedAt, std::vector<std::string>{"PDC1"});

    EXPECT_EQ(link.EnsureLogonRight(UserName().c_str(), {"SeServiceLogonRight"}), LogonRight::Granted);
    EXPECT_EQ(policy.typeQueries, 1);
    EXPECT_EQ(policy.grantedAt.back(), "PDC1");
}

TEST(ServiceLink, AnUnknownServerTypeOrAnUnknownAccountSkipsTheCheck)
{
    FakePolicy policy;
    policy.typeKnown = false;
    policy.hasRight = true;
    ScheduleServiceLink link;
    link.SetSecurityPolicy(&policy);
    EXPECT_EQ(link.EnsureLogonRight(UserName().c_str(), {"SeServiceLogonRight"}), LogonRight::Granted);
    EXPECT_TRUE(policy.checkedAt.empty());

    FakePolicy second;
    ScheduleServiceLink other;
    other.SetSecurityPolicy(&second);
    EXPECT_EQ(other.EnsureLogonRight("OSTRELNOBODY\\nobody_at_all", {"SeServiceLogonRight"}), LogonRight::Failed);
    EXPECT_TRUE(second.checkedAt.empty());
    EXPECT_TRUE(second.grantedAt.empty());
}
