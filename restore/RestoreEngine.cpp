#include "RestoreEngine.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "Handle.h"
#include "SystemText.h"

namespace restavo {

const std::array<HiveEntry, kHiveCount> HiveTable = {{
    {"SAM", HKEY_LOCAL_MACHINE, "SAM", 1004},
    {"SECURITY", HKEY_LOCAL_MACHINE, "SECURITY", 1005},
    {"SOFTWARE", HKEY_LOCAL_MACHINE, "SOFTWARE", 1006},
    {"SYSTEM", HKEY_LOCAL_MACHINE, "SYSTEM", 1007},
    {"DEFAULT", HKEY_USERS, ".DEFAULT", 1008},
}};

namespace {

constexpr ULONGLONG kTicksPerSecond = 10000000ULL;
constexpr ULONGLONG kOldAge = 31ULL * 24 * 60 * 60 * kTicksPerSecond;

ULONGLONG ToTicks(const FILETIME& time)
{
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return value.QuadPart;
}

// The temporary folder of this computer, as GetTempPathA gives it (ending in a backslash).
std::string LocalTempFolder()
{
    char buffer[kPathSize] = {};
    DWORD length = GetTempPathA(sizeof(buffer), buffer);
    if (length == 0 || length >= sizeof(buffer)) return {};
    return buffer;
}

// The last-write time of a file opened for reading.
bool ReadLastWriteTime(const std::string& path, FILETIME& time)
{
    win::Handle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    return GetFileTime(file.Get(), nullptr, nullptr, &time) != FALSE;
}

std::string SourceFile(const char* folder, const HiveEntry& hive)
{
    std::string base(folder ? folder : "");
    if (base.size() > kPathSize) base.resize(kPathSize);
    return JoinPath(base, std::string(hive.name) + "._");
}

// Reads the first readable of `count` string values of `keyPath` through one connection to
// `machine`'s registry root.
struct ValueChoice {
    const char* name;
    DWORD type;
};
bool ReadConnectedString(RestoreSystem& system, const char* machine, HKEY root, const char* keyPath,
                         std::initializer_list<ValueChoice> choices, std::string& text)
{
    HKEY connected = nullptr;
    if (system.ConnectRegistry(machine, root, &connected) != ERROR_SUCCESS) return false;
    win::RegKey owner(connected);
    for (const auto& choice : choices) {
        char buffer[kPathSize] = {};
        DWORD size = sizeof(buffer);
        if (ReadRegistryString(connected, choice.name, choice.type, keyPath, buffer, &size)) {
            text = buffer;
            return true;
        }
    }
    return false;
}

} // namespace

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '\\') return folder + name;
    return folder + "\\" + name;
}

bool ReadRegistryString(HKEY root, const char* valueName, DWORD expectedType, const char* keyPath, char* buffer,
                        DWORD* inOutSize)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return false;
    win::RegKey key(opened);
    DWORD type = 0;
    DWORD needed = 0;
    if (RegQueryValueExA(key.Get(), valueName, nullptr, &type, nullptr, &needed) != ERROR_SUCCESS) return false;
    if (type != expectedType) return false;
    if (needed > *inOutSize) {
        *inOutSize = needed;
        return false;
    }
    DWORD got = *inOutSize;
    if (RegQueryValueExA(key.Get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &got) !=
            ERROR_SUCCESS ||
        type != expectedType)
        return false;
    // A stored string need not carry its terminator: add one, or refuse when there is no room.
    if (got == 0 || buffer[got - 1] != '\0') {
        if (got >= *inOutSize) {
            *inOutSize = got + 1;
            return false;
        }
        buffer[got] = '\0';
    }
    return true;
}

std::string FormatModifiedTime(const FILETIME& time)
{
    SYSTEMTIME st = {};
    if (!FileTimeToSystemTime(&time, &st)) return {};
    char text[kHiveSlot] = {};
    std::snprintf(text, sizeof(text), "%02d/%02d/%02d %02d:%02d", st.wMonth, st.wDay, st.wYear - 1900, st.wHour,
                  st.wMinute);
    return text;
}

bool CheckSources(const char* folder, const HiveSelection& selection, HiveTimes& times)
{
    bool any = false;
    for (int i = 0; i < kHiveCount; ++i) {
        if (!selection[i]) continue;
        any = true;
        std::string path = SourceFile(folder, HiveTable[i]);
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return false; // also INVALID_FILE_ATTRIBUTES
        FILETIME written = {};
        if (!ReadLastWriteTime(path, written)) return false;
        win::CopyText(times[i].data(), times[i].size(), FormatModifiedTime(written).c_str());
    }
    return any;
}

