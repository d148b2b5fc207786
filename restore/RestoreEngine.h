// Restavo's restore engine: the hive table, the checks made on a folder of saved repair
// files, the decompression through the system's expand.exe and the swap of the hives into
// a local or remote registry.
#pragma once
#include <windows.h>
#include <array>
#include <cstdint>
#include <string>

#include "FolderGuard.h"
#include "RestoreSystem.h"

namespace restavo {

constexpr int kHiveCount = 5;
constexpr size_t kHiveSlot = 50;
constexpr size_t kPathSize = 260;
constexpr size_t kErrorTextSize = 512;

// One saved hive: its name (also the source file's name before "._"), the registry root it
// belongs to, the key replaced there and the dialog's check box for it.
struct HiveEntry {
    char name[kHiveSlot];
    HKEY root;
    char key[kHiveSlot];
    int checkBox;
};

// SAM, SECURITY, SOFTWARE, SYSTEM, DEFAULT: the order of the check boxes, of the restore and
// of the report.
extern const std::array<HiveEntry, kHiveCount> HiveTable;

// One 32-bit flag per hive in table order; 1 = restore this hive.
using HiveSelection = std::array<std::uint32_t, kHiveCount>;
// The modified-time text of each hive's source file ("mm/dd/yy hh:mm", year minus 1900).
using HiveTimes = std::array<std::array<char, kHiveSlot>, kHiveCount>;

// Failure texts of RestoreHives.
inline constexpr const char* kErrorExpanding = "during expanding file";
inline constexpr const char* kErrorCopying = "during copying file";
inline constexpr const char* kErrorConnecting = "during connecting registry";
inline constexpr const char* kErrorReplacing = "during replacing key";
// Deleting the backup an earlier restore left failed: that backup is still the running hive.
inline constexpr const char* kErrorWaiting = "an earlier restore of this hive is waiting for a restart";

// Another program (a console putting a new set in place) holds the folder.
inline constexpr const char* kErrorFolderInUse = "the folder of the saved files is in use";
// How long a confirmed restore waits for the folder.
constexpr DWORD kFolderGuardWait = 30000;

inline constexpr const char* kShutdownMessage = "Restavo v 1.00: registry hives have been restored";

// `folder` + "\" + `name`, without doubling a backslash the folder already ends in.
std::string JoinPath(const std::string& folder, const std::string& name);

// Reads a REG_SZ or REG_EXPAND_SZ value of `keyPath` under `root`. Succeeds only when the
// value has `expectedType` and fits `*inOutSize` bytes; when it is too large the needed
// size is stored in `*inOutSize`.
bool ReadRegistryString(HKEY root, const char* valueName, DWORD expectedType, const char* keyPath, char* buffer,
                        DWORD* inOutSize);

// True when at least one hive is selected and every selected hive's "<name>._" is a file in
// `folder`; fills the modified-time text of each selected hive.
bool CheckSources(const char* folder, const HiveSelection& selection, HiveTimes& times);

// Takes the folder's guard (held until `guard` goes) and runs the set check on every selected
// hive's file. False with `problem` naming the hive and the reason; the guard is then free.
bool HoldAndCheckFolder(const char* folder, const HiveSelection& selection, repairset::FolderGuard& guard,
                        std::string& problem, DWORD waitMs = kFolderGuardWait);

// "mm/dd/yy hh:mm" of a UTC file time, the year printed as year minus 1900.
std::string FormatModifiedTime(const FILETIME& time);

// The computer name kept in the saved SYSTEM hive of `folder` (control set 001); empty
// when it cannot be read.
std::string ReadSourceComputerName(const char* folder);

// True when the saved SYSTEM file of `folder` is 31 days old or more, or cannot be opened.
bool IsErdOld(const char* folder);
// The same judgement against a given current time.
bool IsErdOldAt(const char* folder, const FILETIME& now);

// Decompresses `source` into `target` with the expand.exe of the system folder (never one
// of the current folder); true when it ended with 0.
bool ExpandFile(const char* source, const char* target);

// Checks that `path` is a compressed repair file that can hold a whole hive: the format's
// signature and mode, and a declared length that is not zero and that its compressed data
// can yield. On failure `reason` says what is wrong.
bool CheckCompressedFile(const char* path, std::string& reason, DWORD* declaredLength = nullptr);

// The "Error" text for a saved hive that cannot be restored, naming the hive.
std::string SourceProblemText(const char* hive, const std::string& reason);

// CheckCompressedFile for every selected hive of `folder`; on the first failure `problem`
// holds its SourceProblemText.
bool CheckCompressedSources(const char* folder, const HiveSelection& selection, std::string& problem);

// Expands `source` into `target` and checks the result: its size equals the length the
// compressed file declares and the system loads it as a hive. On failure the expanded file
// is removed and `reason` says what is wrong.
bool ExpandWholeHive(const char* source, const char* target, std::string& reason);

// True when the last-write times of the selected hives' source files lie more than two
// hours apart: the set mixes hives saved at different times.
bool IsMixedSet(const char* folder, const HiveSelection& selection);
inline constexpr ULONGLONG kMixedSetSpread = 2ULL * 60 * 60 * 10000000ULL;

// Lower-cases `path`, then replaces every occurrence of `token` (matched in lower case) by
// `replacement` as given. The result is cut to 259 characters.
void ReplaceInPath(std::string& path, const char* token, const char* replacement);

// Enables one privilege in the process token; `machine` (or null) is where the privilege's
// value is looked up. True when the system reports no error.
bool EnablePrivilege(const char* privilegeName, const char* machine);

// Paths the restore uses on the target.
struct TargetFolders {
    std::string targetTemp; // the temporary folder as the target sees it
    std::string remoteTemp; // the same folder as this computer reaches it
    bool reachable = true;  // false: neither of the target's registry roots could be connected
    LONG connectError = ERROR_SUCCESS; // why, when not reachable
};

// The target's folders: for a machine read from its registry (through `system`), else the
// local temporary folder.
TargetFolders FindTargetFolders(const char* machine, RestoreSystem& system);

// What became of a restore beyond the selection flags.
struct RestoreDetails {
    // Each failed hive's own text: the step that failed and the system's message.
    std::array<std::string, kHiveCount> failures;
    // Set when a saved hive failed its checks: then nothing on the target was touched and
    // every selected flag is cleared.
    std::string sourceProblem;
};

// Restores every selected hive of `folder` onto `machine` (null: this computer). First every
// selected hive is expanded and checked (ExpandWholeHive); only when all pass are they
// copied and swapped in. Clears the flag of each hive that fails. Leaves no copy behind
// but the files swapped in. True only when every selected hive was restored.
bool RestoreHives(HWND owner, const char* machine, const char* folder, HiveSelection& selection,
                  RestoreDetails& details, RestoreSystem& system = RealRestoreSystem());

// Asks `machine` (null: this computer) to restart in 20 seconds; false with the last-error
// code kept when the system refuses.
bool RebootComputer(const char* machine, RestoreSystem& system = RealRestoreSystem());

// The closing report.
struct RestoreReport {
    std::string text;
    bool warning = false; // something failed: shown with the warning icon
};

// "<NAME> - Success\n" or "<NAME> - Error <its own text>\n" for each hive the user selected;
// after a failure, what stands on `computer` and that no restart was started; a line for a
// restart that could not be started (`restartError` not 0).
RestoreReport BuildReport(const HiveSelection& requested, const HiveSelection& restored, const RestoreDetails& details,
                          const std::string& computer, DWORD restartError = ERROR_SUCCESS);

// "<step>: <system message>" for a failure code.
std::string FailureText(const char* step, DWORD code);

// A computer name as typed, without leading backslashes.
std::string CleanComputerName(const std::string& typed);

// True when `name` is this computer's name (any letter case).
bool IsLocalComputer(const std::string& name);

// What the Restore command needs from the user interface.
class RestoreUi {
public:
    virtual ~RestoreUi() = default;
    virtual void ShowError(const char* text) = 0;
    // The confirmation of foreign or old data: true to go ahead.
    virtual bool Confirm(const std::string& targetName, const HiveSelection& selection, const char* folder,
                         const HiveTimes& times) = 0;
    virtual void ShowReport(const std::string& report, bool warning) = 0;
    virtual void BeginWait() {}
    virtual void EndWait() {}
};

struct RestoreRequest {
    std::string folder;
    std::string computer;
    HiveSelection selection{};
    bool reboot = false;
};

// How a Restore command ended.
enum class RestoreOutcome { InputError, SourceError, NotConfirmed, Restored, PartlyFailed };

inline constexpr const char* kComputerEmpty = "Computer name is empty";
inline constexpr const char* kSelectionEmpty = "Hives selection is empty";
inline constexpr const char* kSourceMissing = "Can not find source file for one of the selected hives";
inline constexpr const char* kReportCaption = "Restore Complete";
inline constexpr const char* kWarningReportCaption = "Restore Incomplete";

// The Restore command: checks, confirmation, restore, optional restart and report.
RestoreOutcome RunRestoreCommand(HWND owner, const RestoreRequest& request, RestoreUi& ui,
                                 RestoreSystem& system = RealRestoreSystem());

} // namespace restavo
