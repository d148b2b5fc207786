// The Options sheet made from its real templates over the test prefix's settings key, driven
// by messages; and the pages' context help through the console's help entry.
#include <gtest/gtest.h>

#include "ChooseFile.h"
#include "ComputerList.h"
#include "CreationDialogs.h"
#include "HelpViewer.h"
#include "Messages.h"
#include "OptionsSheet.h"
#include "RegistryFixture.h"
#include "ResultLog.h"
#include "Settings.h"
#include "ShowHelp.h"
#include "TestSupport.h"
#include "Window.h"

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

using namespace console_test;
using namespace testing_support;

namespace {

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

std::vector<std::string> g_boxes;
int WINAPI RecordBox(HWND, LPCSTR text, LPCSTR, UINT)
{
    g_boxes.emplace_back(text);
    return IDOK;
}

std::vector<HelpRequest> g_requests;
bool RecordHelp(HWND, const HelpRequest& request)
{
    g_requests.push_back(request);
    return true;
}

void Click(HWND page, int id)
{
    SendMessageA(GetDlgItem(page, id), BM_CLICK, 0, 0);
}

POINT CentreOf(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// The child of `page` whose text is `text` (labels and group boxes have no id of their own).
HWND ChildWithText(HWND page, const char* text)
{
    for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (win::WindowText(child) == text) return child;
    return nullptr;
}

class OptionsTest : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        g_boxes.clear();
        g_requests.clear();
        SetMessageBoxFunction(&RecordBox);
        SetHelpViewerFunction(&RecordHelp);
        settings_.ERDtimeout = kDefaultErdTimeout;
        settings_.OutDir = "C:\\Prog\\%COMPUTERNAME%";
        TheConsoleSettings().InstallPath = "C:\\Prog";
        TheConsoleSettings().AnnalixInstallPath.clear();
    }
    void TearDown() override
    {
        if (sheet_ && IsWindow(sheet_)) DestroyWindow(sheet_);
        options_.reset();
        SetMessageBoxFunction(nullptr);
        SetHelpViewerFunction(nullptr);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSalvoraKey);
        RegistryTest::TearDown();
    }

    HWND Open()
    {
        options_ = std::make_unique<OptionsSheet>(Instance(), settings_);
        sheet_ = options_->CreateModeless(nullptr);
        win::PumpMessages();
        return sheet_;
    }
    HWND Page(int index)
    {
        PropSheet_SetCurSel(sheet_, nullptr, index);
        win::PumpMessages();
        return PropSheet_GetCurrentPageHwnd(sheet_);
    }
    // Presses OK; true when the sheet accepted it and closed.
    bool PressOk()
    {
        PropSheet_PressButton(sheet_, PSBTN_OK);
        win::PumpMessages();
        return PropSheet_GetCurrentPageHwnd(sheet_) == nullptr;
    }
    void SetMinutes(HWND page, const char* text) { SetDlgItemTextA(page, IDC_TIMEOUT_MINUTES, text); }

    ConsoleSettings settings_;
    std::unique_ptr<OptionsSheet> options_;
    HWND sheet_ = nullptr;
};

TEST(TimeoutEncoding, MinutesAndBoxFromSecondsAndBack)
{
    TimeoutChoice fromDefault = TimeoutChoiceFromSeconds(-3600);
    EXPECT_FALSE(fromDefault.terminate);
    EXPECT_EQ(fromDefault.minutes, 60);
    TimeoutChoice fromNone = TimeoutChoiceFromSeconds(0);
    EXPECT_FALSE(fromNone.terminate);
    EXPECT_EQ(fromNone.minutes, 20);
    TimeoutChoice fromPositive = TimeoutChoiceFromSeconds(959); // whole minutes, toward zero
    EXPECT_TRUE(fromPositive.terminate);
    EXPECT_EQ(fromPositive.minutes, 15);
    EXPECT_EQ(TimeoutChoiceFromSeconds(-59).minutes, 20); // less than a minute is none

    EXPECT_EQ(SecondsFromTimeoutChoice(true, "15"), 900);
    EXPECT_EQ(SecondsFromTimeoutChoice(false, "60"), -3600);
    EXPECT_EQ(SecondsFromTimeoutChoice(true, " 999 "), 999 * 60);
    for (const char* bad : {"", "0", "1000", "abc", "15x", "-5", "99999999999"}) {
        EXPECT_FALSE(SecondsFromTimeoutChoice(true, bad)) << bad;
        EXPECT_FALSE(SecondsFromTimeoutChoice(false, bad)) << bad;
    }
}

