#include "HiveSet.h"

#include <cstring>
#include <vector>

#include "Handle.h"
#include "Privilege.h"
#include "Security.h"
#include "WholeFile.h"
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
    // NT 4.0 guard: a 64-bit process runs only on 64-bit Windows (XP and later).
    if (process64) return KEY_WOW64_64KEY;
    BOOL wow64 = FALSE;
    // NT 4.0 guard: IsWow64Process exists and says WOW64 only on 64-bit Windows.
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

bool WriteTextFile(const std::string& path, const std::string& text, SECURITY_ATTRIBUTES* newFileSecurity)
{
    return win::WriteWholeFile(path, text, newFileSecurity);
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
    win::AdminOnlySecurity security(win::AdminOnlySecurity::Kind::File);
    if (!security.IsValid()) {
        HiveSetResult failed;
        failed.error = GetLastError() ? GetLastError() : ERROR_INVALID_SECURITY_DESCR;
        return failed;
    }
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
        if (!WriteTextFile(logPath, log, security.Attributes()))
            result.error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        if (result.error != ERROR_FILE_EXISTS) made.push_back(logPath); // someone else's file is not ours to delete
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

constexpr char kFolderPrefix[] = "Vantoro-";

bool ProcessRuns(DWORD processId)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (!process) return GetLastError() != ERROR_INVALID_PARAMETER; // refused: some process has that id
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

} // namespace

PrivateFolder::PrivateFolder() noexcept : win::PrivateFolder(kFolderPrefix) {}

int PrivateFolder::RemoveStale(const std::string& parent)
{
    std::string base;
    if (!BaseFolder(parent, base)) return 0;
    const DWORD saved = GetLastError();
    int removed = 0;
    WIN32_FIND_DATAA entry;
    win::FindHandle find(FindFirstFileA((base + "\\" + kFolderPrefix + "*").c_str(), &entry));
    if (find) {
        do {
            DWORD processId = 0;
            // A link to another folder (Windows 2000 and later) holds no files of the agent's.
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
                (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
                !ProcessIdOfName(kFolderPrefix, entry.cFileName, processId) || processId == GetCurrentProcessId() ||
                ProcessRuns(processId))
                continue;
            const std::string folder = base + "\\" + entry.cFileName;
            // Only the names an agent makes there.
            for (const HiveSource& hive : kRepairHives) DeleteFileA((folder + "\\" + hive.repairName).c_str());
            DeleteFileA((folder + "\\" + kSetupLog).c_str());
            DeleteFileA((folder + "\\" + kTemporaryHive).c_str());
            if (RemoveDirectoryA(folder.c_str())) ++removed;
        } while (FindNextFileA(find.Get(), &entry));
    }
    SetLastError(saved);
    return removed;
}

} // namespace hives
