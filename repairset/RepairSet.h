// The repair set: what one computer's emergency repair data must hold to restore it, and the
// one check that says whether a folder of it would restore. The console checks a received
// set before it replaces the last good one, Restavo before any swap, and the agent what it
// saved itself.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

namespace repairset {

// The five compressed hives a set holds, in the order rdisk.exe saves them, and the log
// that names them.
inline constexpr const char* kHiveFiles[] = {"sam._", "security._", "software._", "system._", "default._"};
inline constexpr size_t kHiveFileCount = sizeof(kHiveFiles) / sizeof(kHiveFiles[0]);
inline constexpr char kSetupLog[] = "setup.log";
// The longest name of the set's files (a receiving folder must leave room for it).
inline constexpr size_t kLongestFileName = 10;

// Why a file fails the check.
enum class Fault {
    None,
    Missing,       // the file is not there (or is a folder)
    Unreadable,    // it cannot be opened or read: `error` has the system's code
    NotCompressed, // no SZDD signature and mode
    Cut,           // its data ends before the length its header declares
    TooLong,       // its data runs past that length
    NotAHive,      // it expands to something the system would not load as a hive
};

struct CheckResult {
    Fault fault = Fault::None;
    std::string file; // the file that failed
    DWORD error = ERROR_SUCCESS;
    bool Passed() const noexcept { return fault == Fault::None; }
};

// The words for a fault ("cut short", "not a hive"), for logs and messages.
const char* FaultText(Fault fault) noexcept;
// "system._: cut short" (the system's code added when there is one).
std::string Describe(const CheckResult& result);

// True when `data` is a hive in the format the running system's registry saves and loads:
// Windows' regf (base block signature, checksum of its first 508 bytes, hive bins within the
// file), or, where the system is Wine, Wine's own text format, which is all it loads.
bool IsLoadableHive(const std::string& data);
// The two formats on their own (the check picks one by the running system).
bool IsRegfHive(const std::string& data);
bool IsWineTextHive(const std::string& data);
bool RunningOnWine() noexcept;

// One compressed hive file: a whole SZDD stream of a loadable hive.
CheckResult CheckHiveFile(const std::string& path);
// The whole set in `folder`: every one of the five hive files, each whole and a hive.
CheckResult CheckSet(const std::string& folder);

} // namespace repairset
