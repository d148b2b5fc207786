#include "RestoreEngine.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "Handle.h"
#include "FolderGuard.h"
#include "RepairSet.h"
#include "PrivateFolder.h"
#include "Szdd.h"
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

// The size of a file, or false when it cannot be opened.
bool ReadFileSize(const std::string& path, ULONGLONG& size)
{
    win::Handle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD high = 0;
    DWORD low = GetFileSize(file.Get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    size = (static_cast<ULONGLONG>(high) << 32) | low;
    return true;
}

constexpr char kWorkFolderPrefix[] = "Restavo-";

// A scratch key name of this run's own under HKEY_LOCAL_MACHINE: no other program can have
// made it first, or load a hive of its own there while Restavo reads it.
std::string ScratchKeyName()
{
    return win::Format("%s%lx-%s", kWorkFolderPrefix, static_cast<unsigned long>(GetCurrentProcessId()),
                       win::UnpredictableHex().c_str());
}

// The logs the registry writes beside a loaded hive: "<file>.LOG", and on Windows Vista and
// later "<file>.LOG1" and "<file>.LOG2" (fragments of the hive, SAM's and SECURITY's too).
void RemoveHiveLogs(const std::string& file)
{
    for (const char* log : {".LOG", ".LOG1", ".LOG2"}) DeleteFileA((file + log).c_str());
}

// Loads `file` as a hive under a scratch key of HKEY_LOCAL_MACHINE and unloads it again;
// removes the logs the registry writes beside a loaded hive.
LONG LoadAsHive(const std::string& file)
{
    const std::string key = ScratchKeyName();
    const char* scratchKey = key.c_str();
    EnablePrivilege(SE_RESTORE_NAME, nullptr);
    LONG result = RegLoadKeyA(HKEY_LOCAL_MACHINE, scratchKey, file.c_str());
    if (result == ERROR_SUCCESS) {
        RegUnLoadKeyA(HKEY_LOCAL_MACHINE, scratchKey);
    } else {
        // Some registries leave the scratch key behind after a refused load; the next check
        // would then be refused for that alone.
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, scratchKey);
    }
    RemoveHiveLogs(file);
    return result;
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
                         std::initializer_list<ValueChoice> choices, std::string& text, LONG& connectResult)
{
    HKEY connected = nullptr;
    connectResult = system.ConnectRegistry(machine, root, &connected);
    if (connectResult != ERROR_SUCCESS) return false;
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
    // The copy is read in a folder of this run's own that no one else may open, under a
    // scratch key of its own; both go afterwards, the registry's logs with the folder.
    win::PrivateFolder work(kWorkFolderPrefix);
    if (!work.Create()) return {};
    std::string tempFile = JoinPath(work.Path(), "sss");
    ExpandFile(source.c_str(), tempFile.c_str());
    EnablePrivilege(SE_RESTORE_NAME, nullptr);

    const std::string scratchKey = ScratchKeyName();
    std::string name;
    if (RegLoadKeyA(HKEY_LOCAL_MACHINE, scratchKey.c_str(), tempFile.c_str()) == ERROR_SUCCESS) {
        char buffer[kPathSize] = {};
        DWORD size = sizeof(buffer);
        const std::string computerNameKey = scratchKey + "\\ControlSet001\\Control\\ComputerName\\ComputerName\\";
        if (ReadRegistryString(HKEY_LOCAL_MACHINE, "ComputerName", REG_SZ, computerNameKey.c_str(), buffer, &size))
            name = buffer;
        RegUnLoadKeyA(HKEY_LOCAL_MACHINE, scratchKey.c_str());
    } else {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, scratchKey.c_str()); // see LoadAsHive
    }
    DeleteFileA(tempFile.c_str());
    RemoveHiveLogs(tempFile);
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
    // The program is named by its full path in the system folder: a bare "expand.exe" would
    // be looked for in the current folder first, which may be a folder of files copied from
    // the target.
    std::string program = win::SystemFilePath("expand.exe");
    if (program.empty()) return false;
    char command[800] = {};
    int length = std::snprintf(command, sizeof(command), "\"%s\" \"%s\" \"%s\"", program.c_str(), source, target);
    if (length < 0 || static_cast<size_t>(length) >= sizeof(command)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(program.c_str(), command, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS | DETACHED_PROCESS,
                        nullptr, nullptr, &startup, &info))
        return false;
    win::Handle process(info.hProcess);
    win::Handle thread(info.hThread);
    WaitForSingleObject(process.Get(), INFINITE);
    DWORD code = 0xFFFF;
    if (!GetExitCodeProcess(process.Get(), &code)) code = 0xFFFF;
    if (code != 0) SetLastError(ERROR_INVALID_DATA);
    return code == 0;
}

