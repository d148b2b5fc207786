// Test data and stand-ins shared by Restavo's tests: folders of compressed repair files as
// rdisk.exe leaves them, a saved SYSTEM hive naming a computer, and a RestoreSystem that
// records what the restore asked for and stands for a remote computer.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "RestoreEngine.h"
#include "TestSupport.h"

namespace restavo_test {

// Test keys live under this key of HKEY_CURRENT_USER.
inline constexpr const char* kTestRoot = "Software\\OstrelRestoreTest";

// The bytes of a hive file standing for `name`: a key saved by the registry (so the system
// loads it as a hive) holding a value that names the hive; made once per name.
std::string HiveBytes(const std::string& name);

// Writes "<name>._" (compressed) for each named hive into `folder`.
void WriteRepairFiles(const std::string& folder, const std::vector<std::string>& names);

// The planted stand-ins (tests/Planted.cpp): a program and a library that leave
// "planted-ran.txt" in the current folder when they run.
std::string PlantedProgram();
std::string PlantedLibrary();

// The private folders ("Restavo-*") restores made in this computer's temporary folder.
std::vector<std::string> RestoreWorkFolders();
// The hive files a restore may leave in this computer's temporary folder, or in a private
// folder of its own there, that still exist.
std::vector<std::string> LocalLeftovers();

// Writes "system._" holding a saved hive whose control set 001 names `computerName`.
void WriteSystemHive(const std::string& folder, const std::string& computerName);

// Sets a file's last-write time to now minus `ago` (in 100-ns units; negative: the future).
void SetAge(const std::string& path, LONGLONG ago);
inline constexpr LONGLONG kHour = 36000000000LL;
inline constexpr LONGLONG kDay = 24 * kHour;

// Removes the expanded hive files a restore leaves in this computer's temporary folder.
void RemoveLocalExpandedFiles();
std::string LocalTemp();

// Writes a string value into HKCU\<kTestRoot>\<subKey>.
void SetTestString(const std::string& subKey, const char* name, DWORD type, const std::string& value);
void DeleteTestKeys();

// Puts one registry value, and its key, back as they were when the guard was made, on
// every way out of a test, failed assertions included: a key that did not exist is
// removed, a value that did not exist is deleted, any other value gets its type and data
// back.
class SavedRegistryValue {
public:
    SavedRegistryValue(HKEY root, std::string key, std::string value);
    ~SavedRegistryValue();
    SavedRegistryValue(const SavedRegistryValue&) = delete;
    SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;

    bool KeyExisted() const { return keyExisted_; }

private:
    HKEY root_;
    std::string key_;
    std::string value_;
    bool keyExisted_ = false;
    bool valueExisted_ = false;
    DWORD type_ = REG_NONE;
    std::vector<BYTE> data_;
};

// A RestoreSystem for tests.
//  - Registry connections to a machine open HKCU\<kTestRoot>\<machine>\HKU or \HKLM, so a
//    test fills the remote registry there; "local" connections are refused when asked.
//  - Files on "\\<machine>\c$\..." land in `shareRoot` + "\..." (real copies).
//  - RegReplaceKeyA and the restart are only recorded.
class RecordingSystem : public restavo::RestoreSystem {
public:
    struct Replace {
        bool connected;
        HKEY root; // the predefined root for a local replace
        std::string key, newFile, oldFile;
    };
    struct Shutdown {
        std::string machine, message;
        DWORD timeout;
        BOOL force, restart;
    };

    std::string shareRoot;     // stands for \\<machine>\c$
    bool refuseConnect = false;
    int refuseConnectAfter = -1; // when not negative: connections after this many are refused
    BOOL shutdownResult = TRUE;
    std::vector<std::string> failReplaceKeys;

    std::vector<std::string> connects;
    std::vector<std::pair<std::string, std::string>> copies;
    std::vector<Replace> replaces;
    std::vector<Shutdown> shutdowns;

    LONG ConnectRegistry(const char* machine, HKEY root, HKEY* result) override;
    BOOL CopyToTarget(const char* source, const char* target) override;
    BOOL DeleteTargetFile(const char* path) override;
    LONG ReplaceKey(HKEY root, const char* key, const char* newFile, const char* oldFile) override;
    BOOL Shutdown(const char* machine, const char* message, DWORD timeoutSeconds, BOOL forceClose,
                  BOOL restart) override;

    // The local path standing for a "\\machine\c$\..." path.
    std::string MapShare(const std::string& path) const;
};

} // namespace restavo_test
