// The registry quota check and correction: compares the space the hives need with the
// quota in force (or assumed) and raises RegistrySizeLimit of control set 001 when it
// is too small. Reports nothing.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

constexpr uint32_t kMemoryCap = 0xC000000;    // 192 MiB: more physical memory counts as this much
constexpr uint32_t kQuotaCeiling = 0x9800000; // 152 MiB: the largest value the correction writes

constexpr char kQuotaControlKey[] = "SYSTEM\\ControlSet001\\Control";
constexpr char kQuotaMemoryKey[] = "SYSTEM\\ControlSet001\\Control\\Session Manager\\Memory Management";
constexpr char kRegistrySizeLimit[] = "RegistrySizeLimit";
constexpr char kPagedPoolSize[] = "PagedPoolSize";

// The hive files under %windir%\System32\config, in the order they are measured.
constexpr const char* kQuotaHiveFiles[] = {"default", "Sam", "Security", "software", "system"};
constexpr size_t kQuotaHiveCount = sizeof(kQuotaHiveFiles) / sizeof(kQuotaHiveFiles[0]);

// The space the hives need.
uint32_t TotalHiveSize();
// The quota in force, or the one assumed from the paged pool size or the memory.
uint32_t CurrentRegistryQuota();
// The check and the correction.
void CorrectRegistryQuota();

// The figures behind them, in unsigned 32-bit arithmetic.
namespace quota {

// Low 32 bits of a hive file's size; 0 for a file that cannot be opened.
uint32_t HiveFileSize(const char* path);
// The sum of the sizes plus the largest of them.
uint32_t HiveSpaceNeeded(const uint32_t* sizes, size_t count);
// Physical memory in bytes, at most kMemoryCap.
uint32_t CappedMemory(unsigned long long totalPhysical);
// Three sixteenths of a paged pool size, rounded down at each step.
uint32_t AssumedQuota(uint32_t pagedPool);
// True when the quota in force is smaller than what the hives need.
bool QuotaTooSmall(uint32_t current, uint32_t needed);
// The value the correction writes for `needed`.
uint32_t QuotaToWrite(uint32_t needed);

} // namespace quota