bool CheckCompressedFile(const char* path, std::string& reason, DWORD* declaredLength)
{
    win::Handle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    if (!file) {
        reason = FailureText("the file cannot be read", GetLastError());
        return false;
    }
    DWORD high = 0;
    DWORD size = GetFileSize(file.Get(), &high);
    szdd::Header header = {};
    DWORD got = 0;
    if (size == INVALID_FILE_SIZE || high != 0 || size < sizeof(header) ||
        !ReadFile(file.Get(), &header, sizeof(header), &got, nullptr) || got != sizeof(header) ||
        std::memcmp(header.magic, szdd::kSignature, sizeof(szdd::kSignature)) != 0 || header.mode != szdd::kModeLzss) {
        reason = "the file is not a compressed repair file";
        return false;
    }
    // Each flag byte governs eight items; a two-byte item yields at most 18 bytes. Nine bytes
    // out for each byte in is more than the format can give.
    ULONGLONG data = size - sizeof(header);
    if (header.uncompressedSize == 0) {
        reason = "the file declares an empty hive";
        return false;
    }
    if (header.uncompressedSize > data * 9) {
        reason = win::Format("the file declares %lu bytes, which its %lu bytes of compressed data cannot hold",
                             static_cast<unsigned long>(header.uncompressedSize), static_cast<unsigned long>(data));
        return false;
    }
    if (declaredLength) *declaredLength = header.uncompressedSize;
    return true;
}

std::string SourceProblemText(const char* hive, const std::string& reason)
{
    return win::Format("Can not restore the hive %s from its saved file: %s", hive, reason.c_str());
}

bool CheckCompressedSources(const char* folder, const HiveSelection& selection, std::string& problem)
{
    for (int i = 0; i < kHiveCount; ++i) {
        if (!selection[i]) continue;
        std::string reason;
        if (!CheckCompressedFile(SourceFile(folder, HiveTable[i]).c_str(), reason)) {
            problem = SourceProblemText(HiveTable[i].name, reason);
            return false;
        }
    }
    return true;
}

bool ExpandWholeHive(const char* source, const char* target, std::string& reason)
{
    DWORD declared = 0;
    if (!CheckCompressedFile(source, reason, &declared)) return false;
    if (!ExpandFile(source, target)) {
        reason = FailureText(kErrorExpanding, GetLastError());
        DeleteFileA(target);
        return false;
    }
    ULONGLONG size = 0;
    if (!ReadFileSize(target, size) || size != declared) {
        reason = win::Format("it expanded to %lu bytes of the %lu its file declares", static_cast<unsigned long>(size),
                             static_cast<unsigned long>(declared));
        DeleteFileA(target);
        return false;
    }
    LONG loaded = LoadAsHive(target);
    if (loaded != ERROR_SUCCESS) {
        reason = FailureText("the system cannot load it as a hive", static_cast<DWORD>(loaded));
        DeleteFileA(target);
        return false;
    }
    return true;
}

