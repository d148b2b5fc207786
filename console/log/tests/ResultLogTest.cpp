#include "ConsoleState.h"
#include "ConsoleStrings.h"
#include "LogTestSupport.h"
#include "ResultLog.h"
#include "Settings.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace console_test;
using testing_support::ReadWholeFile;
using testing_support::TempFolder;
using testing_support::WriteWholeFile;

namespace {

const std::string kHead = "*========================================*\r\n"
                          "|12/07/1999 14:03:55 Salvora Creating ER Disks|\r\n"
                          "* Result\tDescription\tCompName\tItemName\tErrorText\tErrorCode *\r\n"
                          "*========================================*\r\n";

class ResultLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetConsoleClock(December7);
        SetUnattended(false);
        SetEnvironmentVariableA("ANNALIX_FAIL", nullptr);
        TheConsoleSettings().AnnalixInstallPath.clear();
        LogSettings& s = log.Settings();
        s = LogSettings{};
        win_copy(s.LogFileName, folder / "Salvora.log");
        s.LogFullErrorNo = kLogFull;
        s.LogOverwrite = 1;
        s.LogWriteFile = 1;
        s.NTAppLog = 1;
        DeleteFileA(BinStore().c_str());
    }
    void TearDown() override
    {
        SetConsoleClock(nullptr);
        SetEnvironmentVariableA("ANNALIX_FAIL", nullptr);
        TheConsoleSettings().AnnalixInstallPath.clear();
        DeleteFileA(BinStore().c_str());
    }
    static void win_copy(char (&field)[260], const std::string& text) { lstrcpynA(field, text.c_str(), 260); }
    static std::string BinStore() { return testing_support::BinFolder() + "\\Annalix.txt"; }
    std::string LogFile() const { return log.Settings().LogFileName; }
    std::string Read(const std::string& path) const
    {
        std::string bytes;
        ReadWholeFile(path, bytes);
        return bytes;
    }
    // Installs a copy of the stand-in DLL in a folder of its own as Annalix's install folder.
    std::string InstallAnnalix()
    {
        std::string target = annalixFolder / "Annalix.dll";
        EXPECT_TRUE(CopyFileA((testing_support::BinFolder() + "\\Annalix.dll").c_str(), target.c_str(), FALSE));
        TheConsoleSettings().AnnalixInstallPath = annalixFolder.Path();
        log.Settings().LogWriteAnnalix = 1;
        return annalixFolder / "Annalix.txt";
    }

    Watch watch;
    TempFolder folder{"log"};
    TempFolder annalixFolder{"anx"};
    ResultLog log;
};

