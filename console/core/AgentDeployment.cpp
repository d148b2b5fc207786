#include "AgentDeployment.h"

#include "Enumeration.h"
#include "Settings.h"
#include "Synchronization.h"
#include "SystemText.h"

#include <cstring>

namespace {

constexpr DWORD kDatabaseLockedRetries = 20; // StartServiceA while the manager is busy
constexpr DWORD kDatabaseLockedPause = 500;
constexpr DWORD kMinimumStatusPause = 100; // a zero wait hint must not make a busy loop
constexpr DWORD kAgentFileDeleteWait = 5000; // ms an agent file in use is tried again
constexpr DWORD kAgentFileRetryPause = 250;

bool Cancelled(ComputerEntry& entry)
{
    if (!IsCancelRequested()) return false;
    entry.result = kJobCancelled;
    entry.errorCode = kNoErrorCode;
    return true;
}

bool Fail(ComputerEntry& entry, uint32_t result, DWORD error)
{
    entry.result = result;
    entry.errorCode = error;
    SetLastError(error);
    return false;
}

void DeleteAgentService(ComputerEntry& entry)
{
    if (entry.serviceHandle && !TheConsoleSettings().LeaveAgent) {
        DWORD saved = GetLastError();
        DeleteService(entry.serviceHandle);
        SetLastError(saved);
    }
}

} // namespace

uint16_t PlatformOfMachine(uint16_t machine) noexcept
{
    if (machine == IMAGE_FILE_MACHINE_ALPHA) return kPlatformAlpha;
    if ((machine >= 0x14C && machine <= 0x14F) || machine == IMAGE_FILE_MACHINE_AMD64) return kPlatformIntel;
    return kPlatformUndetermined;
}

bool DetectPlatform(const char* path, uint16_t& platform)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    platform = kPlatformUndetermined;
    unsigned char header[512] = {};
    DWORD got = 0;
    BOOL read = ReadFile(file, header, sizeof(header), &got, nullptr);
    CloseHandle(file);
    SetLastError(ERROR_APP_WRONG_OS);
    if (!read || got != sizeof(header)) return false;
    if (header[0] != 'M' || header[1] != 'Z') return false;
    uint32_t relocations = 0;
    uint32_t newHeader = 0;
    std::memcpy(&relocations, header + 24, 4);
    std::memcpy(&newHeader, header + 60, 4);
    if (relocations < 64 || newHeader >= 507) return false;
    if (header[newHeader] != 'P' || header[newHeader + 1] != 'E') return false;
    // The whole 16-bit machine field: its low byte alone would take x64 (0x8664) for
    // nothing known and other machines for Intel or Alpha.
    uint16_t machine = static_cast<uint16_t>(header[newHeader + 4] | (header[newHeader + 5] << 8));
    uint16_t found = PlatformOfMachine(machine);
    if (found == kPlatformUndetermined) return false;
    platform = found;
    SetLastError(ERROR_SUCCESS);
    return true;
}

void AgentStartArguments(std::string& timeLimit, std::string& alwaysCopy, std::string& checkQuota,
                         std::string& withoutRdisk)
{
    const ConsoleSettings& settings = TheConsoleSettings();
    timeLimit = win::Format("%i", static_cast<int>(settings.ERDtimeout));
    alwaysCopy = settings.AlwaysCopyFiles ? "1" : "0";
    checkQuota = settings.CheckRegQuota ? "1" : "0";
    withoutRdisk = settings.SaveHivesWithoutRdisk ? "1" : "0";
}

bool StartAgentService(SC_HANDLE service)
{
    std::string timeLimit, alwaysCopy, checkQuota, withoutRdisk;
    AgentStartArguments(timeLimit, alwaysCopy, checkQuota, withoutRdisk);
    const char* arguments[kAgentArgumentCount] = {timeLimit.c_str(), alwaysCopy.c_str(), checkQuota.c_str(),
                                                  withoutRdisk.c_str()};
    // A manager still starting its own services answers "database locked" for a moment.
    for (DWORD attempt = 0;; ++attempt) {
        if (StartServiceA(service, kAgentArgumentCount, arguments)) break;
        if (GetLastError() != ERROR_SERVICE_DATABASE_LOCKED || attempt + 1 >= kDatabaseLockedRetries) return false;
        Sleep(kDatabaseLockedPause);
    }

    return WaitForServiceStart([service](SERVICE_STATUS& status) { return QueryServiceStatus(service, &status) != FALSE; },
                               GetTickCount);
}

bool WaitForServiceStart(const std::function<bool(SERVICE_STATUS&)>& query, DWORD(WINAPI* ticks)())
{
    const DWORD startTick = ticks();
    DWORD state = SERVICE_START_PENDING;
    for (;;) {
        if (win::TicksElapsed(startTick, ticks(), kServiceStartLimit)) {
            if (state == SERVICE_RUNNING) return true;
            SetLastError(ERROR_SERVICE_REQUEST_TIMEOUT);
            return false;
        }
        SERVICE_STATUS status = {};
        if (!query(status)) return false;
        state = status.dwCurrentState;
        if (state == SERVICE_RUNNING) return true;
        if (state == SERVICE_STOPPED) {
            // It will not run any more: waiting out the limit would only delay the run.
            SetLastError(status.dwWin32ExitCode ? status.dwWin32ExitCode : ERROR_SERVICE_REQUEST_TIMEOUT);
            return false;
        }
        // Cancel ends the wait for a starting agent at once; the job is then cancelled.
        DWORD pause = status.dwWaitHint > kMinimumStatusPause ? status.dwWaitHint : kMinimumStatusPause;
        HANDLE abort = TheRunState().abortEvent;
        if (!abort) {
            Sleep(pause);
        } else if (WaitForSingleObject(abort, pause) == WAIT_OBJECT_0) {
            if (IsCancelRequested()) {
                SetLastError(ERROR_OPERATION_ABORTED);
                return false;
            }
            Sleep(pause);
        }
    }
}

