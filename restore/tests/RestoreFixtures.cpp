#include "RestoreFixtures.h"

#include <algorithm>

#include <gtest/gtest.h>

#include <map>

#include "Handle.h"
#include "Szdd.h"

using namespace testing_support;

namespace restavo_test {

std::string HiveBytes(const std::string& name)
{
    static std::map<std::string, std::string> saved;
    auto found = saved.find(name);
    if (found != saved.end()) return found->second;

    std::string subKey = std::string(kTestRoot) + "\\SavedHive";
    win::RegKey key;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (subKey + "\\" + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.Receive(), nullptr),
              ERROR_SUCCESS);
    std::string filler = PatternBytes(3000, static_cast<unsigned>(name.size() * 7 + name[0]));
    for (char& c : filler) c = static_cast<char>('a' + static_cast<unsigned char>(c) % 26);
    RegSetValueExA(key.Get(), "Hive", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                   static_cast<DWORD>(name.size() + 1));
    RegSetValueExA(key.Get(), "Filler", 0, REG_SZ, reinterpret_cast<const BYTE*>(filler.c_str()),
                   static_cast<DWORD>(filler.size() + 1));
    key.Reset();
    EXPECT_TRUE(restavo::EnablePrivilege(SE_BACKUP_NAME, nullptr));
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, key.Receive()), ERROR_SUCCESS);
    std::string file = restavo::JoinPath(LocalTemp(), "restavo-saved-hive");
    DeleteFileA(file.c_str());
    EXPECT_EQ(RegSaveKeyA(key.Get(), file.c_str(), nullptr), ERROR_SUCCESS);
    key.Reset();
    RegDeleteTreeA(HKEY_CURRENT_USER, subKey.c_str());
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(file, bytes));
    DeleteFileA(file.c_str());
    return saved[name] = bytes;
}

void WriteRepairFiles(const std::string& folder, const std::vector<std::string>& names)
{
    for (const auto& name : names)
        ASSERT_TRUE(WriteWholeFile(folder + "\\" + name + "._", szdd::Compress(HiveBytes(name), 0))) << name;
}

std::string PlantedProgram()
{
    return BinFolder() + "\\restavo_planted.exe";
}

std::string PlantedLibrary()
{
    return BinFolder() + "\\restavo_planted_library.dll";
}

std::vector<std::string> RestoreWorkFolders()
{
    std::vector<std::string> folders;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(restavo::JoinPath(LocalTemp(), "Restavo-*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return folders;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            folders.push_back(restavo::JoinPath(LocalTemp(), entry.cFileName));
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return folders;
}

std::vector<std::string> LocalLeftovers()
{
    std::vector<std::string> found, places = RestoreWorkFolders();
    places.push_back(LocalTemp());
    for (const auto& hive : restavo::HiveTable)
        if (std::any_of(places.begin(), places.end(),
                        [&](const std::string& place) { return FileExists(restavo::JoinPath(place, hive.name)); }))
            found.push_back(hive.name);
    return found;
}

void SetTestString(const std::string& subKey, const char* name, DWORD type, const std::string& value)
{
    HKEY key = nullptr;
    std::string path = std::string(kTestRoot) + "\\" + subKey;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    win::RegKey owner(key);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
}

void DeleteTestKeys()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestRoot);
}

SavedRegistryValue::SavedRegistryValue(HKEY root, std::string key, std::string value)
    : root_(root), key_(std::move(key)), value_(std::move(value))
{
    win::RegKey opened;
    keyExisted_ = RegOpenKeyExA(root_, key_.c_str(), 0, KEY_READ, opened.Receive()) == ERROR_SUCCESS;
    if (!keyExisted_) return;
    DWORD size = 0;
    if (RegQueryValueExA(opened.Get(), value_.c_str(), nullptr, &type_, nullptr, &size) != ERROR_SUCCESS) return;
    data_.resize(size);
    valueExisted_ = RegQueryValueExA(opened.Get(), value_.c_str(), nullptr, &type_, data_.data(), &size) ==
                    ERROR_SUCCESS;
    data_.resize(size);
}

