// Restavo.exe run as its own process, as the console starts it, and driven through its windows.
#include <gtest/gtest.h>

#include <functional>

#include "Handle.h"
#include "Resource.h"
#include "RestoreEngine.h"
#include "RestavoProcess.h"
#include "RestoreFixtures.h"
#include "TestSupport.h"

using namespace restavo;
using namespace restavo_test;
using testing_support::TempFolder;

namespace {

constexpr const char* kConsoleKey = "SOFTWARE\\Ostrel\\Salvora\\CurrentVersion";

// The console's settings key, put back as it was after the test.
class ConsoleSettingsKey {
public:
    ConsoleSettingsKey() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kConsoleKey); }
    ~ConsoleSettingsKey() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kConsoleKey); }
    void Set(const char* name, const std::string& value)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kConsoleKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        win::RegKey owner(key);
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }
};

} // namespace

TEST(ProgramTest, StartsWithTheConsolesOutputFolderOrThisComputersRepairFolder)
{
    ConsoleSettingsKey settings;
    settings.Set("InstallPath", "C:\\Program Files\\Salvora");
    settings.Set("OutDir", "C:\\ERD\\%COMPUTERNAME%");
    {
        RestavoProcess restavo("");
        ASSERT_TRUE(restavo.Started());
        HWND main = restavo.MainWindow();
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(ControlText(main, IDC_ERD_FOLDER), "C:\\ERD\\");
        EXPECT_EQ(ControlText(main, IDC_COMPUTER), "");
        EXPECT_TRUE(restavo.CloseAndExit());
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kConsoleKey);
    {
        RestavoProcess restavo("");
        HWND main = restavo.MainWindow();
        ASSERT_NE(main, nullptr);
        char systemRoot[MAX_PATH] = {};
        DWORD size = sizeof(systemRoot);
        ReadRegistryString(HKEY_LOCAL_MACHINE, "SystemRoot", REG_SZ,
                           "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", systemRoot, &size);
        EXPECT_EQ(ControlText(main, IDC_ERD_FOLDER), std::string(systemRoot) + "\\Repair");
        EXPECT_EQ(ControlText(main, IDC_COMPUTER), LocalName());
        EXPECT_TRUE(restavo.CloseAndExit());
    }
}

TEST(ProgramTest, CommandLineAsTheConsoleComposesIt)
{
    ConsoleSettingsKey settings;
    settings.Set("OutDir", "C:\\ERD\\%COMPUTERNAME%");
    TempFolder erd("erd");
    {
        // "-c=NAME" "-d=FOLDER, the folder's quote left open.
        RestavoProcess restavo("\"-c=PC01\" \"-d=" + erd.Path());
        HWND main = restavo.MainWindow();
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(ControlText(main, IDC_COMPUTER), "PC01");
        EXPECT_EQ(ControlText(main, IDC_ERD_FOLDER), erd.Path());
        EXPECT_TRUE(restavo.CloseAndExit());
    }
    {
        RestavoProcess restavo("/C=pc02 /D=C:\\NoSuchFolder\\PC02");
        HWND main = restavo.MainWindow();
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(ControlText(main, IDC_COMPUTER), "pc02");
        EXPECT_EQ(ControlText(main, IDC_ERD_FOLDER), "C:\\ERD\\") << "a missing folder keeps the default";
        EXPECT_TRUE(restavo.CloseAndExit());
    }
}