TEST_F(OptionsTest, DefaultTimeoutShowsOffWithSixtyAndIsStoredAgain)
{
    ASSERT_TRUE(Open());
    HWND page = Page(0);
    EXPECT_FALSE(IsDlgButtonChecked(page, IDC_TERMINATE_AGENT));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_TIMEOUT_MINUTES)));
    EXPECT_EQ(win::WindowText(GetDlgItem(page, IDC_TIMEOUT_MINUTES)), "60");
    EXPECT_EQ(SendDlgItemMessageA(page, IDC_TIMEOUT_MINUTES, CB_GETCOUNT, 0, 0), 5);
    EXPECT_EQ(win::WindowText(GetDlgItem(page, IDC_OUTPUT_FOLDER)), "C:\\Prog\\%COMPUTERNAME%");
    ASSERT_TRUE(PressOk());
    EXPECT_EQ(settings_.ERDtimeout, -3600);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(OptionsTest, NoTimeoutShowsOffWithTwentyAndBecomesTwentyMinutesOff)
{
    settings_.ERDtimeout = 0;
    ASSERT_TRUE(Open());
    HWND page = Page(0);
    EXPECT_FALSE(IsDlgButtonChecked(page, IDC_TERMINATE_AGENT));
    EXPECT_EQ(win::WindowText(GetDlgItem(page, IDC_TIMEOUT_MINUTES)), "20");
    ASSERT_TRUE(PressOk());
    EXPECT_EQ(settings_.ERDtimeout, -1200);
}

TEST_F(OptionsTest, ThousandMinutesRefusedEvenWithTheBoxOffAndNothingStored)
{
    ASSERT_TRUE(Open());
    HWND page = Page(0);
    SetDlgItemTextA(page, IDC_OUTPUT_FOLDER, "D:\\Elsewhere");
    Click(page, IDC_PLATFORM_ALPHA);
    SetMinutes(page, "1000");
    EXPECT_FALSE(PressOk());
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "Invalid timeout value");
    EXPECT_EQ(settings_.ERDtimeout, -3600);
    EXPECT_EQ(settings_.OutDir, "C:\\Prog\\%COMPUTERNAME%");
    EXPECT_EQ(settings_.AlphaSupport, 0u);

    // Ticked, it is refused the same way; 15 ticked is 900 seconds.
    Click(page, IDC_TERMINATE_AGENT);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_TIMEOUT_MINUTES)));
    EXPECT_FALSE(PressOk());
    EXPECT_EQ(g_boxes.size(), 2u);
    SetMinutes(page, "15");
    ASSERT_TRUE(PressOk());
    EXPECT_EQ(settings_.ERDtimeout, 900);
    EXPECT_EQ(settings_.OutDir, "D:\\Elsewhere");
    EXPECT_EQ(settings_.AlphaSupport, 1u);
}

TEST_F(OptionsTest, IntelBoxCannotBeCleared)
{
    ASSERT_TRUE(Open());
    HWND page = Page(0);
    HWND intel = GetDlgItem(page, IDC_PLATFORM_INTEL);
    EXPECT_TRUE(IsDlgButtonChecked(page, IDC_PLATFORM_INTEL));
    EXPECT_FALSE(IsWindowEnabled(intel));
    // Even a click that reaches it (a disabled button ignores the mouse) leaves it ticked.
    EnableWindow(intel, TRUE);
    Click(page, IDC_PLATFORM_INTEL);
    Click(page, IDC_PLATFORM_INTEL);
    EXPECT_TRUE(IsDlgButtonChecked(page, IDC_PLATFORM_INTEL));
}

