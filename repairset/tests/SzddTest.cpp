#include <gtest/gtest.h>

#include <cstring>

#include "Szdd.h"
#include "TestSupport.h"

using namespace testing_support;

namespace {

// Expands `packed` with the platform's own expand.exe and returns what it wrote.
std::string ExpandWithPlatform(const TempFolder& folder, const std::string& packed, const char* name)
{
    const std::string source = folder / (std::string(name) + "._");
    const std::string target = folder / name;
    EXPECT_TRUE(WriteWholeFile(source, packed));
    DeleteFileA(target.c_str());
    EXPECT_EQ(0, RunProgram("expand.exe \"" + source + "\" \"" + target + "\"", 60000));
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(target, bytes)) << target;
    return bytes;
}

} // namespace

TEST(Szdd, HeaderCarriesMagicModeMissingCharAndSize)
{
    const std::string packed = szdd::Compress("hello world", 'm');
    ASSERT_GE(packed.size(), sizeof(szdd::Header));
    const unsigned char expected[] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33, 'A', 'm', 11, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(packed.data(), expected, sizeof(expected)));
    // An empty input is the header alone.
    EXPECT_EQ(sizeof(szdd::Header), szdd::Compress("", 0).size());
}

TEST(Szdd, RepetitiveDataShrinks)
{
    const std::string data(100000, 'x');
    EXPECT_LT(szdd::Compress(data, 0).size(), data.size() / 6);
}

TEST(Szdd, PlatformExpandRestoresEveryKindOfInputByteExactly)
{
    TempFolder folder("szdd");
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "Key" + std::to_string(i % 37) + "=\"Value with spaces\"\r\n";
    std::string overlapping = "ab" + std::string(5000, 'a') + "abcabcabcabc" + std::string(40, ' ');
    std::string mixed = PatternBytes(30000, 7) + text.substr(0, 9000) + PatternBytes(10, 8) + text.substr(100, 9000);
    // Matches that reach back almost the whole window: a block repeated 4070 bytes later.
    std::string farBack = PatternBytes(4070, 9);
    farBack += farBack + farBack;

    struct Case {
        const char* name;
        std::string data;
    } cases[] = {
        {"empty", ""},
        {"one", "Z"},
        {"text", text},
        {"overlap", overlapping},
        {"random", PatternBytes(70000, 3)},
        {"mixed", mixed},
        {"farback", farBack},
        {"spaces", std::string(300, ' ') + "x"},
    };
    for (const Case& c : cases) {
        const std::string packed = szdd::Compress(c.data, 'x');
        EXPECT_EQ(c.data, ExpandWithPlatform(folder, packed, c.name)) << c.name;
        std::string expanded;
        EXPECT_EQ(szdd::ExpandFault::None, szdd::Expand(packed, expanded)) << c.name;
        EXPECT_EQ(c.data, expanded) << c.name;
    }
}

TEST(Szdd, CompressFileRoundTripsAndReportsMissingSource)
{
    TempFolder folder("szdf");
    const std::string data = PatternBytes(5000, 1) + std::string(20000, '\0') + PatternBytes(5000, 1);
    ASSERT_TRUE(WriteWholeFile(folder / "system", data));
    ASSERT_TRUE(szdd::CompressFile((folder / "system").c_str(), (folder / "system._").c_str(), 0));
    std::string packed;
    ASSERT_TRUE(ReadWholeFile(folder / "system._", packed));
    EXPECT_EQ(szdd::Compress(data, 0), packed);
    EXPECT_EQ(data, ExpandWithPlatform(folder, packed, "copy"));

    SetLastError(0);
    EXPECT_FALSE(szdd::CompressFile((folder / "absent").c_str(), (folder / "absent._").c_str(), 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(FileExists(folder / "absent._"));
}