std::string ReadSourceComputerName(const char* folder)
{
    std::string source = JoinPath(folder ? folder : "", "system._");
    std::string tempFile = JoinPath(LocalTempFolder(), "sss.");
    ExpandFile(source.c_str(), tempFile.c_str());
    EnablePrivilege(SE_RESTORE_NAME, nullptr);

    std::string name;
    if (RegLoadKeyA(HKEY_LOCAL_MACHINE, "SSS", tempFile.c_str()) == ERROR_SUCCESS) {
        char buffer[kPathSize] = {};
        DWORD size = sizeof(buffer);
        if (ReadRegistryString(HKEY_LOCAL_MACHINE, "ComputerName", REG_SZ,
                               "SSS\\ControlSet001\\Control\\ComputerName\\ComputerName\\", buffer, &size))
            name = buffer;
        RegUnLoadKeyA(HKEY_LOCAL_MACHINE, "SSS");
    }
    DeleteFileA(tempFile.c_str());
    DeleteFileA((tempFile + "log").c_str());
    return name;
}

bool IsErdOldAt(const char* folder, const FILETIME& now)
{
    FILETIME written = {};
    // Data whose age cannot be told is treated as old: the user is asked rather than trusted.
    if (!ReadLastWriteTime(JoinPath(folder ? folder : "", "system._"), written)) return true;
    ULONGLONG nowTicks = ToTicks(now);
    ULONGLONG writtenTicks = ToTicks(written);
    if (writtenTicks > nowTicks) return false;
    return nowTicks - writtenTicks >= kOldAge;
}

bool IsErdOld(const char* folder)
{
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return IsErdOldAt(folder, now);
}

bool ExpandFile(const char* source, const char* target)
{
    if (!DeleteFileA(target) && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    char command[800] = {};
    int length = std::snprintf(command, sizeof(command), "expand.exe \"%s\" \"%s\"", source, target);
    if (length < 0 || static_cast<size_t>(length) >= sizeof(command)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS | DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &info))
        return false;
    win::Handle process(info.hProcess);
    win::Handle thread(info.hThread);
    WaitForSingleObject(process.Get(), INFINITE);
    DWORD code = 0xFFFF;
    if (!GetExitCodeProcess(process.Get(), &code)) code = 0xFFFF;
    return code == 0;
}

void ReplaceInPath(std::string& path, const char* token, const char* replacement)
{
    auto lower = [](std::string text) {
        if (!text.empty()) CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
        return text;
    };
    path = lower(path);
    std::string find = lower(token ? token : "");
    if (!find.empty()) {
        std::string result;
        size_t at = 0;
        for (;;) {
            size_t hit = path.find(find, at);
            if (hit == std::string::npos) break;
            result.append(path, at, hit - at);
            result += replacement ? replacement : "";
            at = hit + find.size();
        }
        result.append(path, at, std::string::npos);
        path = result;
    }
    if (path.size() > kPathSize - 1) path.resize(kPathSize - 1);
}

bool EnablePrivilege(const char* privilegeName, const char* machine)
{
    static win::Handle process;
    static win::Handle token;
    if (!token) {
        process.Reset(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId()));
        if (process) OpenProcessToken(process.Get(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Receive());
        if (!token) return false;
    }
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(machine, privilegeName, &privileges.Privileges[0].Luid)) return false;
    SetLastError(ERROR_SUCCESS);
    AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
    return GetLastError() == ERROR_SUCCESS;
}

TargetFolders FindTargetFolders(const char* machine, RestoreSystem& system)
{
    TargetFolders folders;
    if (!machine) {
        folders.targetTemp = LocalTempFolder();
        folders.remoteTemp = folders.targetTemp;
        return folders;
    }
    std::string targetTemp;
    if (!ReadConnectedString(system, machine, HKEY_USERS, ".DEFAULT\\Environment",
                             {{"temp", REG_SZ}, {"TEMP", REG_EXPAND_SZ}}, targetTemp))
        targetTemp = "%SystemDrive%\\temp"; // the drive below already carries its colon
    std::string systemRoot;
    if (!ReadConnectedString(system, machine, HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                             {{"SystemRoot", REG_SZ}}, systemRoot) ||
        systemRoot.empty())
        systemRoot = "C:\\Winnt";
    std::string drive = systemRoot.substr(0, 1) + ":";
    ReplaceInPath(targetTemp, "%SystemDrive%", drive.c_str());
    ReplaceInPath(targetTemp, "%SystemRoot%", systemRoot.c_str());
    std::string remoteTemp = "\\\\" + std::string(machine) + "\\" + targetTemp;
    ReplaceInPath(remoteTemp, ":", "$");
    folders.targetTemp = targetTemp;
    folders.remoteTemp = remoteTemp;
    return folders;
}