TEST_F(OptionsTest, AnnalixBoxesDisabledWhenAnnalixIsNotInstalled)
{
    ASSERT_TRUE(SetDword("LogWriteAnnalix", 1));
    ASSERT_TRUE(SetDword("DemandTaskExec", 1));
    ASSERT_TRUE(Open());
    HWND page = Page(1);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_LOG_TO_ANNALIX)));
    EXPECT_FALSE(IsDlgButtonChecked(page, IDC_LOG_TO_ANNALIX));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_DEMAND_TASKS)));
    EXPECT_FALSE(IsDlgButtonChecked(page, IDC_DEMAND_TASKS));
}

TEST_F(OptionsTest, AnnalixBoxCarriesTasksOnDemandAndTextFileItsFields)
{
    TheConsoleSettings().AnnalixInstallPath = "C:\\Annalix";
    ASSERT_TRUE(SetDword("LogWriteFile", 0));
    ASSERT_TRUE(Open());
    HWND page = Page(1);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_LOG_TO_ANNALIX)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_DEMAND_TASKS)));
    Click(page, IDC_LOG_TO_ANNALIX);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_DEMAND_TASKS)));
    EXPECT_TRUE(IsDlgButtonChecked(page, IDC_DEMAND_TASKS));
    Click(page, IDC_LOG_TO_ANNALIX);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_DEMAND_TASKS)));
    EXPECT_FALSE(IsDlgButtonChecked(page, IDC_DEMAND_TASKS));

    for (int id : {IDC_LOG_FILE_NAME, IDC_LOG_APPEND, IDC_LOG_OVERWRITE})
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, id))) << id;
    Click(page, IDC_LOG_TO_FILE);
    for (int id : {IDC_LOG_FILE_NAME, IDC_LOG_APPEND, IDC_LOG_OVERWRITE})
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, id))) << id;
}

TEST_F(OptionsTest, LogPageSavedAtOnceWhileCommonPageWaitsForExit)
{
    ASSERT_TRUE(Open());
    HWND common = Page(0);
    Click(common, IDC_LEAVE_AGENT);
    HWND log = Page(1);
    EXPECT_EQ(win::WindowText(GetDlgItem(log, IDC_LOG_FILE_NAME)), "C:\\Prog\\Salvora.log");
    EXPECT_TRUE(IsDlgButtonChecked(log, IDC_LOG_OVERWRITE));
    EXPECT_TRUE(IsDlgButtonChecked(log, IDC_DETAIL_FULL));
    SetDlgItemTextA(log, IDC_LOG_FILE_NAME, "C:\\Logs\\erd.log");
    Click(log, IDC_LOG_APPEND);
    Click(log, IDC_DETAIL_NONE);
    Click(log, IDC_LOG_TO_NT_LOG);
    ASSERT_TRUE(PressOk());

    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(GetValue("LogFileName", type, bytes));
    EXPECT_STREQ(bytes.c_str(), "C:\\Logs\\erd.log");
    uint32_t value = 9;
    ASSERT_TRUE(GetDword("LogOverwrite", value));
    EXPECT_EQ(value, 0u);
    ASSERT_TRUE(GetDword("LogFullErrorNo", value));
    EXPECT_EQ(value, 2u);
    ASSERT_TRUE(GetDword("NTAppLog", value));
    EXPECT_EQ(value, 1u);
    EXPECT_FALSE(GetDword("DemandTaskExec", value)); // Annalix is not installed
    // The process-wide result log took the new settings.
    EXPECT_STREQ(TheResultLog().Settings().LogFileName, "C:\\Logs\\erd.log");
    EXPECT_EQ(TheResultLog().Settings().LogFullErrorNo, 2u);

    // The common page changed the settings in memory only.
    EXPECT_EQ(settings_.LeaveAgent, 1u);
    EXPECT_FALSE(GetDword("LeaveAgent", value));
    EXPECT_FALSE(GetValue("OutDir", type, bytes));
}

