// The emergency repair data that the platform's "rdisk.exe -s" leaves in %windir%\Repair:
// every hive saved to "$$hive$$.tmp" and compressed in the SZDD format, plus setup.log.
#pragma once
#include <windows.h>

#include <string>

namespace rdisk {

struct HiveSource {
    HKEY root;
    const char* subKey;
    const char* repairName; // compressed file in the repair folder
};

inline const HiveSource kRepairHives[] = {
    {HKEY_LOCAL_MACHINE, "SAM", "sam._"},
    {HKEY_LOCAL_MACHINE, "SECURITY", "security._"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE", "software._"},
    {HKEY_LOCAL_MACHINE, "SYSTEM", "system._"},
    {HKEY_USERS, ".DEFAULT", "default._"},
};
constexpr char kTemporaryHive[] = "$$hive$$.tmp";
constexpr char kSetupLog[] = "setup.log";

// %windir%\Repair, without the trailing backslash.
std::string RepairFolder();

// Writes the whole repair data into `folder` (created when missing). Hives that cannot
// be saved are named as failed in setup.log. False when the folder or setup.log cannot
// be written or any hive failed; the last-error code of the first failure is kept.
bool WriteRepairData(const std::string& folder);

} // namespace rdisk