bool RestoreHives(HWND, const char* machine, const char* folder, HiveSelection& selection, std::string& errorText,
                  RestoreSystem& system)
{
    TargetFolders target = FindTargetFolders(machine, system);
    std::string localTemp = LocalTempFolder();
    bool allRestored = true;

    for (int i = 0; i < kHiveCount; ++i) {
        if (!selection[i]) continue;
        const HiveEntry& hive = HiveTable[i];
        const char* failure = nullptr;
        bool failed = false;

        std::string source = SourceFile(folder, hive);
        std::string remoteCopy = JoinPath(target.remoteTemp, hive.name);
        std::string localExpanded = JoinPath(localTemp, hive.name);

        if (!ExpandFile(source.c_str(), localExpanded.c_str())) {
            failed = true;
            failure = kErrorExpanding;
        } else if (localExpanded != remoteCopy && !system.CopyToTarget(localExpanded.c_str(), remoteCopy.c_str())) {
            failed = true;
            failure = kErrorCopying;
        } else if (!system.DeleteTargetFile((remoteCopy + "x").c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
            failed = true;
        } else {
            EnablePrivilege(SE_RESTORE_NAME, machine);
            std::string newFile = JoinPath(target.targetTemp, hive.name);
            std::string oldFile = newFile + "x";
            HKEY root = hive.root;
            win::RegKey connected;
            if (machine) {
                HKEY key = nullptr;
                if (system.ConnectRegistry(machine, hive.root, &key) != ERROR_SUCCESS) {
                    failed = true;
                    failure = kErrorConnecting;
                } else {
                    connected.Reset(key);
                    root = key;
                }
            }
            if (!failed &&
                system.ReplaceKey(root, hive.key, newFile.c_str(), oldFile.c_str()) != ERROR_SUCCESS) {
                failed = true;
                failure = kErrorReplacing;
            }
        }

        if (failed) {
            selection[i] = 0;
            allRestored = false;
            if (failure) errorText = failure;
        }
    }
    return allRestored;
}

void RebootComputer(const char* machine, RestoreSystem& system)
{
    if (machine)
        EnablePrivilege(SE_REMOTE_SHUTDOWN_NAME, machine);
    else
        EnablePrivilege(SE_SHUTDOWN_NAME, nullptr);
    system.Shutdown(machine, kShutdownMessage, 20, TRUE, TRUE);
}

std::string BuildReport(const HiveSelection& requested, const HiveSelection& restored, const std::string& errorText)
{
    std::string report;
    for (int i = 0; i < kHiveCount; ++i) {
        if (!requested[i]) continue;
        report += HiveTable[i].name;
        if (restored[i])
            report += " - Success\n";
        else
            report += " - Error " + errorText + "\n";
    }
    return report;
}

std::string CleanComputerName(const std::string& typed)
{
    size_t start = typed.find_first_not_of('\\');
    return start == std::string::npos ? std::string() : typed.substr(start);
}

bool IsLocalComputer(const std::string& name)
{
    char local[256] = {};
    DWORD size = sizeof(local);
    if (!GetComputerNameA(local, &size)) return false;
    return lstrcmpiA(local, name.c_str()) == 0;
}

RestoreOutcome RunRestoreCommand(HWND owner, const RestoreRequest& request, RestoreUi& ui, RestoreSystem& system)
{
    std::string computer = CleanComputerName(request.computer);
    if (computer.empty()) {
        ui.ShowError(kComputerEmpty);
        return RestoreOutcome::InputError;
    }
    bool anySelected = false;
    for (auto flag : request.selection) anySelected = anySelected || flag != 0;
    if (!anySelected) {
        ui.ShowError(kSelectionEmpty);
        return RestoreOutcome::InputError;
    }
    HiveTimes times{};
    if (!CheckSources(request.folder.c_str(), request.selection, times)) {
        ui.ShowError(kSourceMissing);
        return RestoreOutcome::InputError;
    }
    if (!ui.Confirm(computer, request.selection, request.folder.c_str(), times)) return RestoreOutcome::NotConfirmed;

    const char* machine = IsLocalComputer(computer) ? nullptr : computer.c_str();
    ui.BeginWait();
    HiveSelection restored = request.selection;
    std::string errorText;
    bool allRestored = RestoreHives(owner, machine, request.folder.c_str(), restored, errorText, system);
    if (allRestored && request.reboot) RebootComputer(machine, system);
    ui.EndWait();
    ui.ShowReport(BuildReport(request.selection, restored, errorText));
    return allRestored ? RestoreOutcome::Restored : RestoreOutcome::PartlyFailed;
}

// The real calls.
LONG RestoreSystem::ConnectRegistry(const char* machine, HKEY root, HKEY* result)
{
    return RegConnectRegistryA(machine, root, result);
}

BOOL RestoreSystem::CopyToTarget(const char* source, const char* target)
{
    return CopyFileA(source, target, FALSE);
}

BOOL RestoreSystem::DeleteTargetFile(const char* path)
{
    return DeleteFileA(path);
}

LONG RestoreSystem::ReplaceKey(HKEY root, const char* key, const char* newFile, const char* oldFile)
{
    return RegReplaceKeyA(root, key, newFile, oldFile);
}

BOOL RestoreSystem::Shutdown(const char* machine, const char* message, DWORD timeoutSeconds, BOOL forceClose,
                             BOOL restart)
{
    return InitiateSystemShutdownA(const_cast<char*>(machine), const_cast<char*>(message), timeoutSeconds, forceClose,
                                   restart);
}

RestoreSystem& RealRestoreSystem()
{
    static RestoreSystem system;
    return system;
}

} // namespace restavo
