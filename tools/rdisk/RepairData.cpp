#include "RepairData.h"

#include "Privilege.h"
#include "SystemText.h"

namespace rdisk {

std::string RepairFolder()
{
    char windows[MAX_PATH + 1] = {};
    UINT length = GetWindowsDirectoryA(windows, sizeof(windows));
    if (length == 0 || length >= sizeof(windows)) return std::string();
    return std::string(windows) + "\\Repair";
}

bool WriteRepairData(const std::string& folder)
{
    if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    win::EnablePrivilege(SE_BACKUP_NAME);

    const std::string temporary = folder + "\\" + hives::kTemporaryHive;
    const REGSAM view = hives::HiveKeyView();
    std::string log = hives::SetupLogHead(folder);
    DWORD firstError = ERROR_SUCCESS;
    for (const hives::HiveSource& hive : hives::kRepairHives) {
        DWORD hiveSize = 0;
        const std::string target = folder + "\\" + hive.repairName;
        DeleteFileA(target.c_str()); // the last run's file: the compressed file is made new
        if (hives::SaveCompressedHive(hive, view, temporary, target, hiveSize)) {
            log += hives::SetupLogLine(hive, hiveSize);
        } else {
            DWORD error = GetLastError();
            if (firstError == ERROR_SUCCESS) firstError = error;
            DeleteFileA(target.c_str());
            log += win::Format("; %s: \"%s\" could not be saved, error %lu\r\n", hive.repairName,
                               hives::HiveKeyName(hive).c_str(), error);
        }
    }

    if (!hives::WriteTextFile(folder + "\\" + hives::kSetupLog, log)) return false;
    SetLastError(firstError);
    return firstError == ERROR_SUCCESS;
}

} // namespace rdisk
