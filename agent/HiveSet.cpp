#include "HiveSet.h"

#include <cstring>
#include <vector>

#include "Handle.h"
#include "Privilege.h"
#include "Security.h"
#include "Szdd.h"
#include "SystemText.h"

namespace hives {

IsWow64Function FindIsWow64Process()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel) return nullptr;
    return reinterpret_cast<IsWow64Function>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
}

REGSAM HiveKeyView(bool process64, IsWow64Function isWow64)
{
    if (process64) return KEY_WOW64_64KEY;
    BOOL wow64 = FALSE;
    if (isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64) return KEY_WOW64_64KEY;
    return 0;
}

REGSAM HiveKeyView()
{
    return HiveKeyView(sizeof(void*) == 8, FindIsWow64Process());
}

std::string HiveKeyName(const HiveSource& hive)
{
    return std::string(hive.root == HKEY_USERS ? "HKEY_USERS\\" : "HKEY_LOCAL_MACHINE\\") + hive.subKey;
}

bool SaveCompressedHive(const HiveSource& hive, REGSAM view, const std::string& temporary, const std::string& target,
                        DWORD& hiveSize)
{
    hiveSize = 0;
    DeleteFileA(temporary.c_str()); // RegSaveKeyA does not replace a file
    win::RegKey key;
    LONG status = RegOpenKeyExA(hive.root, hive.subKey, 0, KEY_READ | view, key.Receive());
    if (status == ERROR_SUCCESS) status = RegSaveKeyA(key.Get(), temporary.c_str(), nullptr);
    if (status != ERROR_SUCCESS) {
        DeleteFileA(temporary.c_str());
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExA(temporary.c_str(), GetFileExInfoStandard, &data)) hiveSize = data.nFileSizeLow;
    const bool packed = szdd::CompressFile(temporary.c_str(), target.c_str(), 0);
    const DWORD error = packed ? ERROR_SUCCESS : GetLastError();
    DeleteFileA(temporary.c_str());
    SetLastError(error);
    return packed;
}

std::string SetupLogHead(const std::string& folder)
{
    return "[Paths]\r\nRepairDirectory = \"" + folder + "\"\r\n\r\n[Files.Repair]\r\n";
}

std::string SetupLogLine(const HiveSource& hive, DWORD hiveSize)
{
    return win::Format("%s = \"%s\",%lu\r\n", hive.repairName, HiveKeyName(hive).c_str(),
                       static_cast<unsigned long>(hiveSize));
}

bool WriteTextFile(const std::string& path, const std::string& text)
{
    win::Handle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    if (!WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) return false;
    if (written != text.size()) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

// The set check on what was saved: a set that would not restore is not sent.
static DWORD CheckMadeSet(const std::string& folder)
{
    return repairset::CheckSet(folder).Passed() ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

HiveSetResult MakeHiveSet(const std::string& folder, HANDLE stopEvent)
{
    // Without the privilege RegSaveKeyA fails with 1314, which the outcome then names.
    win::EnablePrivilege(SE_BACKUP_NAME);
    const REGSAM view = HiveKeyView();
    const std::string temporary = folder + "\\" + kTemporaryHive;

    HiveSetResult result;
    std::vector<std::string> made;
    std::string log = SetupLogHead(folder);
    for (const HiveSource& hive : kRepairHives) {
        if (stopEvent && WaitForSingleObject(stopEvent, 0) != WAIT_TIMEOUT) {
            result.error = ERROR_OPERATION_ABORTED;
            break;
        }
        const std::string target = folder + "\\" + hive.repairName;
        DWORD hiveSize = 0;
        if (!SaveCompressedHive(hive, view, temporary, target, hiveSize)) {
            result.error = GetLastError();
            if (result.error == ERROR_SUCCESS) result.error = ERROR_GEN_FAILURE;
            result.failedHive = &hive;
            made.push_back(target); // a compressed file may be half written
            break;
        }
        made.push_back(target);
        log += SetupLogLine(hive, hiveSize);
    }
    if (result.Made()) {
        const std::string logPath = folder + "\\" + kSetupLog;
        made.push_back(logPath);
        if (!WriteTextFile(logPath, log)) result.error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    }
    if (result.Made()) result.error = CheckMadeSet(folder);
    if (!result.Made()) {
        for (const std::string& path : made) DeleteFileA(path.c_str());
        SetLastError(result.error);
    }
    return result;
}

std::string HiveSetOutcomeText(const HiveSetResult& result)
{
    if (result.Made()) return kHiveSetMadeText;
    const unsigned long code = result.error;
    if (result.failedHive)
        return win::Format("Unable to save the %s hive without rdisk.exe: error %lu", HiveKeyName(*result.failedHive).c_str(),
                           code);
    if (result.error == ERROR_OPERATION_ABORTED) return "Stopped while saving the hives";
    return win::Format("Unable to write %s without rdisk.exe: error %lu", kSetupLog, code);
}

namespace {

constexpr int kNameAttempts = 100;

} // namespace

bool PrivateFolder::Create(const std::string& parent)
{
    Remove();
    std::string base = parent;
    if (base.empty()) {
        char temp[MAX_PATH + 1] = {};
        const DWORD length = GetTempPathA(sizeof(temp), temp);
        if (length == 0 || length >= sizeof(temp)) {
            if (length != 0) SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return false;
        }
        base = temp;
    }
    if (!base.empty() && base.back() == '\\') base.pop_back();
    win::AdminOnlySecurity security(win::AdminOnlySecurity::Kind::Folder);
    if (!security.IsValid()) return false;
    const DWORD seed = GetTickCount();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string path = win::Format("%s\\Vantoro-%lx-%lx", base.c_str(),
                                             static_cast<unsigned long>(GetCurrentProcessId()),
                                             static_cast<unsigned long>(seed + attempt));
        if (CreateDirectoryA(path.c_str(), security.Attributes())) {
            path_ = path;
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    SetLastError(ERROR_ALREADY_EXISTS);
    return false;
}

void PrivateFolder::Remove() noexcept
{
    if (path_.empty()) return;
    const DWORD saved = GetLastError();
    WIN32_FIND_DATAA entry;
    win::FindHandle find(FindFirstFileA((path_ + "\\*").c_str(), &entry));
    if (find) {
        do {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue; // only files are made here
            const std::string file = path_ + "\\" + entry.cFileName;
            SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(file.c_str());
        } while (FindNextFileA(find.Get(), &entry));
    }
    find.Reset();
    RemoveDirectoryA(path_.c_str());
    path_.clear();
    SetLastError(saved);
}

} // namespace hives
