// Every file the suite ships, as the build left it in bin/: the suite's one version in its
// version resource, an administrator's manifest on the interactive programs only, and the
// programs' symbols beside them instead of inside.
#include <gtest/gtest.h>

#include "OstrelVersion.h"
#include "TestSupport.h"

#include <windows.h>

#include <string>
#include <vector>

using namespace testing_support;

namespace {

std::string Value(std::vector<char>& block, const std::string& path)
{
    char* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value) return {};
    return std::string(value, strnlen(value, length));
}

TEST(Identity, EveryShippedFileCarriesTheSuitesVersion)
{
    const struct {
        const char* name;
        bool manifest, stripped;
    } files[] = {{"Salvora.exe", true, true},   {"Restavo.exe", true, true},   {"Scheduler.exe", true, true},
                 {"Rostery.exe", true, true},   {"Vantoro.exe", false, true},  {"Scheduler.old", false, true},
                 {"Salvora-setup.exe", true, false}}; // NSIS asks for administrator rights itself
    const WORD version[4] = {OSTREL_VERSION_COMMA};
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        const std::string path = BinFolder() + "\\" + file.name;
        std::vector<char> block(GetFileVersionInfoSizeA(path.c_str(), nullptr));
        ASSERT_FALSE(block.empty());
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        WORD* translation = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(static_cast<DWORD>(MAKELONG(version[1], version[0])), fixed->dwFileVersionMS);
        EXPECT_EQ(static_cast<DWORD>(MAKELONG(version[3], version[2])), fixed->dwFileVersionLS);
        ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                                   &length));
        char key[64];
        wsprintfA(key, "\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
        EXPECT_EQ(OSTREL_PRODUCT, Value(block, std::string(key) + "ProductName"));
        EXPECT_EQ(OSTREL_COMPANY, Value(block, std::string(key) + "CompanyName"));
        EXPECT_EQ(OSTREL_VERSION_TEXT, Value(block, std::string(key) + "FileVersion"));
        EXPECT_FALSE(Value(block, std::string(key) + "FileDescription").empty());

        std::string image, symbols;
        ASSERT_TRUE(ReadWholeFile(path, image));
        // The manifest travels as plain text in the resources; the debugging sections'
        // names only in an unstripped program.
        EXPECT_EQ(file.manifest, image.find("level=\"requireAdministrator\"") != std::string::npos);
        if (!file.stripped) continue;
        EXPECT_EQ(std::string::npos, image.find(".debug_info"));
        ASSERT_TRUE(ReadWholeFile(path + ".debug", symbols));
        EXPECT_NE(std::string::npos, symbols.find(".debug_info"));
    }
}

} // namespace