TEST(ProgramTest, RestoresFetchedFilesOntoThisComputerAfterConfirmation)
{
    if (!RunningUnderWine()) GTEST_SKIP() << "swaps real hives outside Wine";
    RemoveLocalExpandedFiles();
    TempFolder erd("erd");
    WriteRepairFiles(erd.Path(), {"SAM", "SECURITY", "SOFTWARE", "DEFAULT"});
    WriteSystemHive(erd.Path(), "PC01"); // the files were fetched from PC01

    RestavoProcess restavo("\"-c=" + LocalName() + "\" \"-d=" + erd.Path());
    HWND main = restavo.MainWindow();
    ASSERT_NE(main, nullptr);
    for (int id : {IDC_HIVE_SAM, IDC_HIVE_SOFTWARE, IDC_HIVE_SYSTEM}) Press(main, id);
    PostMessageA(main, WM_COMMAND, IDOK, 0);

    HWND confirm = restavo.FindWindowOf("Warning", [](HWND w) { return GetDlgItem(w, IDC_IGNORE_WARNING) != nullptr; });
    ASSERT_NE(confirm, nullptr);
    EXPECT_EQ(ControlText(confirm, IDC_SOURCE_COMPUTER), "PC01");
    EXPECT_EQ(ControlText(confirm, IDC_DESTINATION_COMPUTER), LocalName());
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(confirm, IDC_IGNORE_WARNING)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(confirm, IDOK)));
    Press(confirm, IDC_IGNORE_WARNING);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(confirm, IDOK)));
    PostMessageA(confirm, WM_COMMAND, IDOK, 0);

    HWND question = restavo.FindWindowOf("Warning", [](HWND w) { return GetDlgItem(w, IDYES) != nullptr; });
    ASSERT_NE(question, nullptr);
    EXPECT_NE(ControlText(question, 0xFFFF).find("created on computer PC01"), std::string::npos);
    PostMessageA(question, WM_COMMAND, IDYES, 0);

    HWND report = restavo.FindWindowOf("Restore Complete", [](HWND) { return true; }, 60000);
    ASSERT_NE(report, nullptr);
    std::string text = ControlText(report, 0xFFFF);
    EXPECT_EQ(text, "SAM - Success\nSOFTWARE - Success\nSYSTEM - Success\n");
    PostMessageA(report, WM_COMMAND, IDOK, 0);

    // The hives were expanded into a private folder of the run's own for the swap.
    std::string bytes;
    const std::vector<std::string> work = RestoreWorkFolders();
    ASSERT_EQ(work.size(), 1u);
    EXPECT_TRUE(testing_support::ReadWholeFile(JoinPath(work[0], "SOFTWARE"), bytes));
    EXPECT_EQ(bytes, HiveBytes("SOFTWARE"));
    EXPECT_TRUE(restavo.CloseAndExit());
    RemoveLocalExpandedFiles();
}

TEST(ProgramTest, AMissingSourceFileStopsTheCommand)
{
    TempFolder erd("erd");
    WriteRepairFiles(erd.Path(), {"SYSTEM"});
    RestavoProcess restavo("-c=PC01 \"-d=" + erd.Path() + "\"");
    HWND main = restavo.MainWindow();
    ASSERT_NE(main, nullptr);
    Press(main, IDC_HIVE_SAM);
    Press(main, IDC_HIVE_SYSTEM);
    PostMessageA(main, WM_COMMAND, IDOK, 0);
    HWND error = restavo.FindWindowOf("Error", [](HWND) { return true; });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(ControlText(error, 0xFFFF), kSourceMissing);
    PostMessageA(error, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(restavo.CloseAndExit());
}

// Hostile command lines: each opens the main dialog alone (no message, no crash) with the
// defaults, or the computer a "-c=" argument names as the shell splits the line, and the
// Close button ends the program with 0.
TEST(ProgramTest, HostileCommandLinesGiveTheDefaultsOrWhatTheyName)
{
    ConsoleSettingsKey settings;
    settings.Set("OutDir", "C:\\ERD\\%COMPUTERNAME%");
    const std::string longText(30000, 'A');
    struct Case {
        std::string line;
        std::string computer; // what the Computer field must show
    };
    const Case cases[] = {
        {"-c=" + longText, "-"}, // "-": a prefix of the long name (the field may cut it)
        {"\"-d=C:\\" + longText + "\\", ""},
        {"\"-c=PC01", "PC01"},
        {"\"", ""},
        {"-Q /Z --help -? / - -= /c -c \"-x=1\"", ""},
        {"-c=\x01\x02\x1b", "\x01\x02\x1b"},
        {"-d=\x01\x7f -c=PC02 \"-c=PC03 \"-d=", "PC03 -d="},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 60));
        testing_support::ProgramOutcome outcome = testing_support::RunAnswering("Restavo.exe", c.line);
        ASSERT_TRUE(outcome.started);
        ASSERT_TRUE(outcome.ended) << "still running after the time limit";
        EXPECT_EQ(outcome.exitCode, 0u);
        ASSERT_EQ(outcome.shown.size(), 1u) << outcome.shown.back().title << ": " << outcome.shown.back().Text(0xFFFF);
        const testing_support::ShownWindow& main = outcome.shown[0];
        EXPECT_EQ(main.title, "Restavo");
        EXPECT_EQ(main.Text(IDC_ERD_FOLDER), "C:\\ERD\\");
        if (c.computer == "-")
            EXPECT_EQ(longText.compare(0, main.Text(IDC_COMPUTER).size(), main.Text(IDC_COMPUTER)), 0);
        else
            EXPECT_EQ(main.Text(IDC_COMPUTER), c.computer);
    }
}