TEST_F(OptionsTest, CancelStoresNothing)
{
    ASSERT_TRUE(Open());
    Click(Page(0), IDC_CHECK_QUOTA);
    HWND log = Page(1);
    SetDlgItemTextA(log, IDC_LOG_FILE_NAME, "C:\\Logs\\other.log");
    PropSheet_PressButton(sheet_, PSBTN_CANCEL);
    win::PumpMessages();
    EXPECT_EQ(PropSheet_GetCurrentPageHwnd(sheet_), nullptr);
    EXPECT_EQ(settings_.CheckRegQuota, 0u);
    DWORD type = 0;
    std::string bytes;
    EXPECT_FALSE(GetValue("LogFileName", type, bytes));
}

// ---- context help of the pages --------------------------------------------------------------

TEST_F(OptionsTest, LabelGivesItsFieldsHelpAndGroupBoxTheControlInside)
{
    ASSERT_TRUE(Open());
    HWND page = Page(0);
    EXPECT_NE(GetWindowLongPtrA(sheet_, GWL_EXSTYLE) & WS_EX_CONTEXTHELP, 0);

    // Right click on the label above the output folder: the folder field's popup.
    HWND label = ChildWithText(page, "Put created ERD into the following folder:");
    ASSERT_TRUE(label);
    POINT at = CentreOf(label);
    SendMessageA(page, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(label), MAKELPARAM(at.x, at.y));
    ASSERT_EQ(g_requests.size(), 1u);
    EXPECT_EQ(g_requests[0].command, kHelpContextPopup);
    EXPECT_EQ(g_requests[0].id, 327680u + 1012);
    EXPECT_EQ(g_requests[0].at.x, at.x);

    // Inside "Platform Support", on "DEC Alpha": that box's popup, nothing for the group.
    HWND group = ChildWithText(page, "Platform Support");
    ASSERT_TRUE(group);
    at = CentreOf(GetDlgItem(page, IDC_PLATFORM_ALPHA));
    SendMessageA(page, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(page), MAKELPARAM(at.x, at.y));
    ASSERT_EQ(g_requests.size(), 2u);
    EXPECT_EQ(g_requests[1].id, 327680u + 1028);
    RECT box = {};
    GetWindowRect(group, &box);
    at = POINT{box.right - 4, box.bottom - 4}; // inside the box, on no control
    SendMessageA(page, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(page), MAKELPARAM(at.x, at.y));
    EXPECT_EQ(g_requests.size(), 2u);
}

TEST_F(OptionsTest, F1OnTheTimeoutFieldsEditGivesTheComboBoxHelp)
{
    ASSERT_TRUE(Open());
    HWND page = Page(0);
    Click(page, IDC_TERMINATE_AGENT);
    HWND combo = GetDlgItem(page, IDC_TIMEOUT_MINUTES);
    HWND edit = GetWindow(combo, GW_CHILD);
    ASSERT_TRUE(edit);
    SetFocus(edit);
    HELPINFO info = {};
    info.cbSize = sizeof(info);
    info.iContextType = HELPINFO_WINDOW;
    info.iCtrlId = GetDlgCtrlID(edit);
    info.hItemHandle = edit;
    GetCursorPos(&info.MousePos);
    SendMessageA(page, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    ASSERT_EQ(g_requests.size(), 1u);
    EXPECT_EQ(g_requests[0].id, 327680u + 1010);
    EXPECT_EQ(g_requests[0].command, kHelpContextPopup);
}

TEST_F(OptionsTest, HelpButtonOfTheLogPageShowsItsTopicAndTheIdWhenAsked)
{
    ASSERT_TRUE(SetString("DisplayHelpID", "1", kSalvoraKey));
    ASSERT_TRUE(Open());
    Page(1);
    PropSheet_PressButton(sheet_, PSBTN_HELP);
    win::PumpMessages();
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "Invoked help ID = 131581 (0x201FD)");
    ASSERT_EQ(g_requests.size(), 1u);
    EXPECT_EQ(g_requests[0].command, kHelpContext);
    EXPECT_EQ(g_requests[0].id, 131072u + 509);
}