bool IsMixedSet(const char* folder, const HiveSelection& selection)
{
    ULONGLONG earliest = ~0ULL;
    ULONGLONG latest = 0;
    for (int i = 0; i < kHiveCount; ++i) {
        FILETIME written = {};
        if (!selection[i] || !ReadLastWriteTime(SourceFile(folder, HiveTable[i]), written)) continue;
        ULONGLONG ticks = ToTicks(written);
        if (ticks < earliest) earliest = ticks;
        if (ticks > latest) latest = ticks;
    }
    return latest > earliest && latest - earliest > kMixedSetSpread;
}

std::string FailureText(const char* step, DWORD code)
{
    std::string message = win::SystemMessageText(code);
    if (message.empty()) message = win::Format("error %lu", static_cast<unsigned long>(code));
    return std::string(step) + ": " + message;
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
    LONG usersConnect = ERROR_SUCCESS;
    LONG machineConnect = ERROR_SUCCESS;
    if (!ReadConnectedString(system, machine, HKEY_USERS, ".DEFAULT\\Environment",
                             {{"temp", REG_SZ}, {"TEMP", REG_EXPAND_SZ}}, targetTemp, usersConnect))
        targetTemp = "%SystemDrive%\\temp"; // the drive below already carries its colon
    std::string systemRoot;
    if (!ReadConnectedString(system, machine, HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                             {{"SystemRoot", REG_SZ}}, systemRoot, machineConnect) ||
        systemRoot.empty())
        systemRoot = "C:\\Winnt";
    // Folders guessed for a computer whose registry answers neither connection are no
    // better than guesses: the restore stops there.
    if (usersConnect != ERROR_SUCCESS && machineConnect != ERROR_SUCCESS) {
        folders.reachable = false;
        folders.connectError = machineConnect;
    }
    std::string drive = systemRoot.substr(0, 1) + ":";
    ReplaceInPath(targetTemp, "%SystemDrive%", drive.c_str());
    ReplaceInPath(targetTemp, "%SystemRoot%", systemRoot.c_str());
    std::string remoteTemp = "\\\\" + std::string(machine) + "\\" + targetTemp;
    ReplaceInPath(remoteTemp, ":", "$");
    folders.targetTemp = targetTemp;
    folders.remoteTemp = remoteTemp;
    return folders;
}

