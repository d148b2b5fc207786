// The installer, silently, as an administrator's script would run it: the programs in the
// chosen folder, the settings key with InstallPath, the event-log source; then the
// uninstaller takes all of it away again. An upgrade goes where the suite is, and nothing
// changes while a program of the suite runs from there.
#include <gtest/gtest.h>

#include "Handle.h"
#include "OstrelVersion.h"
#include "TestSupport.h"

#include <windows.h>

#include <shlobj.h>

#include <string>

using namespace testing_support;

namespace {

constexpr char kSalvoraKey[] = "SOFTWARE\\Ostrel\\Salvora";
constexpr char kSettingsKey[] = "SOFTWARE\\Ostrel\\Salvora\\CurrentVersion";
constexpr char kEventSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Salvora";
constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ostrel Salvora";

bool KeyExists(const char* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::string ReadString(const char* path, const char* name)
{
    char text[MAX_PATH] = {};
    DWORD size = sizeof(text);
    if (RegGetValueA(HKEY_LOCAL_MACHINE, path, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                     text, &size) != ERROR_SUCCESS)
        return {};
    return text;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The suite's Start-menu folder of every user.
std::string MenuFolder()
{
    char folder[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, folder, CSIDL_COMMON_PROGRAMS, FALSE);
    return std::string(folder) + "\\Corvane Salvora";
}

int RunSetup(const std::string& arguments)
{
    return RunProgram("\"" + BinFolder() + "\\Salvora-setup.exe\" " + arguments, 120000);
}

// In place (_?=), so that the call waits for the end.
int RunUninstall(const std::string& folder)
{
    return RunProgram("\"" + folder + "\\Uninstall.exe\" /S _?=" + folder, 120000);
}

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSalvoraKey);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSalvoraKey);
    }
    void TearDown() override
    {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSalvoraKey);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSalvoraKey);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kEventSourceKey);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kEventSourceKey);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
        RemoveTree(MenuFolder());
    }
    TempFolder root{"setup"};
};

TEST_F(InstallerTest, SilentInstallAndUninstall)
{
    const std::string setup = BinFolder() + "\\Salvora-setup.exe";
    ASSERT_TRUE(Exists(setup));
    const std::string target = root.Path() + "\\Program Files\\Ostrel\\Salvora";
    // /D= is the last parameter, unquoted even with blanks.
    ASSERT_EQ(0, RunProgram("\"" + setup + "\" /S /D=" + target, 120000));

    for (const char* program : {"Salvora.exe", "Vantoro.exe", "Uninstall.exe", "Salvora.chm", "Scheduler.chm"})
        EXPECT_TRUE(Exists(target + "\\" + program)) << program;
    for (const char* program : {"Restavo.exe", "Scheduler.exe", "Scheduler.old", "Rostery.exe"}) {
        if (Exists(BinFolder() + "\\" + program)) {
            EXPECT_TRUE(Exists(target + "\\" + program)) << program;
        }
    }
    std::string installed, built;
    ASSERT_TRUE(ReadWholeFile(target + "\\Salvora.exe", installed));
    ASSERT_TRUE(ReadWholeFile(BinFolder() + "\\Salvora.exe", built));
    EXPECT_TRUE(installed == built);

    EXPECT_EQ(target, ReadString(kSettingsKey, "InstallPath"));
    EXPECT_EQ(target + "\\Salvora.exe", ReadString(kEventSourceKey, "EventMessageFile"));
    EXPECT_EQ("\"" + target + "\\Uninstall.exe\"", ReadString(kUninstallKey, "UninstallString"));

    // The event source's message file gives events 1500 and 1501 their two texts.
    HMODULE messages = LoadLibraryExA(ReadString(kEventSourceKey, "EventMessageFile").c_str(), nullptr,
                                      LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, messages);
    for (DWORD id : {1500u, 1501u}) {
        DWORD_PTR texts[2] = {reinterpret_cast<DWORD_PTR>("Salvora started with parameters: -S\r\n"),
                              reinterpret_cast<DWORD_PTR>("Retry #2")};
        char text[256] = {};
        DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, messages, id, 0,
                                      text, sizeof(text), reinterpret_cast<va_list*>(texts));
        EXPECT_NE(0u, length) << id;
        const std::string expected = "Salvora started with parameters: -S\r\nRetry #2";
        EXPECT_EQ(expected, std::string(text).substr(0, expected.size())) << id; // the file adds a line end
    }
    FreeLibrary(messages);

    // The installed console finds its settings: an unattended start without a list file
    // ends with 1 (the empty list), not with "not installed" (0).
    EXPECT_EQ(1, RunProgram("\"" + target + "\\Salvora.exe\" -S -l=" + root.Path() + "\\run.log", 60000));
    EXPECT_TRUE(Exists(root.Path() + "\\run.log"));

    // "_?=" runs the uninstaller in place, so that the call waits for it.
    ASSERT_EQ(0, RunProgram("\"" + target + "\\Uninstall.exe\" /S _?=" + target, 120000));
    EXPECT_FALSE(Exists(target + "\\Salvora.exe"));
    EXPECT_FALSE(Exists(target + "\\Vantoro.exe"));
    EXPECT_FALSE(Exists(target + "\\Salvora.chm"));
    EXPECT_FALSE(KeyExists(kSalvoraKey));
    EXPECT_FALSE(KeyExists(kEventSourceKey));
    EXPECT_FALSE(KeyExists(kUninstallKey));
    // Run in place, the uninstaller cannot delete itself; everything else is gone.
    DeleteFileA((target + "\\Uninstall.exe").c_str());
    RemoveDirectoryA(target.c_str());
    EXPECT_FALSE(Exists(target));
}

