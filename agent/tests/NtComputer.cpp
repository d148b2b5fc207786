#include "NtComputer.h"

#include "Handle.h"
#include "TestSupport.h"

namespace nt_computer {

bool Prepare()
{
    static int result = testing_support::RunProgram("\"" + testing_support::BinFolder() + "\\ntsim.exe\"", 120000);
    return result == 0;
}

std::string SystemFolder()
{
    char buffer[MAX_PATH + 1] = {};
    GetSystemDirectoryA(buffer, sizeof(buffer));
    return buffer;
}

std::string WindowsFolder()
{
    char buffer[MAX_PATH + 1] = {};
    GetWindowsDirectoryA(buffer, sizeof(buffer));
    return buffer;
}

std::string RepairFolder()
{
    return WindowsFolder() + "\\Repair";
}

std::string HiveFolder()
{
    return WindowsFolder() + "\\System32\\config";
}

bool InstallRepairTool(const char* fixture)
{
    const std::string source = testing_support::BinFolder() + "\\" + fixture;
    const std::string target = SystemFolder() + "\\rdisk.exe";
    // A copy still running from an earlier test would hold the file.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (CopyFileA(source.c_str(), target.c_str(), FALSE)) return true;
        Sleep(100);
    }
    return false;
}

bool RemoveRepairTool()
{
    const std::string target = SystemFolder() + "\\rdisk.exe";
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (DeleteFileA(target.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return true;
        Sleep(100); // a copy still running from an earlier test holds the file
    }
    return false;
}

std::vector<std::string> AgentSetFolders()
{
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(sizeof(temp), temp);
    std::vector<std::string> parents{temp, WindowsFolder() + "\\Temp\\"};
    if (lstrcmpiA(parents[0].c_str(), parents[1].c_str()) == 0) parents.pop_back();
    std::vector<std::string> found;
    for (const std::string& parent : parents) {
        WIN32_FIND_DATAA entry;
        win::FindHandle find(FindFirstFileA((parent + "Vantoro-*").c_str(), &entry));
        if (!find) continue;
        do {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) found.push_back(parent + entry.cFileName);
        } while (FindNextFileA(find.Get(), &entry));
    }
    return found;
}

std::optional<DWORD> ReadDword(const char* key, const char* value)
{
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_DWORD, nullptr, &data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return data;
}

void WriteDword(const char* key, const char* value, std::optional<DWORD> data)
{
    win::RegKey handle;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, handle.Receive(), nullptr) !=
        ERROR_SUCCESS)
        return;
    if (data) {
        DWORD d = *data;
        RegSetValueExA(handle.Get(), value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&d), sizeof(d));
    } else {
        RegDeleteValueA(handle.Get(), value);
    }
}

SavedDword::SavedDword(const char* key, const char* value) : key_(key), value_(value), saved_(ReadDword(key, value)) {}

SavedDword::~SavedDword()
{
    WriteDword(key_, value_, saved_);
}

bool ResetRepairFolder()
{
    testing_support::RemoveTree(RepairFolder());
    return CreateDirectoryA(RepairFolder().c_str(), nullptr) != FALSE;
}

} // namespace nt_computer
