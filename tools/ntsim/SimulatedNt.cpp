#include "SimulatedNt.h"

#include <windows.h>

#include "Handle.h"
#include "Privilege.h"

namespace ntsim {
namespace {

bool CreateKey(HKEY root, const char* path, win::RegKey& key)
{
    LONG status = RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                                  key.Receive(), nullptr);
    SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

bool SetIfAbsent(HKEY key, const char* name, DWORD type, const void* data, DWORD size)
{
    if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) return true;
    LONG status = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

bool PrepareControlSet()
{
    win::RegKey control, memory, computerName;
    if (!CreateKey(HKEY_LOCAL_MACHINE, kControlKey, control)) return false;
    if (!CreateKey(HKEY_LOCAL_MACHINE, kMemoryManagementKey, memory)) return false;
    // 0 lets the system size the paged pool itself, as on a fresh installation.
    const DWORD pagedPool = 0;
    if (!SetIfAbsent(memory.Get(), "PagedPoolSize", REG_DWORD, &pagedPool, sizeof(pagedPool))) return false;
    if (!CreateKey(HKEY_LOCAL_MACHINE, kComputerNameKey, computerName)) return false;
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof(name);
    if (!GetComputerNameA(name, &size)) return false;
    return SetIfAbsent(computerName.Get(), "ComputerName", REG_SZ, name, size + 1);
}

// HKLM\SAM and HKLM\SECURITY with the first keys of their usual trees.
bool PrepareSecurityHives()
{
    win::RegKey account, policy;
    if (!CreateKey(HKEY_LOCAL_MACHINE, "SAM\\SAM\\Domains\\Account\\Users", account)) return false;
    const DWORD revision = 1;
    if (!SetIfAbsent(account.Get(), "Revision", REG_DWORD, &revision, sizeof(revision))) return false;
    if (!CreateKey(HKEY_LOCAL_MACHINE, "SECURITY\\Policy\\Accounts", policy)) return false;
    return SetIfAbsent(policy.Get(), "Revision", REG_DWORD, &revision, sizeof(revision));
}

bool SystemFolder(std::string& folder)
{
    char buffer[MAX_PATH + 1] = {};
    UINT length = GetSystemDirectoryA(buffer, sizeof(buffer));
    if (length == 0 || length >= sizeof(buffer)) return false;
    folder = buffer;
    return true;
}

// Saves each hive into its file under System32\config, replacing an older one.
bool WriteHiveFiles()
{
    struct {
        HKEY root;
        const char* subKey;
    } const sources[] = {
        {HKEY_USERS, ".DEFAULT"},
        {HKEY_LOCAL_MACHINE, "SAM"},
        {HKEY_LOCAL_MACHINE, "SECURITY"},
        {HKEY_LOCAL_MACHINE, "SOFTWARE"},
        {HKEY_LOCAL_MACHINE, "SYSTEM"},
    };
    static_assert(sizeof(sources) / sizeof(sources[0]) == sizeof(kHiveFiles) / sizeof(kHiveFiles[0]));
    std::string system;
    if (!SystemFolder(system)) return false;
    const std::string config = system + "\\config";
    if (!CreateDirectoryA(config.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    win::EnablePrivilege(SE_BACKUP_NAME);
    for (size_t i = 0; i < sizeof(sources) / sizeof(sources[0]); ++i) {
        const std::string path = config + "\\" + kHiveFiles[i];
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
        win::RegKey key;
        LONG status = RegOpenKeyExA(sources[i].root, sources[i].subKey, 0, KEY_READ, key.Receive());
        if (status == ERROR_SUCCESS) status = RegSaveKeyA(key.Get(), path.c_str(), nullptr);
        if (status != ERROR_SUCCESS) {
            SetLastError(static_cast<DWORD>(status));
            return false;
        }
    }
    return true;
}

bool InstallRepairTool(const std::string& source)
{
    if (source.empty()) return true;
    std::string system;
    if (!SystemFolder(system)) return false;
    return CopyFileA(source.c_str(), (system + "\\rdisk.exe").c_str(), FALSE) != FALSE;
}

} // namespace

Report PrepareComputer(const std::string& rdiskSource)
{
    struct Step {
        const char* name;
        bool (*run)(const std::string&);
    } const steps[] = {
        {"control set 001", [](const std::string&) { return PrepareControlSet(); }},
        {"SAM and SECURITY keys", [](const std::string&) { return PrepareSecurityHives(); }},
        {"hive files", [](const std::string&) { return WriteHiveFiles(); }},
        {"rdisk.exe", InstallRepairTool},
    };
    for (const Step& step : steps) {
        if (!step.run(rdiskSource)) return Report{step.name, GetLastError()};
    }
    return Report{};
}

} // namespace ntsim
