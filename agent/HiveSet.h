// The repair set as rdisk.exe leaves it: each hive it saves, written with RegSaveKeyA and
// compressed into a "._" file, plus setup.log naming them. The agent makes such a set
// itself, in a private temporary folder of its own, on computers that have no rdisk.exe
// (Windows 2000 and later); the rdisk.exe stand-in of the tests saves its hives through
// the same code.
#pragma once
#include <windows.h>

#include <string>

#include "PrivateFolder.h"
#include "RepairSet.h"

namespace hives {

struct HiveSource {
    HKEY root;
    const char* subKey;
    const char* repairName; // compressed file of the set
};

// The hives rdisk.exe saves, in its order.
inline const HiveSource kRepairHives[] = {
    {HKEY_LOCAL_MACHINE, "SAM", repairset::kHiveFiles[0]},
    {HKEY_LOCAL_MACHINE, "SECURITY", repairset::kHiveFiles[1]},
    {HKEY_LOCAL_MACHINE, "SOFTWARE", repairset::kHiveFiles[2]},
    {HKEY_LOCAL_MACHINE, "SYSTEM", repairset::kHiveFiles[3]},
    {HKEY_USERS, ".DEFAULT", repairset::kHiveFiles[4]},
};
constexpr size_t kRepairHiveCount = sizeof(kRepairHives) / sizeof(kRepairHives[0]);
constexpr char kTemporaryHive[] = "$$hive$$.tmp";
constexpr const char* kSetupLog = repairset::kSetupLog;

// IsWow64Process of kernel32.dll, looked up at run time: the agent must still load on
// systems that lack it (Windows NT 4.0 and every 32-bit-only system before XP).
using IsWow64Function = BOOL(WINAPI*)(HANDLE, PBOOL);
IsWow64Function FindIsWow64Process();

// The access bit added when a hive's key is opened: KEY_WOW64_64KEY on a 64-bit system
// (a 64-bit process, or a 32-bit one that `isWow64` says runs under WOW64), so that a
// 32-bit agent saves the real SOFTWARE hive and not its 32-bit view; 0 elsewhere, where
// older systems reject the bit.
REGSAM HiveKeyView(bool process64, IsWow64Function isWow64);
// The same for this process.
REGSAM HiveKeyView();

// "HKEY_LOCAL_MACHINE\SAM", "HKEY_USERS\.DEFAULT".
std::string HiveKeyName(const HiveSource& hive);

// Saves one hive into `temporary` (replaced) and compresses it into `target`, opening the
// hive's key with `view` added. The temporary file is gone afterwards. False with the
// system's code as the last error; `hiveSize` receives the saved hive's size.
bool SaveCompressedHive(const HiveSource& hive, REGSAM view, const std::string& temporary, const std::string& target,
                        DWORD& hiveSize);

// setup.log: its head for the set in `folder`, and the line of one saved hive.
std::string SetupLogHead(const std::string& folder);
std::string SetupLogLine(const HiveSource& hive, DWORD hiveSize);
// Writes `text` as the whole file (replaced). With `newFileSecurity` the file must be new
// (CREATE_NEW: a file someone put there first fails with ERROR_FILE_EXISTS) and is made
// with that descriptor. False with the last error kept.
bool WriteTextFile(const std::string& path, const std::string& text, SECURITY_ATTRIBUTES* newFileSecurity = nullptr);

struct HiveSetResult {
    DWORD error = ERROR_SUCCESS;            // the system's code of the failure
    const HiveSource* failedHive = nullptr; // the hive that could not be saved, if it was one
    bool Made() const noexcept { return error == ERROR_SUCCESS; }
};

// Makes the whole set in `folder` (which exists): the backup privilege, every hive in
// turn, then setup.log, made new and open only to LocalSystem and the administrators (the
// saved hives take the folder's inherited entries). Stops at the first failure, or when `stopEvent` is set
// (ERROR_OPERATION_ABORTED), and then deletes every file it made: nothing half-made stays.
HiveSetResult MakeHiveSet(const std::string& folder, HANDLE stopEvent);

// The agent's outcome text for a set: kHiveSetMadeText when it was made, else which hive
// (or which step) failed and the system's code.
constexpr char kHiveSetMadeText[] = "Success: repair set made without rdisk.exe";
std::string HiveSetOutcomeText(const HiveSetResult& result);

// The agent's private temporary folder ("Vantoro-<process id>-<128 random bits>").
class PrivateFolder : public win::PrivateFolder {
public:
    PrivateFolder() noexcept;

    // The folders under `parent` (the system's temporary folder when empty) that agents
    // killed before they could remove them left: those named for a process that no longer
    // runs lose the files an agent makes there and go. A folder holding anything else, or
    // one that is a link to elsewhere, stays. Returns how many went.
    static int RemoveStale(const std::string& parent = std::string());
};

} // namespace hives
