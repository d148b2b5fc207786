#include "AgentConsole.h"

#include <tlhelp32.h>

#include "TestSupport.h"

namespace agent_console {

bool InstallAgentFile()
{
    char system[MAX_PATH + 1] = {};
    GetSystemDirectoryA(system, sizeof(system));
    const std::string source = testing_support::BinFolder() + "\\Vantoro.exe";
    const std::string target = std::string(system) + "\\Vantoro.exe";
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (CopyFileA(source.c_str(), target.c_str(), FALSE)) return true;
        Sleep(100);
    }
    return false;
}

namespace {

template <class Visit>
void ForEachProcess(const char* image, Visit visit)
{
    win::Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
        if (lstrcmpiA(entry.szExeFile, image) == 0) visit(entry.th32ProcessID);
    }
}

} // namespace

namespace {

int CountStartPending(SC_HANDLE manager)
{
    std::vector<char> buffer(256 * 1024);
    DWORD needed = 0, count = 0, resume = 0;
    if (!EnumServicesStatusA(manager, SERVICE_WIN32 | SERVICE_DRIVER, SERVICE_STATE_ALL,
                             reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data()), static_cast<DWORD>(buffer.size()),
                             &needed, &count, &resume))
        return -1;
    const auto* services = reinterpret_cast<const ENUM_SERVICE_STATUSA*>(buffer.data());
    int pending = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (services[i].ServiceStatus.dwCurrentState == SERVICE_START_PENDING) ++pending;
    }
    return pending;
}

} // namespace

DWORD WaitForServicesToSettle(DWORD timeoutMs)
{
    win::ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE));
    const DWORD begin = GetTickCount();
    int quietChecks = 0;
    while (manager && quietChecks < 6 && GetTickCount() - begin < timeoutMs) {
        quietChecks = CountStartPending(manager.Get()) == 0 ? quietChecks + 1 : 0;
        Sleep(500);
    }
    return GetTickCount() - begin;
}

int CountProcesses(const char* image)
{
    int count = 0;
    ForEachProcess(image, [&](DWORD) { ++count; });
    return count;
}

int EndRepairTools()
{
    int count = 0;
    ForEachProcess("rdisk.exe", [&](DWORD id) {
        win::Handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (process) {
            TerminateProcess(process.Get(), 0);
            WaitForSingleObject(process.Get(), 5000);
        }
        ++count;
    });
    return count;
}

AgentService::AgentService() : manager_(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {}

bool AgentService::Create()
{
    if (!manager_) return false;
    service_.Reset(OpenServiceA(manager_.Get(), kServiceName, SERVICE_ALL_ACCESS));
    if (service_) Remove();
    for (int attempt = 0; attempt < 50; ++attempt) {
        service_.Reset(CreateServiceA(manager_.Get(), kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                      SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, kImagePath,
                                      nullptr, nullptr, nullptr, nullptr, nullptr));
        if (service_ || GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) break;
        Sleep(200);
    }
    return service_.IsValid();
}

bool AgentService::Start(const std::vector<std::string>& arguments)
{
    std::vector<const char*> argv;
    for (const std::string& a : arguments) argv.push_back(a.c_str());
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (StartServiceA(service_.Get(), static_cast<DWORD>(argv.size()), argv.empty() ? nullptr : argv.data()))
            return true;
        if (GetLastError() != ERROR_SERVICE_DATABASE_LOCKED) return false;
        Sleep(200);
    }
    return false;
}

SERVICE_STATUS AgentService::Status()
{
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service_.Get(), &status)) status.dwCurrentState = 0;
    return status;
}

bool AgentService::WaitForState(DWORD state, DWORD timeoutMs)
{
    const DWORD begin = GetTickCount();
    for (;;) {
        if (Status().dwCurrentState == state) return true;
        if (GetTickCount() - begin > timeoutMs) return false;
        Sleep(100);
    }
}

void AgentService::Remove()
{
    if (!service_) return;
    SERVICE_STATUS status = Status();
    if (status.dwCurrentState != SERVICE_STOPPED && status.dwCurrentState != 0) {
        ControlService(service_.Get(), SERVICE_CONTROL_STOP, &status);
        WaitForState(SERVICE_STOPPED, 30000);
    }
    DeleteService(service_.Get());
    service_.Reset();
    for (int attempt = 0; attempt < 100; ++attempt) {
        win::ServiceHandle still(OpenServiceA(manager_.Get(), kServiceName, SERVICE_QUERY_STATUS));
        if (!still) break;
        Sleep(100);
    }
}

bool Conversation::Open()
{
    channel.name = kAgentPipeName;
    channel.openAttempts = 40;
    channel.openRetryDelay = 250;
    channel.timeout = 60000; // no test waits longer for the agent
    return channel.Open();
}

bool Conversation::ReadStatus(AgentStatus& status)
{
    status = AgentStatus{};
    return channel.ReadExact(&status, sizeof(status), true);
}

bool Conversation::SendGoAhead()
{
    const unsigned char goAhead = FILE_ATTRIBUTE_DIRECTORY;
    return channel.WriteExact(&goAhead, 1, true);
}

std::vector<std::string> Conversation::ReceiveAll(const std::string& folder, int& lastResult)
{
    std::vector<std::string> names;
    lastResult = 0;
    for (int i = 0; i < 1000; ++i) {
        std::string name;
        lastResult = channel.ReceiveFile(name, folder.c_str());
        if (lastResult != 0) break;
        names.push_back(name);
        if (name == kFinishName || name == kErrorName) break;
    }
    return names;
}

} // namespace agent_console