// The second install without /D= goes into the first one's folder (no second copy, the
// registration unchanged, the Add/Remove entry and shortcuts complete). While the installed
// console runs, a silent upgrade and uninstall end with 3 and change nothing. The first
// folder's uninstaller, after a copy elsewhere, keeps the live copy's registration.
TEST_F(InstallerTest, UpgradeInPlaceRefusedWhileTheConsoleRuns)
{
    const std::string first = root.Path() + "\\First Folder", second = root.Path() + "\\Second";
    ASSERT_EQ(0, RunSetup("/S /D=" + first));
    ASSERT_EQ(0, RunSetup("/S"));
    EXPECT_FALSE(Exists("C:\\Program Files\\Ostrel\\Salvora\\Salvora.exe"));
    EXPECT_EQ(first, ReadString(kSettingsKey, "InstallPath"));
    EXPECT_EQ(first + "\\Salvora.exe", ReadString(kEventSourceKey, "EventMessageFile"));
    EXPECT_EQ(OSTREL_VERSION_TEXT, ReadString(kUninstallKey, "DisplayVersion"));
    EXPECT_EQ(first + "\\Salvora.exe,0", ReadString(kUninstallKey, "DisplayIcon"));
    DWORD size = 0, bytes = sizeof(size);
    RegGetValueA(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize", RRF_RT_REG_DWORD, nullptr, &size, &bytes);
    EXPECT_TRUE(size > 100 && size < 100000) << size; // KB
    for (const char* link : {"Salvora", "Restavo", "Scheduler", "Rostery", "Salvora Help", "Scheduler Help",
                             "Uninstall Corvane Salvora"})
        EXPECT_TRUE(Exists(MenuFolder() + "\\" + link + ".lnk")) << link;

    const std::string marker = first + "\\Salvora.chm";
    ASSERT_TRUE(WriteWholeFile(marker, "the earlier help"));
    std::string line = "\"" + first + "\\Salvora.exe\"", help;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, first.c_str(), &startup, &info));
    win::Handle console(info.hProcess), thread(info.hThread);
    WaitForInputIdle(console.Get(), 10000);
    ASSERT_EQ(WAIT_TIMEOUT, WaitForSingleObject(console.Get(), 1000));
    EXPECT_EQ(3, RunSetup("/S"));
    EXPECT_EQ(3, RunUninstall(first));
    ASSERT_TRUE(ReadWholeFile(marker, help));
    EXPECT_TRUE(help == "the earlier help"); // nothing changed
    EXPECT_TRUE(Exists(first + "\\Salvora.exe"));
    TerminateProcess(console.Get(), 0);
    WaitForSingleObject(console.Get(), 10000);
    ASSERT_EQ(0, RunSetup("/S"));
    ASSERT_TRUE(ReadWholeFile(marker, help));
    EXPECT_TRUE(help != "the earlier help");

    ASSERT_EQ(0, RunSetup("/S /D=" + second));
    ASSERT_EQ(0, RunUninstall(first));
    EXPECT_FALSE(Exists(first + "\\Salvora.exe"));
    EXPECT_EQ(second, ReadString(kSettingsKey, "InstallPath"));
    EXPECT_TRUE(KeyExists(kUninstallKey) && Exists(MenuFolder() + "\\Salvora.lnk"));
    ASSERT_EQ(0, RunUninstall(second));
    EXPECT_FALSE(KeyExists(kSettingsKey) || KeyExists(kUninstallKey) || Exists(MenuFolder()));
}

} // namespace