TEST_F(OptionsTest, MainWindowTopicOpensTheContentsAndTheSwitchNeedsAOne)
{
    ShowHelp(kMainWindowTopic, kHelpContext);
    ASSERT_EQ(g_requests.size(), 1u);
    EXPECT_EQ(g_requests[0].command, kHelpFinder);
    EXPECT_EQ(g_requests[0].id, 0u);
    EXPECT_TRUE(g_boxes.empty()); // no switch, no id shown
    ASSERT_TRUE(SetString("DisplayHelpID", "10", kSalvoraKey)); // longer than it may be
    EXPECT_FALSE(IsHelpIdDisplayOn());
    ASSERT_TRUE(SetString("DisplayHelpID", "1", kSalvoraKey));
    EXPECT_TRUE(IsHelpIdDisplayOn());
    ShowHelp(kMainWindowTopic, kHelpContext);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "Invoked help ID = 0 (0x0)");
}

TEST(ChooseFolder, AFileChosenGivesItsFolder)
{
    TempFolder folder("opt");
    ASSERT_TRUE(WriteWholeFile(folder / "inside.txt", "x"));
    EXPECT_EQ(FolderOfChoice(folder / "inside.txt"), folder.Path());
    EXPECT_EQ(FolderOfChoice(folder.Path()), folder.Path());
    EXPECT_EQ(FolderOfChoice("C:\\boot.ini"), "C:\\");
}

TEST_F(OptionsTest, CreateErdDialogsHelpButtonShowsItsTopic)
{
    InstallCreationDialogHelp();
    ComputerList list;
    CreateErdDialog dialog(list);
    ASSERT_TRUE(dialog.Create(Instance(), IDD_CREATE_ERD, nullptr));
    SendMessageA(dialog.Handle(), WM_COMMAND, MAKEWPARAM(IDC_ERD_HELP, BN_CLICKED),
                 reinterpret_cast<LPARAM>(dialog.Item(IDC_ERD_HELP)));
    ASSERT_EQ(g_requests.size(), 1u);
    EXPECT_EQ(g_requests[0].command, kHelpContext);
    EXPECT_EQ(g_requests[0].id, 131072u + 106);
    dialog.Destroy();
}

// ---- the compiled help file and the help viewer ---------------------------------------------

std::string HelpFile() { return BinFolder() + "\\Salvora.chm"; }

