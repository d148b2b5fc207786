// Every file the suite ships, as the build left it in bin/: the suite's one version in its
// version resource, an administrator's manifest on the interactive programs only, and no
// symbols in the program (they lie beside it).
#include <gtest/gtest.h>

#include "OstrelVersion.h"
#include "TestSupport.h"

#include <windows.h>

#include <string>
#include <vector>

using namespace testing_support;

namespace {

struct ShippedFile {
    const char* name;
    bool manifest; // an interactive administrator's tool
    bool stripped; // a program of the build (the installer is made by NSIS)
};

const ShippedFile kShipped[] = {
    {"Salvora.exe", true, true},    {"Restavo.exe", true, true},   {"Scheduler.exe", true, true},
    {"Rostery.exe", true, true},    {"Vantoro.exe", false, true},  {"Scheduler.old", false, true},
    {"Salvora-setup.exe", true, false}, // NSIS asks for administrator rights itself
};

std::string VersionString(const std::vector<char>& block, const std::string& translation, const char* name)
{
    char* value = nullptr;
    UINT length = 0;
    const std::string path = "\\StringFileInfo\\" + translation + "\\" + name;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value) return {};
    return std::string(value, strnlen(value, length));
}

// The manifest resource (RT_MANIFEST 24, id 1) of a file, or empty.
std::string ManifestOf(const std::string& path)
{
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return {};
    std::string text;
    if (HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
        HGLOBAL loaded = LoadResource(module, found);
        const char* bytes = static_cast<const char*>(LockResource(loaded));
        if (bytes) text.assign(bytes, SizeofResource(module, found));
    }
    FreeLibrary(module);
    return text;
}

// The COFF symbols and the debugging sections the linker leaves in an unstripped program
// (a stripped one keeps only the string table of its long section names).
bool HasSymbols(const std::string& path)
{
    std::string image;
    if (!ReadWholeFile(path, image) || image.size() < 0x40) return true;
    const DWORD peOffset = *reinterpret_cast<const DWORD*>(image.data() + 0x3C);
    if (peOffset + 4 + sizeof(IMAGE_FILE_HEADER) > image.size()) return true;
    const auto* header = reinterpret_cast<const IMAGE_FILE_HEADER*>(image.data() + peOffset + 4);
    return header->NumberOfSymbols != 0 || image.find(".debug_info") != std::string::npos;
}

TEST(Identity, EveryShippedFileCarriesTheSuitesVersion)
{
    const WORD expected[4] = {OSTREL_VERSION_COMMA};
    for (const ShippedFile& file : kShipped) {
        SCOPED_TRACE(file.name);
        const std::string path = BinFolder() + "\\" + file.name;
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        ASSERT_NE(0u, size) << GetLastError();
        std::vector<char> block(size);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(MAKELONG(expected[1], expected[0]), fixed->dwFileVersionMS);
        EXPECT_EQ(MAKELONG(expected[3], expected[2]), fixed->dwFileVersionLS);
        EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);

        struct Translation {
            WORD language, codePage;
        }* translations = nullptr;
        ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                                   &length));
        ASSERT_LE(sizeof(Translation), length);
        char key[16];
        wsprintfA(key, "%04x%04x", translations[0].language, translations[0].codePage);
        EXPECT_EQ(OSTREL_PRODUCT, VersionString(block, key, "ProductName"));
        EXPECT_EQ(OSTREL_COMPANY, VersionString(block, key, "CompanyName"));
        EXPECT_EQ(OSTREL_VERSION_TEXT, VersionString(block, key, "FileVersion"));
        EXPECT_EQ(OSTREL_VERSION_TEXT, VersionString(block, key, "ProductVersion"));
        EXPECT_FALSE(VersionString(block, key, "FileDescription").empty());

        const std::string manifest = ManifestOf(path);
        EXPECT_EQ(file.manifest, manifest.find("level=\"requireAdministrator\"") != std::string::npos) << manifest;
        if (file.stripped) {
            EXPECT_FALSE(HasSymbols(path));
            std::string symbols;
            ASSERT_TRUE(ReadWholeFile(path + ".debug", symbols)); // kept beside the program
            EXPECT_LT(0u, symbols.size());
        }
    }
}

} // namespace