namespace {

// Expands and checks every selected hive into this computer's temporary folder. On the first
// hive that fails, every file expanded so far is removed and the problem is named.
bool PrepareHives(const char* folder, const HiveSelection& selection, const std::string& localTemp,
                  std::string& problem)
{
    for (int i = 0; i < kHiveCount; ++i) {
        if (!selection[i]) continue;
        std::string reason;
        std::string expanded = JoinPath(localTemp, HiveTable[i].name);
        if (!ExpandWholeHive(SourceFile(folder, HiveTable[i]).c_str(), expanded.c_str(), reason)) {
            problem = SourceProblemText(HiveTable[i].name, reason);
            for (int j = 0; j < i; ++j)
                if (selection[j]) DeleteFileA(JoinPath(localTemp, HiveTable[j].name).c_str());
            return false;
        }
    }
    return true;
}

// The checked copies, each held open from its check until it is copied or swapped in: no one,
// whatever their rights, can write, replace or delete a copy in that time.
class HeldCopies {
public:
    bool Hold(const std::string& folder, const HiveSelection& selection, std::string& problem)
    {
        for (int i = 0; i < kHiveCount; ++i) {
            if (!selection[i]) continue;
            copies_[i].Reset(CreateFileA(JoinPath(folder, HiveTable[i].name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!copies_[i]) {
                problem = SourceProblemText(HiveTable[i].name, FailureText("its checked copy", GetLastError()));
                return false;
            }
        }
        return true;
    }
    void Release(int index) { copies_[index].Reset(); }

private:
    std::array<win::Handle, kHiveCount> copies_;
};

// Copies one expanded hive to the target and swaps it in; on failure `failure` holds the
// step's text with the system's message, and the copy placed on the target is removed.
bool SwapInHive(const HiveEntry& hive, const char* machine, const TargetFolders& target,
                const std::string& localExpanded, RestoreSystem& system, std::string& failure)
{
    std::string remoteCopy = JoinPath(target.remoteTemp, hive.name);
    // The backup an earlier restore left is still the running hive until that restart: its
    // file cannot be deleted then, and the hive is left alone.
    if (!system.DeleteTargetFile((remoteCopy + "x").c_str())) {
        DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) {
            failure = FailureText(kErrorWaiting, code);
            return false;
        }
    }
    if (localExpanded != remoteCopy && !system.CopyToTarget(localExpanded.c_str(), remoteCopy.c_str())) {
        // What stands there may be a file an earlier restore still waits to swap in: untouched.
        failure = FailureText(kErrorCopying, GetLastError());
        return false;
    }
    EnablePrivilege(SE_RESTORE_NAME, machine);
    std::string newFile = JoinPath(target.targetTemp, hive.name);
    std::string oldFile = newFile + "x";
    HKEY root = hive.root;
    win::RegKey connected;
    LONG result = ERROR_SUCCESS;
    if (machine) {
        HKEY key = nullptr;
        result = system.ConnectRegistry(machine, hive.root, &key);
        if (result != ERROR_SUCCESS) {
            failure = FailureText(kErrorConnecting, static_cast<DWORD>(result));
        } else {
            connected.Reset(key);
            root = key;
        }
    }
    if (result == ERROR_SUCCESS) {
        result = system.ReplaceKey(root, hive.key, newFile.c_str(), oldFile.c_str());
        if (result != ERROR_SUCCESS) failure = FailureText(kErrorReplacing, static_cast<DWORD>(result));
    }
    if (result != ERROR_SUCCESS) {
        system.DeleteTargetFile(remoteCopy.c_str());
        return false;
    }
    return true;
}

} // namespace

bool RestoreHives(HWND, const char* machine, const char* folder, HiveSelection& selection, RestoreDetails& details,
                  RestoreSystem& system)
{
    details = RestoreDetails{};
    // The copies are expanded, checked and kept until the swap in a folder made new for this
    // run, open only to the administrators and the system (the temporary folder itself is
    // open to everyone on Windows NT 4.0).
    win::PrivateFolder work(kWorkFolderPrefix);
    HeldCopies held;
    if (!work.Create()) {
        details.sourceProblem = FailureText("Can not make a private folder for the hives", GetLastError());
        selection.fill(0);
        return false;
    }
    const std::string localTemp = work.Path();
    if (!PrepareHives(folder, selection, localTemp, details.sourceProblem) ||
        !held.Hold(localTemp, selection, details.sourceProblem)) {
        selection.fill(0);
        return false;
    }

    TargetFolders target = FindTargetFolders(machine, system);
    // This computer's registry takes the checked copy where it is.
    if (!machine) target.targetTemp = target.remoteTemp = localTemp;
    bool allRestored = true;
    bool anySwappedHere = false;
    for (int i = 0; i < kHiveCount; ++i) {
        if (!selection[i]) continue;
        std::string localExpanded = JoinPath(localTemp, HiveTable[i].name);
        bool swapped = false;
        // The system opens the file it swaps in itself.
        if (!machine) held.Release(i);
        if (!target.reachable)
            details.failures[i] = FailureText(kErrorConnecting, static_cast<DWORD>(target.connectError));
        else
            swapped = SwapInHive(HiveTable[i], machine, target, localExpanded, system, details.failures[i]);
        held.Release(i);
        if (swapped && !machine) anySwappedHere = true;
        // A remote restore's expanded copies here are scratch; a local one swaps its
        // expanded file in place, so that file stays when it was swapped in.
        if (machine || !swapped) DeleteFileA(localExpanded.c_str());
        if (!swapped) {
            selection[i] = 0;
            allRestored = false;
        }
    }
    // The hives swapped in here are read at the restart: their folder stays.
    if (anySwappedHere) work.Keep();
    return allRestored;
}

bool RebootComputer(const char* machine, RestoreSystem& system)
{
    if (machine)
        EnablePrivilege(SE_REMOTE_SHUTDOWN_NAME, machine);
    else
        EnablePrivilege(SE_SHUTDOWN_NAME, nullptr);
    SetLastError(ERROR_SUCCESS);
    if (system.Shutdown(machine, kShutdownMessage, 20, TRUE, TRUE)) return true;
    if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_GEN_FAILURE);
    return false;
}