TEST_F(ResultLogTest, WholeSessionByteForByte)
{
    ASSERT_TRUE(log.BeginSession(nullptr, kSessionCreateErd));
    EXPECT_TRUE(log.IsSessionOpen());
    EXPECT_TRUE(log.LogItemById(false, "SERVER1", nullptr, IDS_CREATE_ER_DISK, nullptr, 0));
    EXPECT_TRUE(log.LogItem(true, "SERVER2", nullptr, "Create ER Disk", "TIMEOUT", 8));
    EXPECT_TRUE(log.LogItem(true, nullptr, "system._", nullptr, nullptr, -1));
    log.EndSession("Operation Completed", true);
    EXPECT_FALSE(log.IsSessionOpen());

    const std::string records = "Success\tCreate ER Disk\tSERVER1\t==//==\t==//==\t0\r\n"
                                "Error\tCreate ER Disk\tSERVER2\t==//==\tTIMEOUT\t8\r\n"
                                "Error\t==//==\t==//==\tsystem._\t==//==\t-1\r\n";
    const std::string tail = "* Items=3 *\r\n* Errors=2 *\r\n* Result: Error *\r\n* Operation Completed *\r\n";
    EXPECT_EQ(Read(LogFile()), kHead + records + tail + "\r\n");

    ASSERT_EQ(g_events.size(), 1u);
    EXPECT_EQ(g_events[0].id, 1501u);
    EXPECT_EQ(g_events[0].type, EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(g_events[0].category, 0);
    EXPECT_EQ(g_events[0].dataSize, 0u);
    ASSERT_EQ(g_events[0].strings.size(), 2u);
    EXPECT_EQ(g_events[0].strings[0], kHead + records + tail);
    EXPECT_EQ(g_events[0].strings[1], "");
    EXPECT_TRUE(log.EventText().empty());
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(ResultLogTest, ErrorsOnlyAndSessionResult)
{
    log.Settings().LogFullErrorNo = kLogErrorsOnly;
    log.Settings().NTAppLog = 0;
    ASSERT_TRUE(log.BeginSession(nullptr, kSessionCreateErd));
    log.LogItem(false, "A", nullptr, "Create ER Disk", nullptr, 0);
    log.LogItem(false, "B", nullptr, "Create ER Disk", nullptr, 0);
    log.LogItem(true, "C", nullptr, "Create ER Disk", "COMMUNICATION", 16);
    log.LogItem(false, "D", nullptr, "Create ER Disk", nullptr, 0);
    log.EndSession("Operation Completed", true);
    EXPECT_EQ(Read(LogFile()), kHead + "Error\tCreate ER Disk\tC\t==//==\tCOMMUNICATION\t16\r\n" +
                                   "* Items=4 *\r\n* Errors=1 *\r\n* Result: Error *\r\n* Operation Completed *\r\n\r\n");
    EXPECT_TRUE(g_events.empty()) << "NTAppLog off";

    log.Settings().LogFullErrorNo = kLogFull;
    log.BeginSession(nullptr, kSessionCreateErd);
    log.LogItem(false, "A", nullptr, nullptr, nullptr, 0);
    log.EndSession("Operation Completed", true);
    EXPECT_NE(Read(LogFile()).find("* Result: Success *"), std::string::npos);
    log.BeginSession(nullptr, kSessionCreateErd);
    log.EndSession("Cancelled by user!", false);
    EXPECT_NE(Read(LogFile()).find("* Result: Error *\r\n* Cancelled by user! *"), std::string::npos)
        << "not succeeded, although nothing failed";
}

TEST_F(ResultLogTest, LevelNoneTouchesNoFileButReportsTheEvent)
{
    ASSERT_TRUE(WriteWholeFile(LogFile(), "earlier"));
    std::string store = InstallAnnalix();
    log.Settings().LogFullErrorNo = kLogNone;
    ASSERT_TRUE(log.BeginSession(nullptr, kSessionCreateErd));
    EXPECT_FALSE(log.IsAnnalixLoaded());
    for (int i = 0; i < 3; ++i) log.LogItem(false, "OK", nullptr, "Create ER Disk", nullptr, 0);
    log.LogItem(true, "BAD", nullptr, "Create ER Disk", "TIMEOUT", 8);
    EXPECT_EQ(log.ItemCount(), 4);
    EXPECT_EQ(log.ErrorCount(), 1);
    log.EndSession("Operation Completed", true);
    EXPECT_EQ(Read(LogFile()), "earlier");
    EXPECT_FALSE(testing_support::FileExists(store)) << "nothing went to Annalix";
    ASSERT_EQ(g_events.size(), 1u);
    EXPECT_EQ(g_events[0].strings[0],
              kHead + "* Items=4 *\r\n* Errors=1 *\r\n* Result: Error *\r\n* Operation Completed *\r\n");
}

TEST_F(ResultLogTest, AppendOrOverwrite)
{
    log.Settings().NTAppLog = 0;
    for (int i = 0; i < 2; ++i) {
        log.BeginSession(nullptr, kSessionCreateErd);
        log.LogItem(false, "A", nullptr, nullptr, nullptr, 0);
        log.EndSession("Operation Completed", true);
    }
    std::string one = Read(LogFile());
    EXPECT_EQ(one.find(kHead), 0u);
    EXPECT_EQ(one.find(kHead, 1), std::string::npos) << "overwritten";

    log.Settings().LogOverwrite = 0;
    log.BeginSession(nullptr, kSessionCreateErd);
    log.EndSession("Operation Completed", true);
    std::string two = Read(LogFile());
    EXPECT_EQ(two, one + kHead + "* Items=0 *\r\n* Errors=0 *\r\n* Result: Success *\r\n* Operation Completed *\r\n\r\n");
}

TEST_F(ResultLogTest, LongLinesStayOutOfTheEventText)
{
    std::string longText(420, 'x');
    log.BeginSession(nullptr, kSessionCreateErd);
    log.LogItem(true, "PC", nullptr, "Create ER Disk", longText.c_str(), 5);
    log.LogItem(false, "PC2", nullptr, "Create ER Disk", nullptr, 0);
    log.EndSession(longText.c_str(), true);
    EXPECT_NE(Read(LogFile()).find(longText + "\t5\r\n"), std::string::npos) << "the file still gets it";
    ASSERT_EQ(g_events.size(), 1u);
    EXPECT_EQ(g_events[0].strings[0], kHead + "Success\tCreate ER Disk\tPC2\t==//==\t==//==\t0\r\n")
        << "neither the long record nor a tail that does not fit";

    // Many records: the event text stays within what one event can carry.
    g_events.clear();
    log.Settings().LogWriteFile = 0;
    log.BeginSession(nullptr, kSessionCreateErd);
    for (int i = 0; i < 2000; ++i) log.LogItem(false, "COMPUTER", nullptr, "Create ER Disk", nullptr, 0);
    log.EndSession("Operation Completed", true);
    ASSERT_EQ(g_events.size(), 1u);
    EXPECT_LE(g_events[0].strings[0].size(), kEventTextLimit);
    EXPECT_NE(g_events[0].strings[0].find("* Items=2000 *"), std::string::npos);
}

TEST_F(ResultLogTest, RecordsShorterThanFourHundredCharactersEnterTheEventTextWhateverTheirLineEnd)
{
    // "Error\tD\tPC\t==//==\t" + error text + "\t5": 20 characters besides the error text.
    auto record = [](size_t length) { return "Error\tD\tPC\t==//==\t" + std::string(length - 20, 'e') + "\t5"; };
    log.Settings().LogWriteFile = 0;
    log.BeginSession(nullptr, kSessionCreateErd);
    for (size_t length : {398u, 399u, 400u, 401u}) {
        const std::string errorText(length - 20, 'e');
        log.LogItem(true, "PC", nullptr, "D", errorText.c_str(), 5);
    }
    log.EndSession("Done", false);
    ASSERT_EQ(g_events.size(), 1u);
    EXPECT_EQ(g_events[0].strings[0], kHead + record(398) + "\r\n" + record(399) + "\r\n" +
                                          "* Items=4 *\r\n* Errors=4 *\r\n* Result: Error *\r\n* Done *\r\n");
}

TEST_F(ResultLogTest, FileThatCannotBeOpened)
{
    win_copy(log.Settings().LogFileName, folder / "no\\such\\folder\\Salvora.log");
    ASSERT_TRUE(log.BeginSession(nullptr, kSessionCreateErd));
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].caption, "Open Log File");
    EXPECT_EQ(g_boxes[0].text, "Unknown Error");
    EXPECT_EQ(g_boxes[0].style, static_cast<UINT>(MB_ICONHAND));
    EXPECT_EQ(log.Settings().LogWriteFile, 0u) << "switched off until the settings are loaded again";
    log.LogItem(false, "A", nullptr, nullptr, nullptr, 0);
    log.EndSession("Operation Completed", true);
    // The failure reported as an error event naming the file, then the other sinks go on.
    ASSERT_EQ(g_events.size(), 2u);
    EXPECT_EQ(g_events[0].id, kEventLogUnwritable);
    EXPECT_EQ(g_events[0].type, EVENTLOG_ERROR_TYPE);
    EXPECT_NE(g_events[0].strings[0].find("folder\\Salvora.log"), std::string::npos) << g_events[0].strings[0];
    EXPECT_EQ(g_events[1].id, kEventSessionReport);
    EXPECT_FALSE(testing_support::FileExists(folder / "no"));

    g_boxes.clear();
    log.Settings().LogWriteFile = 1;
    SetUnattended(true);
    log.BeginSession(nullptr, kSessionCreateErd);
    log.EndSession("x", true);
    SetUnattended(false);
    EXPECT_TRUE(g_boxes.empty()) << "unattended: silent";
}

