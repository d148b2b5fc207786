// The Tools menu's commands: the command lines they start (recorded, never started) and
// the messages they show when a program is missing or cannot start.
#include <gtest/gtest.h>

#include "CompanionStrings.h"
#include "CompanionTools.h"
#include "LogTestSupport.h"
#include "Messages.h"
#include "RegistryFixture.h"
#include "Settings.h"
#include "SystemText.h"

#include <string>
#include <vector>

using namespace console_test;

namespace {

std::vector<std::string> g_started;
UINT g_startResult = 33;
DWORD g_startError = 0;

UINT RecordStart(const char* line, UINT show)
{
    EXPECT_EQ(static_cast<UINT>(SW_SHOWDEFAULT), show);
    g_started.push_back(line);
    if (g_startResult < 32) SetLastError(g_startError);
    return g_startResult;
}

class CompanionToolsTest : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        g_started.clear();
        g_startResult = 33;
        SetProgramStarter(RecordStart);
        settings.InstallPath = "C:\\Program Files\\Ostrel";
        settings.OutDir = "D:\\ERD\\%COMPUTERNAME%";
    }
    void TearDown() override
    {
        SetProgramStarter(nullptr);
        RegistryTest::TearDown();
    }

    ConsoleSettings settings;
    LogSettings log;
    Watch watch;
};

TEST_F(CompanionToolsTest, EachCommandStartsItsLineAndAnnalixNotInstalledIsExplained)
{
    ASSERT_TRUE(SetString("LogFileName", "C:\\Logs\\run.log"));
    ApplyErd(nullptr, settings, "PC01");
    ApplyErd(nullptr, settings, nullptr);
    log.LogWriteAnnalix = 1;
    StartScheduleWizard(nullptr, settings, log, "");
    log.LogWriteAnnalix = 0;
    StartScheduleWizard(nullptr, settings, log, "C:\\Lists\\all servers.txt");
    // A list whose path does not fit the wizard's Parameters field beside the console's.
    const std::string longList = "C:\\Lists\\" + std::string(240, 'x') + ".txt";
    StartScheduleWizard(nullptr, settings, log, longList);
    ViewLogFile(settings);
    OpenAnnalix(nullptr, settings);
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(TEXT_ANNALIX_NOT_INSTALLED, g_boxes[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONASTERISK), g_boxes[0].style & MB_ICONMASK);
    settings.AnnalixInstallPath = "C:\\Annalix";
    OpenAnnalix(nullptr, settings);

    const std::string folder = "\"C:\\Program Files\\Ostrel\\";
    const std::string wizard = folder + "Scheduler.exe\" " + folder + "Scheduler.old\" " + folder + "Salvora.exe\" ";
    const std::vector<std::string> expected = {
        // The last argument stays open: Restavo takes the rest of the line as the folder.
        folder + "Restavo.exe\" \"-c=PC01\" \"-d=D:\\ERD\\PC01",
        folder + "Restavo.exe\" \"-c=\" \"-d=D:\\ERD\\",
        wizard + "\"-S -D -n=0 -r=30\"",
        // The list travels in the job's own command, in the wizard's angle quotes.
        folder + "Scheduler.exe\" " + folder + "Scheduler.old\" " +
            "\"<C:\\Program Files\\Ostrel\\Salvora.exe> <C:\\Lists\\all servers.txt>\" "
            "\"-S -n=0 -r=30\" \"C:\\Lists\\all servers.txt\"",
        wizard + "\"-S -n=0 -r=30\" \"" + longList + "\"",
        win::NotepadCommand("C:\\Logs\\run.log"),
        "C:\\Annalix\\Annalix.exe -app:Salvora", // nothing started while it was not installed
    };
    EXPECT_EQ(expected, g_started);
    // Only the list that could not travel with its job is kept for it in the settings.
    std::string recorded;
    ASSERT_TRUE(ReadSettingString(kScheduledListFileValue, recorded));
    EXPECT_EQ(longList, recorded);
}

TEST_F(CompanionToolsTest, AProgramThatCannotStartShowsTheSystemsTextUnderItsCaption)
{
    g_startResult = g_startError = ERROR_FILE_NOT_FOUND;
    settings.AnnalixInstallPath = "C:\\Annalix";
    ApplyErd(nullptr, settings, "PC01");
    OpenAnnalix(nullptr, settings);
    StartScheduleWizard(nullptr, settings, log, "C:\\Lists\\servers.txt");
    ViewLogFile(settings); // Notepad's result is not tested
    ASSERT_EQ(3u, g_boxes.size());
    const char* captions[] = {"Load Restavo", "Open Annalix", "Load Scheduler"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(captions[i], g_boxes[i].caption);
        EXPECT_EQ(SystemMessageText(ERROR_FILE_NOT_FOUND), g_boxes[i].text);
        EXPECT_EQ(static_cast<UINT>(MB_ICONHAND), g_boxes[i].style & MB_ICONMASK);
    }
    EXPECT_EQ(4u, g_started.size());
    std::string recorded;
    EXPECT_FALSE(ReadSettingString(kScheduledListFileValue, recorded)) << "no wizard, no job to run on it";
}

} // namespace