RestoreReport BuildReport(const HiveSelection& requested, const HiveSelection& restored, const RestoreDetails& details,
                          const std::string& computer, DWORD restartError)
{
    RestoreReport report;
    bool anyRestored = false;
    for (int i = 0; i < kHiveCount; ++i) {
        if (!requested[i]) continue;
        report.text += HiveTable[i].name;
        if (restored[i]) {
            anyRestored = true;
            report.text += " - Success\n";
        } else {
            report.warning = true;
            report.text += " - Error " + details.failures[i] + "\n";
        }
    }
    if (report.warning) {
        if (anyRestored)
            report.text += "\nThe hives marked Success are swapped in and take effect at the next restart of " +
                           computer + ".\nNo restart was started.\n";
        else
            report.text += "\nNo hive was swapped in on " + computer + ". No restart was started.\n";
    } else if (restartError != ERROR_SUCCESS) {
        report.warning = true;
        report.text += "\n" + FailureText("The restart could not be started", restartError) + "\n";
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

bool HoldAndCheckFolder(const char* folder, const HiveSelection& selection, repairset::FolderGuard& guard,
                        std::string& problem, DWORD waitMs)
{
    if (!guard.Acquire(folder, waitMs)) {
        problem = FailureText(kErrorFolderInUse, GetLastError());
        return false;
    }
    for (int i = 0; i < kHiveCount; ++i) {
        if (!selection[i]) continue;
        const repairset::CheckResult check = repairset::CheckHiveFile(SourceFile(folder, HiveTable[i]));
        if (!check.Passed()) {
            problem = SourceProblemText(HiveTable[i].name, repairset::Describe(check));
            guard.Release();
            return false;
        }
    }
    return true;
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
    std::string problem;
    if (!CheckCompressedSources(request.folder.c_str(), request.selection, problem)) {
        ui.ShowError(problem.c_str());
        return RestoreOutcome::SourceError;
    }
    if (!ui.Confirm(computer, request.selection, request.folder.c_str(), times)) return RestoreOutcome::NotConfirmed;
    // From the confirmation until the swaps end the folder is this restore's: no console puts
    // another set in its place meanwhile, and what is restored passed the set check.
    repairset::FolderGuard folderGuard;
    if (!HoldAndCheckFolder(request.folder.c_str(), request.selection, folderGuard, problem)) {
        ui.ShowError(problem.c_str());
        return RestoreOutcome::SourceError;
    }

    const char* machine = IsLocalComputer(computer) ? nullptr : computer.c_str();
    ui.BeginWait();
    HiveSelection restored = request.selection;
    RestoreDetails details;
    bool allRestored = RestoreHives(owner, machine, request.folder.c_str(), restored, details, system);
    DWORD restartError = ERROR_SUCCESS;
    if (allRestored && request.reboot && !RebootComputer(machine, system)) restartError = GetLastError();
    ui.EndWait();
    if (!details.sourceProblem.empty()) {
        ui.ShowError(details.sourceProblem.c_str());
        return RestoreOutcome::SourceError;
    }
    RestoreReport report = BuildReport(request.selection, restored, details, computer, restartError);
    ui.ShowReport(report.text, report.warning);
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