SavedRegistryValue::~SavedRegistryValue()
{
    if (!keyExisted_) {
        RegDeleteTreeA(root_, key_.c_str());
        return;
    }
    win::RegKey opened;
    if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_SET_VALUE, opened.Receive()) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot put back " << key_ << "\\" << value_;
        return;
    }
    if (valueExisted_)
        RegSetValueExA(opened.Get(), value_.c_str(), 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
    else
        RegDeleteValueA(opened.Get(), value_.c_str());
}

void WriteSystemHive(const std::string& folder, const std::string& computerName)
{
    std::string subKey = "SavedSystem\\ControlSet001\\Control\\ComputerName\\ComputerName";
    SetTestString(subKey, "ComputerName", REG_SZ, computerName);
    ASSERT_TRUE(restavo::EnablePrivilege(SE_BACKUP_NAME, nullptr));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kTestRoot) + "\\SavedSystem").c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    win::RegKey owner(key);
    std::string saved = folder + "\\system.hiv";
    DeleteFileA(saved.c_str());
    ASSERT_EQ(RegSaveKeyA(key, saved.c_str(), nullptr), ERROR_SUCCESS);
    ASSERT_TRUE(szdd::CompressFile(saved.c_str(), (folder + "\\system._").c_str(), 0));
    DeleteFileA(saved.c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, (std::string(kTestRoot) + "\\SavedSystem").c_str());
}

void SetAge(const std::string& path, LONGLONG ago)
{
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER value;
    value.LowPart = now.dwLowDateTime;
    value.HighPart = now.dwHighDateTime;
    value.QuadPart = static_cast<ULONGLONG>(static_cast<LONGLONG>(value.QuadPart) - ago);
    FILETIME written = {value.LowPart, value.HighPart};
    win::Handle file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file.IsValid()) << path;
    ASSERT_TRUE(SetFileTime(file.Get(), nullptr, nullptr, &written));
}

std::string LocalTemp()
{
    char buffer[MAX_PATH] = {};
    GetTempPathA(sizeof(buffer), buffer);
    return buffer;
}

void RemoveLocalExpandedFiles()
{
    for (const auto& hive : restavo::HiveTable) DeleteFileA(restavo::JoinPath(LocalTemp(), hive.name).c_str());
    for (const std::string& folder : RestoreWorkFolders()) testing_support::RemoveTree(folder);
}

LONG RecordingSystem::ConnectRegistry(const char* machine, HKEY root, HKEY* result)
{
    connects.push_back(std::string(machine ? machine : "") + (root == HKEY_USERS ? "/HKU" : "/HKLM"));
    if (refuseConnect) return ERROR_BAD_NETPATH;
    if (refuseConnectAfter >= 0 && static_cast<int>(connects.size()) > refuseConnectAfter) return ERROR_BAD_NETPATH;
    std::string path = std::string(kTestRoot) + "\\" + (machine ? machine : "") + "\\" +
                       (root == HKEY_USERS ? "HKU" : "HKLM");
    return RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, result, nullptr);
}

std::string RecordingSystem::MapShare(const std::string& path) const
{
    // "\\machine\c$\rest" -> shareRoot + "\rest"
    if (path.rfind("\\\\", 0) != 0) return path;
    size_t share = path.find('\\', 2);
    if (share == std::string::npos) return path;
    size_t rest = path.find('\\', share + 1);
    if (rest == std::string::npos) return shareRoot;
    return shareRoot + path.substr(rest);
}

BOOL RecordingSystem::CopyToTarget(const char* source, const char* target)
{
    copies.emplace_back(source, target);
    return CopyFileA(source, MapShare(target).c_str(), FALSE);
}

BOOL RecordingSystem::DeleteTargetFile(const char* path)
{
    return DeleteFileA(MapShare(path).c_str());
}

LONG RecordingSystem::ReplaceKey(HKEY root, const char* key, const char* newFile, const char* oldFile)
{
    bool predefined = root == HKEY_LOCAL_MACHINE || root == HKEY_USERS;
    replaces.push_back({!predefined, root, key, newFile, oldFile});
    for (const auto& failing : failReplaceKeys)
        if (failing == key) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

BOOL RecordingSystem::Shutdown(const char* machine, const char* message, DWORD timeoutSeconds, BOOL forceClose,
                               BOOL restart)
{
    shutdowns.push_back({machine ? machine : "", message, timeoutSeconds, forceClose, restart});
    if (!shutdownResult) SetLastError(ERROR_NOT_READY);
    return shutdownResult;
}

} // namespace restavo_test
