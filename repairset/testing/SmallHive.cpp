#include "SmallHive.h"

#include "Privilege.h"
#include "RepairSet.h"
#include "Synchronization.h"
#include "SystemText.h"
#include "Szdd.h"
#include "TestSupport.h"

#include <windows.h>

#include <map>

namespace repairset_testing {
namespace {

win::CriticalSection g_lock;
std::map<size_t, std::string> g_hives;
std::map<size_t, std::string> g_packed;

std::string VariedBytes(size_t count)
{
    std::string bytes(count, '\0');
    unsigned value = 12345;
    for (size_t i = 0; i < count; ++i) {
        value = value * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(value >> 16);
    }
    return bytes;
}

std::string SaveHive(size_t paddingBytes)
{
    win::EnablePrivilege(SE_BACKUP_NAME);
    const std::string keyName = win::Format("Software\\Ostrel\\SmallHive-%lu-%lu",
                                            static_cast<unsigned long>(GetCurrentProcessId()),
                                            static_cast<unsigned long>(paddingBytes));
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return std::string();
    const char text[] = "a small hive of a test";
    RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text));
    const std::string padding = VariedBytes(paddingBytes);
    if (!padding.empty())
        RegSetValueExA(key, "Padding", 0, REG_BINARY, reinterpret_cast<const BYTE*>(padding.data()),
                       static_cast<DWORD>(padding.size()));
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(sizeof(temp), temp);
    const std::string file = std::string(temp) + win::Format("smallhive-%lu-%lu.hiv",
                                                             static_cast<unsigned long>(GetCurrentProcessId()),
                                                             static_cast<unsigned long>(paddingBytes));
    DeleteFileA(file.c_str());
    std::string bytes;
    if (RegSaveKeyA(key, file.c_str(), nullptr) != ERROR_SUCCESS || !testing_support::ReadWholeFile(file, bytes))
        bytes.clear();
    DeleteFileA(file.c_str());
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_CURRENT_USER, keyName.c_str());
    return bytes;
}

} // namespace

const std::string& SmallHive(size_t paddingBytes)
{
    win::CriticalSectionLock hold(g_lock);
    auto found = g_hives.find(paddingBytes);
    if (found == g_hives.end()) found = g_hives.emplace(paddingBytes, SaveHive(paddingBytes)).first;
    return found->second;
}

const std::string& CompressedSmallHive(size_t paddingBytes)
{
    const std::string& hive = SmallHive(paddingBytes);
    win::CriticalSectionLock hold(g_lock);
    auto found = g_packed.find(paddingBytes);
    if (found == g_packed.end()) found = g_packed.emplace(paddingBytes, szdd::Compress(hive, 0)).first;
    return found->second;
}

bool WriteSmallSet(const std::string& folder, size_t paddingBytes)
{
    bool all = true;
    std::string log = "[Paths]\r\nRepairDirectory = \"" + folder + "\"\r\n\r\n[Files.Repair]\r\n";
    for (size_t i = 0; i < repairset::kHiveFileCount; ++i) {
        const std::string& packed = CompressedSmallHive(i == 0 ? paddingBytes : 0);
        all = !packed.empty() && testing_support::WriteWholeFile(folder + "\\" + repairset::kHiveFiles[i], packed) && all;
        log += std::string(repairset::kHiveFiles[i]) + "\r\n";
    }
    return testing_support::WriteWholeFile(folder + "\\" + repairset::kSetupLog, log) && all;
}

} // namespace repairset_testing