TEST(HelpPopup, ShowsTheTextAndGoesAtAClickOrAKey)
{
    HWND popup = help::ShowTextPopup(nullptr, "First text", POINT{100, 100});
    ASSERT_TRUE(popup);
    EXPECT_EQ(help::CurrentTextPopup(), popup);
    EXPECT_TRUE(IsWindowVisible(popup));
    EXPECT_EQ(win::WindowText(popup), "First text");
    RECT rect = {};
    GetWindowRect(popup, &rect);
    EXPECT_EQ(rect.left, 100);
    EXPECT_EQ(rect.top, 100);
    SendMessageA(popup, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_EQ(help::CurrentTextPopup(), nullptr);

    // Near the screen's corner it is moved back onto the screen; a new popup replaces it.
    popup = help::ShowTextPopup(nullptr, "Second text", POINT{GetSystemMetrics(SM_CXSCREEN) - 2, 10});
    ASSERT_TRUE(popup);
    GetWindowRect(popup, &rect);
    EXPECT_LE(rect.right, GetSystemMetrics(SM_CXSCREEN));
    HWND third = help::ShowTextPopup(nullptr, "Third text", POINT{10, 10});
    EXPECT_FALSE(IsWindow(popup));
    SendMessageA(third, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(IsWindow(third));
}

TEST(HelpPopup, TextsJoinTheirLinesAndNeedTheirName)
{
    const std::string header = "#define IDH_A 328692\n#define IDH_B 0x50001\n";
    const std::string texts = ".topic IDH_A\nFirst line\nsecond line.\n\nNew paragraph.\n.topic IDH_B\nB text\n.topic 7\nSeven\n";
    std::string text;
    ASSERT_TRUE(help::FindPopupText(header, texts, 328692, text));
    EXPECT_EQ(text, "First line second line.\r\n\r\nNew paragraph.");
    ASSERT_TRUE(help::FindPopupText(header, texts, 0x50001, text));
    EXPECT_EQ(text, "B text");
    ASSERT_TRUE(help::FindPopupText(header, texts, 7, text));
    EXPECT_FALSE(help::FindPopupText(header, texts, 328693, text));
    EXPECT_FALSE(help::FindPopupText("", texts, 328692, text)); // a name without its number
}

class HelpFileTest : public OptionsTest {
protected:
    void SetUp() override
    {
        OptionsTest::SetUp();
        SetHelpViewerFunction(nullptr); // the real viewer
        TheConsoleSettings().HelpFilePath = HelpFile();
    }
    void TearDown() override
    {
        help::CloseAll();
        OptionsTest::TearDown();
    }
};

// Every control of both pages that has a help id finds its popup text in the compiled file.
TEST_F(HelpFileTest, EveryControlOfThePagesHasPopupText)
{
    ConsoleSettings settings;
    CPageCommon common(settings);
    CPageLog log;
    win::PropertySheetDialog sheet(Instance(), "Options", PSH_NOAPPLYNOW | PSH_HASHELP);
    sheet.AddPage(common, CHelpSupportPage::kPageFlags);
    sheet.AddPage(log, CHelpSupportPage::kPageFlags);
    sheet_ = sheet.CreateModeless(nullptr);
    ASSERT_TRUE(sheet_);
    int checked = 0;
    for (int index = 0; index < 2; ++index) {
        HWND page = Page(index);
        const CHelpSupportPage& object = index == 0 ? static_cast<CHelpSupportPage&>(common) : log;
        for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            uint32_t id = object.GetHelpId(child);
            if (!id) continue;
            std::string text;
            EXPECT_TRUE(help::ReadPopupText(HelpFile(), id, text)) << id;
            EXPECT_GT(text.size(), 30u) << id;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 11 + 12); // the two labels of page 105 count with their controls
    EXPECT_EQ(common.HelpIds().Count(), 9u);
    EXPECT_EQ(log.HelpIds().Count(), 12u);
    DestroyWindow(sheet_); // before its pages go
}

// Every topic any program asks for opens in the viewer; an unknown one does not.
TEST_F(HelpFileTest, EveryTopicOpensInTheViewer)
{
    for (DWORD id : {131072u + 105, 131072u + 509, 131072u + 106, 131072u + 107, 1010u, 131209u, 131200u})
        EXPECT_TRUE(help::ShowTopic(nullptr, HelpFile(), id)) << id;
    EXPECT_FALSE(help::ShowTopic(nullptr, HelpFile(), 131072u + 999));
    EXPECT_TRUE(help::ShowContents(nullptr, HelpFile()));
    // Scheduler's wizard and Rostery's job list ask their own file for 1015.
    EXPECT_TRUE(help::ShowTopic(nullptr, BinFolder() + "\\Scheduler.chm", 1015));
}

TEST_F(HelpFileTest, RightClickShowsThePopupOfTheHelpFileAtThePoint)
{
    ASSERT_TRUE(Open());
    HWND page = Page(0);
    POINT at = CentreOf(GetDlgItem(page, IDC_OUTPUT_FOLDER));
    SendMessageA(page, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(page), MAKELPARAM(at.x, at.y));
    HWND popup = help::CurrentTextPopup();
    ASSERT_TRUE(popup);
    EXPECT_NE(win::WindowText(popup).find("%COMPUTERNAME%"), std::string::npos);
    RECT rect = {};
    GetWindowRect(popup, &rect);
    EXPECT_EQ(rect.left, at.x);
    EXPECT_EQ(rect.top, at.y);
}

} // namespace