bool StopAgentService(SC_HANDLE service)
{
    SERVICE_STATUS status = {};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) return false;
    for (int round = 0; round < 2; ++round) {
        if (!QueryServiceStatus(service, &status)) return false;
        if (status.dwCurrentState == SERVICE_STOPPED) return true;
        if (status.dwCurrentState != SERVICE_STOP_PENDING) return false;
        Sleep(status.dwWaitHint);
    }
    return false;
}

void CloseAgentService(ComputerEntry& entry)
{
    if (entry.serviceHandle) {
        StopAgentService(entry.serviceHandle);
        CloseServiceHandle(entry.serviceHandle);
        entry.serviceHandle = nullptr;
    }
    if (entry.scmHandle) {
        CloseServiceHandle(entry.scmHandle);
        entry.scmHandle = nullptr;
    }
}

void RemoveAgentFile(const ComputerEntry& entry)
{
    if (TheConsoleSettings().LeaveAgent || entry.agentPath.empty()) return;
    DWORD saved = GetLastError();
    // The agent process may still be ending just after its service stopped: a file in use
    // is tried again for a moment, so that no agent is left behind in the system folder.
    for (DWORD waited = 0;; waited += kAgentFileRetryPause) {
        if (DeleteFileA(entry.agentPath.c_str())) break;
        DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || waited >= kAgentFileDeleteWait) break;
        Sleep(kAgentFileRetryPause);
    }
    SetLastError(saved);
}

std::string AgentDestinationFolder(const char* computerName)
{
    const char* local = LocalComputerName();
    if (local && lstrcmpiA(local, computerName) == 0) {
        char folder[kPathBufferSize] = {};
        UINT length = GetSystemDirectoryA(folder, sizeof(folder));
        if (length > 0 && length < sizeof(folder)) return std::string(folder) + "\\";
    }
    return std::string("\\\\") + computerName + "\\ADMIN$\\system32\\";
}

bool DeployAgent(ComputerEntry& entry, PipeChannel& channel, volatile LONG* answered)
{
    const ConsoleSettings& settings = TheConsoleSettings();
    const CreationRunState& run = TheRunState();
    std::string target = "\\\\" + entry.name;

    entry.scmHandle = OpenSCManagerA(target.c_str(), nullptr, SC_MANAGER_ALL_ACCESS);
    if (!entry.scmHandle) return Fail(entry, kJobInstallError, GetLastError());
    if (answered) InterlockedExchange(answered, 1);
    if (Cancelled(entry)) return false;

    std::string destination = AgentDestinationFolder(entry.name.c_str());
    std::string source = run.localAgentPath;
    if (settings.AlphaSupport) {
        uint16_t platform = kPlatformUndetermined;
        if (!DetectPlatform((destination + "ntdll.dll").c_str(), platform))
            return Fail(entry, kJobUnsupportedPlatform, GetLastError());
        if (platform == kPlatformAlpha) source = run.localAlphaAgentPath;
    }
    entry.agentPath = destination + kAgentFileName;

    if (!CopyFileA(source.c_str(), entry.agentPath.c_str(), FALSE) && !settings.LeaveAgent) {
        DWORD error = GetLastError();
        entry.agentPath.clear(); // the file there is not this run's to delete
        return Fail(entry, kJobInstallError, error);
    }
    if (Cancelled(entry)) return false;

    std::string imagePath = std::string("%SystemRoot%\\System32\\") + kAgentFileName;
    entry.serviceHandle = CreateServiceA(entry.scmHandle, kAgentFileName, kAgentFileName, SERVICE_ALL_ACCESS,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                         imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    if (Cancelled(entry)) {
        DeleteAgentService(entry);
        return false;
    }
    if (!entry.serviceHandle) {
        entry.serviceHandle = OpenServiceA(entry.scmHandle, kAgentFileName, SERVICE_ALL_ACCESS);
        if (!entry.serviceHandle) return Fail(entry, kJobInstallError, GetLastError());
    }

    if (!StartAgentService(entry.serviceHandle)) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_ALREADY_RUNNING) {
            // Another run's agent: this run did not start it, and neither stops, deletes nor
            // replaces it or its file.
            CloseServiceHandle(entry.serviceHandle);
            entry.serviceHandle = nullptr;
            entry.agentPath.clear();
            return Fail(entry, kJobInstallError, error);
        }
        DeleteAgentService(entry);
        return Fail(entry, kJobInstallError, error);
    }
    // Only marked: the manager removes it when it stops.
    DeleteAgentService(entry);
    if (Cancelled(entry)) return false;

    channel.Close();
    channel.name = PipeChannel::ConsolePipeName(target.c_str());
    if (!channel.Open()) return Fail(entry, kJobCommunication, GetLastError());
    return true;
}
