#include <gtest/gtest.h>

#include "NtComputer.h"
#include "Quota.h"
#include "TestSupport.h"

using namespace quota;

namespace {
constexpr uint32_t MiB = 1024 * 1024;
}

TEST(QuotaFigures, NeededIsSumPlusLargest)
{
    const uint32_t sizes[] = {1 * MiB, 2 * MiB, 3 * MiB, 4 * MiB, 10 * MiB};
    EXPECT_EQ(30 * MiB, HiveSpaceNeeded(sizes, 5));
    const uint32_t none[] = {0, 0, 0, 0, 0};
    EXPECT_EQ(0u, HiveSpaceNeeded(none, 5));
    // Unsigned 32-bit arithmetic throughout: the sum wraps as the agent's always did.
    const uint32_t huge[] = {0x80000000u, 0x80000000u, 1, 0, 0};
    EXPECT_EQ(0x80000001u, HiveSpaceNeeded(huge, 5));
}

TEST(QuotaFigures, AssumedQuotaIsThreeSixteenthsOfCappedMemory)
{
    EXPECT_EQ(0u, AssumedQuota(0));
    EXPECT_EQ(12582912u, AssumedQuota(CappedMemory(64ull * MiB)));
    EXPECT_EQ(kMemoryCap, CappedMemory(256ull * MiB));
    EXPECT_EQ(37748736u, AssumedQuota(CappedMemory(256ull * MiB)));
    EXPECT_EQ(kMemoryCap, CappedMemory(16ull * 1024 * MiB)); // more than 32 bits of memory
    // Rounded down at each step: 100 - 25 = 75, 75 / 4 = 18.
    EXPECT_EQ(18u, AssumedQuota(100));
    EXPECT_EQ(0x30000000u, AssumedQuota(0xFFFFFFFFu)); // 0xFFFFFFFF - 0x3FFFFFFF, then / 4
}

TEST(QuotaFigures, CorrectionOnlyWhenTooSmallAndNeverAboveCeiling)
{
    EXPECT_FALSE(QuotaTooSmall(30 * MiB, 30 * MiB));
    EXPECT_FALSE(QuotaTooSmall(31 * MiB, 30 * MiB));
    EXPECT_TRUE(QuotaTooSmall(30 * MiB - 1, 30 * MiB));
    EXPECT_TRUE(QuotaTooSmall(0, 1));
    EXPECT_EQ(30 * MiB, QuotaToWrite(30 * MiB));
    EXPECT_EQ(kQuotaCeiling, QuotaToWrite(kQuotaCeiling));
    EXPECT_EQ(kQuotaCeiling, QuotaToWrite(200 * MiB));
    EXPECT_EQ(159383552u, kQuotaCeiling);
    EXPECT_EQ(201326592u, kMemoryCap);
}

// The correction against the registry and hive files of the simulated NT computer.
class QuotaOnNtComputer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(nt_computer::Prepare()); }

    static uint32_t FileSize(const std::string& path)
    {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        EXPECT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << path;
        return data.nFileSizeLow;
    }

    nt_computer::SavedDword limit_{kQuotaControlKey, kRegistrySizeLimit};
    nt_computer::SavedDword pagedPool_{kQuotaMemoryKey, kPagedPoolSize};
};

TEST_F(QuotaOnNtComputer, TotalHiveSizeMeasuresTheFiveHiveFiles)
{
    uint32_t sum = 0, largest = 0;
    for (const char* name : kQuotaHiveFiles) {
        uint32_t size = FileSize(nt_computer::HiveFolder() + "\\" + name);
        EXPECT_GT(size, 0u) << name;
        sum += size;
        largest = std::max(largest, size);
    }
    EXPECT_EQ(sum + largest, TotalHiveSize());
}

TEST_F(QuotaOnNtComputer, MissingHiveCountsAsEmpty)
{
    const std::string security = nt_computer::HiveFolder() + "\\Security";
    const std::string aside = security + ".aside";
    const uint32_t before = TotalHiveSize();
    const uint32_t securitySize = FileSize(security);
    ASSERT_TRUE(MoveFileA(security.c_str(), aside.c_str()));
    const uint32_t without = TotalHiveSize();
    MoveFileA(aside.c_str(), security.c_str());
    // Security is not the largest hive, so only its own size drops out.
    EXPECT_EQ(before - securitySize, without);
    EXPECT_EQ(0u, HiveFileSize(aside.c_str()));
}

TEST_F(QuotaOnNtComputer, CurrentQuotaPrefersLimitThenPagedPoolThenMemory)
{
    nt_computer::WriteDword(kQuotaControlKey, kRegistrySizeLimit, 12345);
    nt_computer::WriteDword(kQuotaMemoryKey, kPagedPoolSize, 64 * MiB);
    EXPECT_EQ(12345u, CurrentRegistryQuota());

    nt_computer::WriteDword(kQuotaControlKey, kRegistrySizeLimit, std::nullopt);
    EXPECT_EQ(12582912u, CurrentRegistryQuota());

    nt_computer::WriteDword(kQuotaMemoryKey, kPagedPoolSize, std::nullopt);
    MEMORYSTATUS memory{};
    memory.dwLength = sizeof(memory);
    GlobalMemoryStatus(&memory);
    EXPECT_EQ(AssumedQuota(CappedMemory(memory.dwTotalPhys)), CurrentRegistryQuota());
}

TEST_F(QuotaOnNtComputer, CorrectionWritesNeededWhenQuotaTooSmall)
{
    nt_computer::WriteDword(kQuotaControlKey, kRegistrySizeLimit, std::nullopt);
    nt_computer::WriteDword(kQuotaMemoryKey, kPagedPoolSize, 0); // assumed quota 0
    CorrectRegistryQuota();
    EXPECT_EQ(std::optional<DWORD>(QuotaToWrite(TotalHiveSize())),
              nt_computer::ReadDword(kQuotaControlKey, kRegistrySizeLimit));

    // A quota already large enough stays as it is.
    nt_computer::WriteDword(kQuotaControlKey, kRegistrySizeLimit, 0xFFFFFFF0u);
    CorrectRegistryQuota();
    EXPECT_EQ(std::optional<DWORD>(0xFFFFFFF0u), nt_computer::ReadDword(kQuotaControlKey, kRegistrySizeLimit));

    // Control set 001 is named explicitly: the current control set is not touched.
    EXPECT_EQ(std::nullopt, nt_computer::ReadDword("SYSTEM\\CurrentControlSet\\Control", kRegistrySizeLimit));
}
