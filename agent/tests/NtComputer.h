// Test helpers for the simulated Windows NT computer of the test prefix.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace nt_computer {

// Runs ntsim.exe once per test program; true when the prefix is prepared.
bool Prepare();

std::string SystemFolder();
std::string WindowsFolder();
std::string RepairFolder();
std::string HiveFolder();

// Copies a program of the build (e.g. "rdisk_gone.exe") into the system folder as rdisk.exe.
bool InstallRepairTool(const char* fixture);

// Deletes the system folder's rdisk.exe, as on Windows 2000 and later.
bool RemoveRepairTool();

// Folders the agent makes for its own repair sets ("Vantoro-*") in the temporary folders
// a service of the prefix may use (this process's and the Windows folder's Temp).
std::vector<std::string> AgentSetFolders();

// A REG_DWORD of HKEY_LOCAL_MACHINE, absent as nullopt.
std::optional<DWORD> ReadDword(const char* key, const char* value);
void WriteDword(const char* key, const char* value, std::optional<DWORD> data);

// Keeps one HKLM value as it was and puts it back at the end of a test.
class SavedDword {
public:
    SavedDword(const char* key, const char* value);
    ~SavedDword();
    SavedDword(const SavedDword&) = delete;
    SavedDword& operator=(const SavedDword&) = delete;

private:
    const char* key_;
    const char* value_;
    std::optional<DWORD> saved_;
};

// Empties the repair folder (files and subfolders) and creates it again.
bool ResetRepairFolder();

} // namespace nt_computer
