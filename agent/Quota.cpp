#include "Quota.h"

#include <string>

#include "Handle.h"

namespace quota {

uint32_t HiveFileSize(const char* path)
{
    win::Handle file(CreateFileA(path, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    // A hive that cannot be opened counts as empty; its failed size (all ones) would
    // wrap the sum.
    if (!file) return 0;
    DWORD size = GetFileSize(file.Get(), nullptr);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
    return size;
}

uint32_t HiveSpaceNeeded(const uint32_t* sizes, size_t count)
{
    uint32_t sum = 0;
    uint32_t largest = 0;
    for (size_t i = 0; i < count; ++i) {
        sum += sizes[i];
        if (sizes[i] > largest) largest = sizes[i];
    }
    return sum + largest;
}

uint32_t CappedMemory(unsigned long long totalPhysical)
{
    return totalPhysical > kMemoryCap ? kMemoryCap : static_cast<uint32_t>(totalPhysical);
}

uint32_t AssumedQuota(uint32_t pagedPool)
{
    return (pagedPool - (pagedPool >> 2)) >> 2;
}

bool QuotaTooSmall(uint32_t current, uint32_t needed)
{
    return current < needed;
}

uint32_t QuotaToWrite(uint32_t needed)
{
    return needed > kQuotaCeiling ? kQuotaCeiling : needed;
}

namespace {

bool QueryDword(const char* keyPath, const char* valueName, uint32_t& value)
{
    win::RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) return false;
    DWORD data = 0;
    DWORD size = sizeof(data);
    // The value's registry type is not looked at: four bytes are four bytes.
    if (RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size) !=
        ERROR_SUCCESS)
        return false;
    value = data;
    return true;
}

} // namespace
} // namespace quota

uint32_t TotalHiveSize()
{
    char windows[261] = {};
    UINT length = GetWindowsDirectoryA(windows, sizeof(windows));
    if (length >= sizeof(windows)) windows[0] = '\0';
    uint32_t sizes[kQuotaHiveCount] = {};
    for (size_t i = 0; i < kQuotaHiveCount; ++i) {
        std::string path = std::string(windows) + "\\System32\\config\\" + kQuotaHiveFiles[i];
        sizes[i] = quota::HiveFileSize(path.c_str());
    }
    return quota::HiveSpaceNeeded(sizes, kQuotaHiveCount);
}

uint32_t CurrentRegistryQuota()
{
    uint32_t limit = 0;
    if (quota::QueryDword(kQuotaControlKey, kRegistrySizeLimit, limit)) return limit;
    uint32_t pagedPool = 0;
    if (!quota::QueryDword(kQuotaMemoryKey, kPagedPoolSize, pagedPool)) {
        MEMORYSTATUS memory{};
        memory.dwLength = sizeof(memory);
        GlobalMemoryStatus(&memory);
        pagedPool = quota::CappedMemory(memory.dwTotalPhys);
    }
    return quota::AssumedQuota(pagedPool);
}

void CorrectRegistryQuota()
{
    const uint32_t needed = TotalHiveSize();
    const uint32_t current = CurrentRegistryQuota();
    if (!quota::QuotaTooSmall(current, needed)) return;
    win::RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kQuotaControlKey, 0, KEY_SET_VALUE, key.Receive()) != ERROR_SUCCESS) return;
    const DWORD value = quota::QuotaToWrite(needed);
    RegSetValueExA(key.Get(), kRegistrySizeLimit, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}
