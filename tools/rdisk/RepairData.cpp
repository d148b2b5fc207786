#include "RepairData.h"

#include "Handle.h"
#include "Privilege.h"
#include "Szdd.h"
#include "SystemText.h"

namespace rdisk {

std::string RepairFolder()
{
    char windows[MAX_PATH + 1] = {};
    UINT length = GetWindowsDirectoryA(windows, sizeof(windows));
    if (length == 0 || length >= sizeof(windows)) return std::string();
    return std::string(windows) + "\\Repair";
}

namespace {

// Saves one hive into `temporary` (replaced) and compresses it into `target`.
bool SaveHive(const HiveSource& hive, const std::string& temporary, const std::string& target, DWORD& hiveSize)
{
    DeleteFileA(temporary.c_str());
    win::RegKey key;
    LONG status = RegOpenKeyExA(hive.root, hive.subKey, 0, KEY_READ, key.Receive());
    if (status == ERROR_SUCCESS) status = RegSaveKeyA(key.Get(), temporary.c_str(), nullptr);
    if (status != ERROR_SUCCESS) {
        DeleteFileA(temporary.c_str());
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    hiveSize = GetFileAttributesExA(temporary.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
    bool packed = szdd::CompressFile(temporary.c_str(), target.c_str(), 0);
    DWORD error = GetLastError();
    DeleteFileA(temporary.c_str());
    SetLastError(error);
    return packed;
}

} // namespace

bool WriteRepairData(const std::string& folder)
{
    if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    win::EnablePrivilege(SE_BACKUP_NAME);

    const std::string temporary = folder + "\\" + kTemporaryHive;
    std::string log = "[Paths]\r\nRepairDirectory = \"" + folder + "\"\r\n\r\n[Files.Repair]\r\n";
    DWORD firstError = ERROR_SUCCESS;
    for (const HiveSource& hive : kRepairHives) {
        DWORD hiveSize = 0;
        const std::string target = folder + "\\" + hive.repairName;
        const char* rootName = hive.root == HKEY_USERS ? "HKEY_USERS" : "HKEY_LOCAL_MACHINE";
        if (SaveHive(hive, temporary, target, hiveSize)) {
            log += win::Format("%s = \"%s\\%s\",%lu\r\n", hive.repairName, rootName, hive.subKey, hiveSize);
        } else {
            DWORD error = GetLastError();
            if (firstError == ERROR_SUCCESS) firstError = error;
            DeleteFileA(target.c_str());
            log += win::Format("; %s: \"%s\\%s\" could not be saved, error %lu\r\n", hive.repairName, rootName,
                               hive.subKey, error);
        }
    }

    win::Handle file(CreateFileA((folder + "\\" + kSetupLog).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !WriteFile(file.Get(), log.data(), static_cast<DWORD>(log.size()), &written, nullptr)) return false;
    SetLastError(firstError);
    return firstError == ERROR_SUCCESS;
}

} // namespace rdisk
