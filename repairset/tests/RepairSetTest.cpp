#include <gtest/gtest.h>

#include <cstring>

#include "RepairSet.h"
#include "SmallHive.h"
#include "Szdd.h"
#include "TestSupport.h"

using namespace testing_support;
using repairset::Fault;

namespace {

// A regf file of one base block and one bin, its checksum right.
std::string RegfHive()
{
    std::string data(8192, '\0');
    std::memcpy(&data[0], "regf", 4);
    const uint32_t length = 4096;
    std::memcpy(&data[0x28], &length, 4);
    std::memcpy(&data[4096], "hbin", 4);
    uint32_t sum = 0;
    for (size_t at = 0; at < 508; at += 4) {
        uint32_t word;
        std::memcpy(&word, &data[at], 4);
        sum ^= word;
    }
    std::memcpy(&data[508], &sum, 4);
    return data;
}

} // namespace

// The one set check over every way a received set can be broken, and a good set.
TEST(RepairSet, CheckCatchesEveryBrokenSetAndPassesAGoodOne)
{
    const std::string& packed = repairset_testing::CompressedSmallHive();
    ASSERT_FALSE(packed.empty()) << "no hive could be saved";
    std::string declaredLonger = packed;
    declaredLonger[10] = static_cast<char>(declaredLonger[10] + 1); // one byte more than it holds
    std::string declaredShorter = packed;
    declaredShorter[10] = static_cast<char>(declaredShorter[10] - 1);

    struct Case {
        const char* what;
        const char* file;    // the hive file changed; nullptr: none
        std::string bytes;   // its new bytes
        bool remove;         // the file removed instead
        bool emptySet;       // no file at all
        Fault fault;
    } cases[] = {
        {"good", nullptr, "", false, false, Fault::None},
        {"cut", "software._", packed.substr(0, packed.size() / 2), false, false, Fault::Cut},
        {"header only", "system._", packed.substr(0, 14), false, false, Fault::Cut},
        {"declares more", "sam._", declaredLonger, false, false, Fault::Cut},
        {"declares less", "sam._", declaredShorter, false, false, Fault::TooLong},
        {"not SZDD", "system._", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SYSTEM]\r\n", false, false, Fault::NotCompressed},
        {"empty file", "default._", "", false, false, Fault::NotCompressed},
        {"SZDD of no hive", "security._", szdd::Compress(std::string(5000, 'q'), 0), false, false, Fault::NotAHive},
        {"missing hive", "security._", "", true, false, Fault::Missing},
        {"empty set", nullptr, "", false, true, Fault::Missing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder("rset");
        if (!c.emptySet) { ASSERT_TRUE(repairset_testing::WriteSmallSet(folder.Path())); }
        if (c.file && c.remove) { ASSERT_TRUE(DeleteFileA((folder / c.file).c_str())); }
        if (c.file && !c.remove) { ASSERT_TRUE(WriteWholeFile(folder / c.file, c.bytes)); }
        const repairset::CheckResult result = repairset::CheckSet(folder.Path());
        EXPECT_EQ(static_cast<int>(c.fault), static_cast<int>(result.fault)) << repairset::Describe(result);
        if (c.file && c.fault != Fault::None) { EXPECT_EQ(c.file, result.file); }
        if (c.fault != Fault::None) { EXPECT_NE(std::string::npos, repairset::Describe(result).find(result.file)); }
    }
}

// The format of the running system decides: Wine's text here, regf on Windows; each check
// refuses the other format and a damaged block.
TEST(RepairSet, HiveFormatsOfBothSystems)
{
    const std::string regf = RegfHive();
    std::string badSum = regf;
    badSum[100] = 1;
    std::string pastEnd = regf;
    const uint32_t tooLong = 8192;
    std::memcpy(&pastEnd[0x28], &tooLong, 4);
    EXPECT_TRUE(repairset::IsRegfHive(regf));
    EXPECT_FALSE(repairset::IsRegfHive(badSum));
    EXPECT_FALSE(repairset::IsRegfHive(regf.substr(0, 4096)));
    EXPECT_FALSE(repairset::IsWineTextHive(regf));
    EXPECT_TRUE(repairset::IsWineTextHive("WINE REGISTRY Version 2\n;; All keys relative\n\n[Key] 1\n"));
    EXPECT_FALSE(repairset::IsWineTextHive("WINE REGISTRY Version 22\n[Key] 1\n"));
    EXPECT_FALSE(repairset::IsRegfHive(repairset_testing::SmallHive()) && repairset::RunningOnWine());
    EXPECT_TRUE(repairset::IsLoadableHive(repairset_testing::SmallHive()));
    EXPECT_EQ(!repairset::RunningOnWine(), repairset::IsLoadableHive(regf));
}

// A compressed hive is made new and administrators-only; an existing file is never replaced.
TEST(RepairSet, CompressFileMakesANewAdministratorsOnlyFile)
{
    TempFolder folder("rsdf");
    ASSERT_TRUE(WriteWholeFile(folder / "hive", repairset_testing::SmallHive()));
    ASSERT_TRUE(szdd::CompressFile((folder / "hive").c_str(), (folder / "system._").c_str(), 0));
    EXPECT_TRUE(repairset::CheckHiveFile(folder / "system._").Passed());
    const DaclReadBack dacl = ReadDacl(folder / "system._");
    EXPECT_TRUE(dacl.read);
    EXPECT_EQ(0, dacl.othersGranted);

    ASSERT_TRUE(WriteWholeFile(folder / "planted._", "planted"));
    SetLastError(0);
    EXPECT_FALSE(szdd::CompressFile((folder / "hive").c_str(), (folder / "planted._").c_str(), 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
    std::string kept;
    ASSERT_TRUE(ReadWholeFile(folder / "planted._", kept));
    EXPECT_EQ("planted", kept);
}
