// Prepares the running (Wine) computer as the Windows NT computer the agent expects:
// rdisk.exe in the system folder, the control set 001 keys, the SAM and SECURITY keys,
// and the hive files under %windir%\System32\config.
#pragma once
#include <string>

namespace ntsim {

struct Report {
    std::string step;  // the step that failed, empty on success
    unsigned long error = 0;
};

// Every step, in order; stops at the first failure. `rdiskSource` is the rdisk.exe to
// copy into the system folder (empty: leave the system folder alone).
Report PrepareComputer(const std::string& rdiskSource);

// Keys of control set 001 (values are added only where absent).
constexpr char kControlKey[] = "SYSTEM\\ControlSet001\\Control";
constexpr char kMemoryManagementKey[] = "SYSTEM\\ControlSet001\\Control\\Session Manager\\Memory Management";
constexpr char kComputerNameKey[] = "SYSTEM\\ControlSet001\\Control\\ComputerName\\ComputerName";

// The hive files of %windir%\System32\config, in the order the quota check measures them.
constexpr const char* kHiveFiles[] = {"default", "Sam", "Security", "software", "system"};

} // namespace ntsim
