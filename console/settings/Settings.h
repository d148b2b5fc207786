// The console's machine-wide settings: named values of one registry key of
// HKEY_LOCAL_MACHINE, held in memory by ConsoleSettings and LogSettings while the console runs.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

// The settings key, opened with KEY_QUERY_VALUE to read and KEY_SET_VALUE to write; the
// installer creates it, the console never does.
constexpr char kSettingsKey[] = "SOFTWARE\\Ostrel\\Salvora\\CurrentVersion\\";
// Where the separate Annalix product records its install folder (key path and value name).
constexpr char kAnnalixInstallPathValue[] = "SOFTWARE\\Ostrel\\Annalix\\InstallPath";

constexpr size_t kPathBufferSize = 260; // paths and names: 259 characters and a terminator

constexpr int32_t kDefaultErdTimeout = -3600; // the cleared "Terminate Agent after" box, 1 hour
constexpr uint32_t kDefaultMaxThreadNum = 100;
constexpr uint32_t kDefaultMaxDeployThread = 16;
constexpr long kDefaultLookupSlots = 100;

// Typed read of one value of the settings key. Fails (buffer untouched) when the key cannot
// be opened, the value is absent, its type is not `expectedType` (REG_SZ or REG_DWORD) or its
// data is larger than *inOutSize; in that last case *inOutSize receives the size needed.
bool ReadSettingValue(const char* name, DWORD expectedType, void* buffer, DWORD* inOutSize);

// A REG_SZ value of the settings key of at most `capacity` bytes with its terminator;
// the text is always terminated within that size.
bool ReadSettingString(const char* name, std::string& text, DWORD capacity = kPathBufferSize);

// Writes one value of the settings key; true on success.
bool WriteSettingValue(const char* name, DWORD type, const void* data, DWORD size);

// Reads the value named by the part of `fullPath` after its last backslash from the key
// named by the part before it, whatever its type, as text of at most 259 characters.
bool ReadRegistryPathValue(HKEY root, const char* fullPath, std::string& text);

struct ConsoleSettings;
// The console's one ConsoleSettings, held for the application object.
ConsoleSettings& TheConsoleSettings();

// The console's settings, one per process.
struct ConsoleSettings {
    int32_t ERDtimeout = kDefaultErdTimeout; // seconds; 0 = no limit; negative = limit switched off
    std::string OutDir;                      // output folder template, at most 259 characters
    uint32_t MaxThreadNum = kDefaultMaxThreadNum;
    uint32_t ServerFilter = 0;
    uint32_t AlwaysCopyFiles = 0;
    uint32_t AlphaSupport = 0;
    uint32_t LeaveAgent = 0;
    uint32_t CheckRegQuota = 0;
    // 1: where a target has no rdisk.exe (Windows 2000 and later) its agent saves the hives
    // itself; 0: such a target fails with "rdisk not found".
    uint32_t SaveHivesWithoutRdisk = 0;
    // Agent deployments a creation run makes at once, and fetches of repair files at once;
    // 1 deploys one target after another and fetches only once all are deployed.
    uint32_t MaxDeployThread = kDefaultMaxDeployThread;
    std::string InstallPath;        // program folder, no trailing backslash
    std::string HelpFilePath;       // InstallPath + "\Salvora.chm", the compiled help
    std::string AnnalixInstallPath; // empty: Annalix is not installed

    // False when the settings key or its InstallPath cannot be read: the program has not
    // been installed correctly.
    bool Load();
    // Stops at the first value that cannot be written. InstallPath is never written.
    bool Save() const;

    // The agent's time limit in milliseconds, as an unsigned 32-bit count compared against
    // elapsed tick counts; 0 means no limit (so the default -3600 s is about 49.7 days).
    uint32_t TimeoutMilliseconds() const noexcept
    {
        return static_cast<uint32_t>(ERDtimeout) * 1000u;
    }
};

// The result log's settings.
struct LogSettings {
    char LogFileName[kPathBufferSize] = {};
    uint32_t LogFullErrorNo = 0; // 0 = Full, 1 = Errors Only, 2 = None
    uint32_t LogOverwrite = 1;   // 0 = append, 1 = overwrite
    uint32_t LogWriteFile = 1;
    uint32_t LogWriteAnnalix = 0;
    uint32_t NTAppLog = 0;
    uint32_t DemandTaskExec = 0;

    // Always succeeds: every value that cannot be read keeps its default. `console` gives
    // the install folder (default file name) and whether Annalix is installed.
    void Load(const ConsoleSettings& console = TheConsoleSettings());
    bool Save(const ConsoleSettings& console = TheConsoleSettings()) const;
};

enum LogLevel : uint32_t { kLogFull = 0, kLogErrorsOnly = 1, kLogNone = 2 };

// Number of concurrent computer lookups (MaxEnumThread), read from the settings key the
// first time it is asked for and kept for the life of the process: 100 when absent or
// negative, 1 when stored as 0.
long LookupSlotCount();
// Forgets the number read, so that the next call reads the settings key again.
void ForgetLookupSlotCount();