TEST_F(ResultLogTest, AnnalixReceivesTheSession)
{
    std::string store = InstallAnnalix();
    log.Settings().NTAppLog = 0;
    ASSERT_TRUE(log.BeginSession(nullptr, kSessionCreateErd));
    EXPECT_TRUE(log.IsAnnalixLoaded());
    log.LogItem(false, "SERVER1", nullptr, "Create ER Disk", nullptr, 0);
    log.LogItem(true, "SERVER2", "item", "Create ER Disk", "TIMEOUT", 8);
    log.EndSession("Operation Completed", true);
    EXPECT_FALSE(log.IsAnnalixLoaded());
    std::string lines = Read(store);
    EXPECT_NE(lines.find("\tSalvora\tSalvora Creating ER Disks\r\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("\tSuccess\tSERVER1\t==//==\tCreate ER Disk\t==//==\t0\r\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("\tError\tSERVER2\titem\tCreate ER Disk\tTIMEOUT\t8\r\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("\tError\r\n"), std::string::npos) << "the session's result";
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_FALSE(testing_support::FileExists(BinStore()));
}

TEST_F(ResultLogTest, AnnalixFolderWithoutTheDllFallsBackToTheSearchPath)
{
    TheConsoleSettings().AnnalixInstallPath = annalixFolder.Path(); // holds no DLL
    log.Settings().LogWriteAnnalix = 1;
    ASSERT_TRUE(log.BeginSession(nullptr, kSessionCreateErd));
    EXPECT_TRUE(log.IsAnnalixLoaded());
    log.LogItem(false, "PC", nullptr, nullptr, nullptr, 0);
    log.EndSession("Operation Completed", true);
    EXPECT_NE(Read(BinStore()).find("\tSuccess\tPC\t"), std::string::npos);
}

TEST_F(ResultLogTest, AnnalixWriteLogFailureEndsItsSession)
{
    std::string store = InstallAnnalix();
    SetEnvironmentVariableA("ANNALIX_FAIL", "WriteLog=1722");
    ASSERT_TRUE(log.BeginSession(nullptr, kSessionCreateErd));
    log.LogItem(true, "PC1", nullptr, "Create ER Disk", "TIMEOUT", 8);
    EXPECT_FALSE(log.IsAnnalixLoaded());
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].caption, "Corvane Salvora");
    EXPECT_EQ(g_boxes[0].text, TEXT_ANNALIX_UNAVAILABLE);
    log.LogItem(false, "PC2", nullptr, "Create ER Disk", nullptr, 0);
    log.EndSession("Operation Completed", false);
    std::string lines = Read(store);
    EXPECT_NE(lines.find("\tAnnalix Error\r\n"), std::string::npos) << lines;
    EXPECT_EQ(lines.find("PC2"), std::string::npos) << "later records go to the other sinks only";
    EXPECT_NE(Read(LogFile()).find("PC2"), std::string::npos);
    EXPECT_EQ(g_boxes.size(), 1u);
    ASSERT_EQ(g_events.size(), 1u);
    EXPECT_NE(g_events[0].strings[0].find("PC1"), std::string::npos) << "the failed item still reaches the event";

    g_boxes.clear();
    SetEnvironmentVariableA("ANNALIX_FAIL", "WriteLog=5");
    log.BeginSession(nullptr, kSessionCreateErd);
    log.LogItem(false, "PC3", nullptr, nullptr, nullptr, 0);
    log.EndSession("x", true);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, "Corvane Annalix - Annalix could not complete WriteLog (5)");
}

