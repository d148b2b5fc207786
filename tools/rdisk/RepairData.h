// The emergency repair data that the platform's "rdisk.exe -s" leaves in %windir%\Repair:
// every hive saved to "$$hive$$.tmp" and compressed in the SZDD format, plus setup.log.
// The hives are saved by the same code the agent uses where there is no rdisk.exe.
#pragma once
#include <windows.h>

#include <string>

#include "HiveSet.h"

namespace rdisk {

constexpr const char* kTemporaryHive = hives::kTemporaryHive;

// %windir%\Repair, without the trailing backslash.
std::string RepairFolder();

// Writes the whole repair data into `folder` (created when missing). Hives that cannot
// be saved are named as failed in setup.log. False when the folder or setup.log cannot
// be written or any hive failed; the last-error code of the first failure is kept.
bool WriteRepairData(const std::string& folder);

} // namespace rdisk