TEST_F(ResultLogTest, AnnalixBeginAndEndFailures)
{
    std::string store = InstallAnnalix();
    SetEnvironmentVariableA("ANNALIX_FAIL", "BeginSession=1722");
    ASSERT_TRUE(log.BeginSession(nullptr, kSessionCreateErd));
    EXPECT_FALSE(log.IsAnnalixLoaded());
    EXPECT_TRUE(log.IsSessionOpen()) << "the session goes on without Annalix";
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, TEXT_ANNALIX_UNAVAILABLE);
    log.LogItem(false, "PC", nullptr, nullptr, nullptr, 0);
    log.EndSession("x", true);
    EXPECT_EQ(Read(store).find("PC"), std::string::npos);

    g_boxes.clear();
    SetEnvironmentVariableA("ANNALIX_FAIL", "EndSession=7");
    log.BeginSession(nullptr, kSessionCreateErd);
    log.EndSession("x", true);
    EXPECT_FALSE(log.IsAnnalixLoaded());
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, "EndSession - Annalix could not complete EndSession (7)");
    EXPECT_EQ(g_boxes[0].caption, "Corvane Salvora");
}

TEST_F(ResultLogTest, AnnalixDllWithoutItsExports)
{
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, sizeof(system));
    ASSERT_TRUE(CopyFileA((std::string(system) + "\\version.dll").c_str(), (annalixFolder / "Annalix.dll").c_str(), FALSE));
    TheConsoleSettings().AnnalixInstallPath = annalixFolder.Path();
    log.Settings().LogWriteAnnalix = 1;
    ASSERT_TRUE(log.BeginSession(nullptr, kSessionCreateErd));
    EXPECT_FALSE(log.IsAnnalixLoaded());
    ASSERT_EQ(g_boxes.size(), 1u);
    std::string expected = "Corvane Annalix - " + SystemMessageText(ERROR_PROC_NOT_FOUND) + " (127)";
    EXPECT_EQ(g_boxes[0].text, expected);
    log.EndSession("x", true);
}

// Notepad is started by its full path in the Windows folder, never found by the search path
// (a "Notepad.exe" in the current folder would otherwise run first).
TEST(ViewLogTest, CommandLineStartsTheSystemsNotepadByItsPath)
{
    LogSettings settings;
    lstrcpynA(settings.LogFileName, "C:\\Prog\\Salvora.log", 260);
    char windows[MAX_PATH] = {};
    ASSERT_NE(0u, GetWindowsDirectoryA(windows, sizeof(windows)));
    const std::string program = std::string(windows) + "\\Notepad.exe";
    EXPECT_EQ(ViewLogCommand(settings), "\"" + program + "\" C:\\Prog\\Salvora.log");
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(program.c_str())) << program;
}

} // namespace
