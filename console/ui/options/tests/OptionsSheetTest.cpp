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

void Click(HWND page, int id) { SendMessageA(GetDlgItem(page, id), BM_CLICK, 0, 0); }
bool Enabled(HWND page, int id) { return IsWindowEnabled(GetDlgItem(page, id)); }
std::string Text(HWND page, int id) { return win::WindowText(GetDlgItem(page, id)); }

RECT RectOf(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}
POINT CentreOf(HWND window)
{
    RECT rect = RectOf(window);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

void ContextMenu(HWND page, HWND on, POINT at)
{
    SendMessageA(page, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(on), MAKELPARAM(at.x, at.y));
}

// The child of `page` whose text is `text` (labels and group boxes have no id of their own).
HWND ChildWithText(HWND page, const char* text)
{
    for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (win::WindowText(child) == text) return child;
    return nullptr;
}

// A value of the settings key as text (a DWORD as its number); "absent" when it is not there.
std::string Stored(const char* name)
{
    DWORD type = 0;
    std::string bytes;
    if (!GetValue(name, type, bytes)) return "absent";
    uint32_t value = 0;
    return GetDword(name, value) ? std::to_string(value) : std::string(bytes.c_str());
}

void ExpectRequest(size_t count, UINT command, DWORD id)
{
    ASSERT_EQ(g_requests.size(), count);
    EXPECT_EQ(g_requests.back().command, command);
    EXPECT_EQ(g_requests.back().id, id);
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
    // Presses a button of the sheet; true when the sheet closed.
    bool Press(int button = PSBTN_OK)
    {
        PropSheet_PressButton(sheet_, button);
        win::PumpMessages();
        return PropSheet_GetCurrentPageHwnd(sheet_) == nullptr;
    }

    ConsoleSettings settings_;
    std::unique_ptr<OptionsSheet> options_;
    HWND sheet_ = nullptr;
};

// No timeout shows as 20 minutes off and is stored so; the default goes back as it came.
TEST(TimeoutEncoding, WholeMinutesAndOnlyOneToNineHundredNinetyNine)
{
    EXPECT_FALSE(TimeoutChoiceFromSeconds(0).terminate);
    EXPECT_EQ(TimeoutChoiceFromSeconds(0).minutes, 20);
    EXPECT_EQ(SecondsFromTimeoutChoice(false, "20"), -1200);
    EXPECT_EQ(SecondsFromTimeoutChoice(false, "60"), kDefaultErdTimeout);
    EXPECT_TRUE(TimeoutChoiceFromSeconds(959).terminate);
    EXPECT_EQ(TimeoutChoiceFromSeconds(959).minutes, 15); // whole minutes, toward zero
    EXPECT_EQ(TimeoutChoiceFromSeconds(-59).minutes, 20); // less than a minute is none
    EXPECT_EQ(SecondsFromTimeoutChoice(true, " 999 "), 999 * 60);
    for (const char* bad : {"", "0", "1000", "abc", "15x", "-5", "99999999999"}) {
        EXPECT_FALSE(SecondsFromTimeoutChoice(true, bad)) << bad;
        EXPECT_FALSE(SecondsFromTimeoutChoice(false, bad)) << bad;
    }
}

// The default shows as 60 minutes off; a thousand minutes is refused, ticked or not, taking
// nothing of the page; Intel stays ticked.
TEST_F(OptionsTest, CommonPageShowsTheTimeoutAndTakesNothingUntilItIsValid)
{
    ASSERT_TRUE(Open());
    HWND page = Page(0);
    EXPECT_FALSE(IsDlgButtonChecked(page, IDC_TERMINATE_AGENT));
    EXPECT_FALSE(Enabled(page, IDC_TIMEOUT_MINUTES));
    EXPECT_EQ(Text(page, IDC_TIMEOUT_MINUTES), "60");
    EXPECT_EQ(Text(page, IDC_OUTPUT_FOLDER), "C:\\Prog\\%COMPUTERNAME%");
    // Intel cannot be cleared, even by a click that reaches it (a disabled button ignores the mouse).
    EXPECT_TRUE(IsDlgButtonChecked(page, IDC_PLATFORM_INTEL));
    EXPECT_FALSE(Enabled(page, IDC_PLATFORM_INTEL));
    EnableWindow(GetDlgItem(page, IDC_PLATFORM_INTEL), TRUE);
    Click(page, IDC_PLATFORM_INTEL);
    Click(page, IDC_PLATFORM_INTEL);
    EXPECT_TRUE(IsDlgButtonChecked(page, IDC_PLATFORM_INTEL));

    SetDlgItemTextA(page, IDC_OUTPUT_FOLDER, "D:\\Elsewhere");
    Click(page, IDC_PLATFORM_ALPHA);
    EXPECT_FALSE(IsDlgButtonChecked(page, IDC_SAVE_WITHOUT_RDISK));
    Click(page, IDC_SAVE_WITHOUT_RDISK);
    SetDlgItemTextA(page, IDC_TIMEOUT_MINUTES, "1000");
    EXPECT_FALSE(Press());
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "Invalid timeout value");
    EXPECT_EQ(settings_.ERDtimeout, -3600);
    EXPECT_EQ(settings_.OutDir, "C:\\Prog\\%COMPUTERNAME%");
    EXPECT_EQ(settings_.AlphaSupport, 0u);
    EXPECT_EQ(settings_.SaveHivesWithoutRdisk, 0u);
    Click(page, IDC_TERMINATE_AGENT);
    EXPECT_TRUE(Enabled(page, IDC_TIMEOUT_MINUTES));
    EXPECT_FALSE(Press());
    EXPECT_EQ(g_boxes.size(), 2u);
    SetDlgItemTextA(page, IDC_TIMEOUT_MINUTES, "15");
    ASSERT_TRUE(Press());
    EXPECT_EQ(settings_.ERDtimeout, 900);
    EXPECT_EQ(settings_.OutDir, "D:\\Elsewhere");
    EXPECT_EQ(settings_.AlphaSupport, 1u);
    EXPECT_EQ(settings_.SaveHivesWithoutRdisk, 1u);
}

// Without Annalix its boxes are off whatever is stored; OK writes the log page, the other only to memory.
TEST_F(OptionsTest, LogPageSavedAtOnceWhileCommonPageWaitsForExit)
{
    ASSERT_TRUE(SetDword("LogWriteAnnalix", 1));
    ASSERT_TRUE(Open());
    Click(Page(0), IDC_LEAVE_AGENT);
    HWND log = Page(1);
    for (int id : {IDC_LOG_TO_ANNALIX, IDC_DEMAND_TASKS}) {
        EXPECT_FALSE(Enabled(log, id)) << id;
        EXPECT_FALSE(IsDlgButtonChecked(log, id)) << id;
    }
    EXPECT_EQ(Text(log, IDC_LOG_FILE_NAME), "C:\\Prog\\Salvora.log");
    SetDlgItemTextA(log, IDC_LOG_FILE_NAME, "C:\\Logs\\erd.log");
    Click(log, IDC_LOG_APPEND);
    Click(log, IDC_DETAIL_NONE);
    Click(log, IDC_LOG_TO_NT_LOG);
    ASSERT_TRUE(Press());

    EXPECT_EQ(Stored("LogFileName"), "C:\\Logs\\erd.log");
    EXPECT_EQ(Stored("LogOverwrite") + Stored("LogFullErrorNo") + Stored("NTAppLog"), "021");
    EXPECT_EQ(Stored("DemandTaskExec"), "absent");
    EXPECT_STREQ(TheResultLog().Settings().LogFileName, "C:\\Logs\\erd.log"); // the live log too
    EXPECT_EQ(TheResultLog().Settings().LogFullErrorNo, 2u);
    EXPECT_EQ(settings_.LeaveAgent, 1u);
    EXPECT_EQ(Stored("LeaveAgent") + Stored("OutDir"), "absentabsent");
}

// With Annalix its box carries tasks on demand and the text file box its fields; Cancel keeps nothing.
TEST_F(OptionsTest, LogBoxesCarryTheirFieldsAndCancelStoresNothing)
{
    TheConsoleSettings().AnnalixInstallPath = "C:\\Annalix";
    ASSERT_TRUE(SetDword("LogWriteFile", 0));
    ASSERT_TRUE(Open());
    Click(Page(0), IDC_CHECK_QUOTA);
    HWND page = Page(1);
    EXPECT_TRUE(Enabled(page, IDC_LOG_TO_ANNALIX));
    for (bool on : {true, false}) {
        EXPECT_NE(Enabled(page, IDC_DEMAND_TASKS), on);
        Click(page, IDC_LOG_TO_ANNALIX);
        EXPECT_EQ(Enabled(page, IDC_DEMAND_TASKS), on);
        EXPECT_EQ(IsDlgButtonChecked(page, IDC_DEMAND_TASKS) != 0, on);
    }
    for (bool on : {false, true}) {
        for (int id : {IDC_LOG_FILE_NAME, IDC_LOG_APPEND, IDC_LOG_OVERWRITE})
            EXPECT_EQ(Enabled(page, id), on) << id;
        Click(page, IDC_LOG_TO_FILE);
    }
    SetDlgItemTextA(page, IDC_LOG_FILE_NAME, "C:\\Logs\\other.log");
    EXPECT_TRUE(Press(PSBTN_CANCEL));
    EXPECT_EQ(settings_.CheckRegQuota, 0u);
    EXPECT_EQ(Stored("LogFileName"), "absent");
}

// ---- context help of the pages --------------------------------------------------------------

// A label gives its field's popup, a group box the control under the point, F1 in the combo's
// edit the combo's; the Help button the page's topic, with the id shown when switched on.
TEST_F(OptionsTest, PagesGiveEachControlsPopupAndTheirTopic)
{
    ASSERT_TRUE(Open());
    HWND page = Page(0);
    EXPECT_NE(GetWindowLongPtrA(sheet_, GWL_EXSTYLE) & WS_EX_CONTEXTHELP, 0);
    HWND label = ChildWithText(page, "Put created ERD into the &following folder:");
    ASSERT_TRUE(label);
    POINT at = CentreOf(label);
    ContextMenu(page, label, at);
    ExpectRequest(1, kHelpContextPopup, 327680u + 1012);
    EXPECT_EQ(g_requests[0].at.x, at.x);

    HWND group = ChildWithText(page, "Platform Support");
    ASSERT_TRUE(group);
    ContextMenu(page, page, CentreOf(GetDlgItem(page, IDC_PLATFORM_ALPHA)));
    ExpectRequest(2, kHelpContextPopup, 327680u + 1028);
    RECT box = RectOf(group);
    ContextMenu(page, page, POINT{box.right - 4, box.bottom - 4}); // inside the box, on no control
    EXPECT_EQ(g_requests.size(), 2u);
    HWND withoutRdisk = GetDlgItem(page, IDC_SAVE_WITHOUT_RDISK);
    ContextMenu(page, withoutRdisk, CentreOf(withoutRdisk));
    ExpectRequest(3, kHelpContextPopup, 327680u + IDC_SAVE_WITHOUT_RDISK);

    Click(page, IDC_TERMINATE_AGENT);
    HWND edit = GetWindow(GetDlgItem(page, IDC_TIMEOUT_MINUTES), GW_CHILD);
    ASSERT_TRUE(edit);
    SetFocus(edit);
    HELPINFO info = {sizeof(info), HELPINFO_WINDOW, GetDlgCtrlID(edit), edit, 0, {}};
    GetCursorPos(&info.MousePos);
    SendMessageA(page, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    ExpectRequest(4, kHelpContextPopup, 327680u + 1010);

    ASSERT_TRUE(SetString("DisplayHelpID", "1", kSalvoraKey));
    Page(1);
    Press(PSBTN_HELP);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "Invoked help ID = 131581 (0x201FD)");
    ExpectRequest(5, kHelpContext, 131072u + 509);
}

// The main window's topic opens the contents (its id shown only for a switch of exactly "1").
TEST_F(OptionsTest, MainWindowAndCreateErdDialogOpenTheirTopics)
{
    ShowHelp(kMainWindowTopic, kHelpContext);
    ExpectRequest(1, kHelpFinder, 0);
    EXPECT_TRUE(g_boxes.empty());
    ASSERT_TRUE(SetString("DisplayHelpID", "10", kSalvoraKey));
    EXPECT_FALSE(IsHelpIdDisplayOn());
    ASSERT_TRUE(SetString("DisplayHelpID", "1", kSalvoraKey));
    ShowHelp(kMainWindowTopic, kHelpContext);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "Invoked help ID = 0 (0x0)");

    InstallCreationDialogHelp();
    ComputerList list;
    CreateErdDialog dialog(list);
    ASSERT_TRUE(dialog.Create(Instance(), IDD_CREATE_ERD, nullptr));
    SendMessageA(dialog.Handle(), WM_COMMAND, MAKEWPARAM(IDC_ERD_HELP, BN_CLICKED),
                 reinterpret_cast<LPARAM>(dialog.Item(IDC_ERD_HELP)));
    ExpectRequest(3, kHelpContext, 131072u + 106);
    dialog.Destroy();
}

TEST(ChooseFolder, AFileChosenGivesItsFolder)
{
    TempFolder folder("opt");
    ASSERT_TRUE(WriteWholeFile(folder / "inside.txt", "x"));
    EXPECT_EQ(FolderOfChoice(folder / "inside.txt"), folder.Path());
    EXPECT_EQ(FolderOfChoice(folder.Path()), folder.Path());
    EXPECT_EQ(FolderOfChoice("C:\\boot.ini"), "C:\\");
}

// ---- the compiled help file and the help viewer ---------------------------------------------

std::string HelpFile() { return BinFolder() + "\\Salvora.chm"; }

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

TEST(HelpContexts, AnIdFindsOnlyItsOwnWholeLine)
{
    const std::string contexts = "1015=a.htm\r\n65536=\n10150=b.htm\nx=c.htm\n 65537 = cmd.htm \n";
    std::string topic;
    ASSERT_TRUE(help::FindContextTopic(contexts, 1015, topic));
    EXPECT_EQ(topic, "a.htm");
    ASSERT_TRUE(help::FindContextTopic(contexts, 65537, topic));
    EXPECT_EQ(topic, "cmd.htm");
    EXPECT_FALSE(help::FindContextTopic(contexts, 65536, topic)); // no topic named
    EXPECT_FALSE(help::FindContextTopic(contexts, 101, topic));
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

// Every topic any program asks for opens in the viewer, an unknown one does not. A right click
// on any control of the pages shows its text from the file at the point; a click, Escape or the
// next popup ends it, and one near the screen's edge is moved back onto the screen.
TEST_F(HelpFileTest, EveryTopicAndEveryControlsPopupComeFromTheFile)
{
    for (DWORD id : {131072u + 105, 131072u + 509, 131072u + 106, 131072u + 107, 1010u, 131209u, 131200u})
        EXPECT_TRUE(help::ShowTopic(nullptr, HelpFile(), id)) << id;
    EXPECT_FALSE(help::ShowTopic(nullptr, HelpFile(), 131072u + 999));
    EXPECT_TRUE(help::ShowContents(nullptr, HelpFile()));
    // Scheduler's wizard and Rostery's job list ask their own file for 1015.
    EXPECT_TRUE(help::ShowTopic(nullptr, BinFolder() + "\\Scheduler.chm", 1015));
    // Every id of both files' maps (the commands' topics too) opens its topic by its name.
    for (const std::string& file : {HelpFile(), BinFolder() + "\\Scheduler.chm"}) {
        std::vector<DWORD> ids = help::ReadContextIds(file);
        EXPECT_FALSE(ids.empty()) << file;
        for (DWORD id : ids) {
            std::string topic;
            ASSERT_TRUE(help::ReadContextTopic(file, id, topic)) << id;
            EXPECT_EQ(topic.find_first_of("/\\:"), std::string::npos) << topic; // its own name only
            EXPECT_TRUE(help::ShowTopic(nullptr, file, id)) << file << " " << id;
        }
    }

    ASSERT_TRUE(Open());
    int shown = 0;
    for (int index : {0, 1}) {
        HWND page = Page(index);
        for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            char kind[16] = {};
            GetClassNameA(child, kind, sizeof(kind));
            if (lstrcmpiA(kind, "Button") == 0 && (GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX)
                continue; // a group box has no text of its own
            ContextMenu(page, child, CentreOf(child));
            if (HWND popup = help::CurrentTextPopup()) {
                EXPECT_GT(win::WindowText(popup).size(), 30u) << GetDlgCtrlID(child);
                SendMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
                ++shown;
            }
        }
    }
    EXPECT_EQ(shown, 12 + 12); // the two labels of the Create ERD page count with their fields
    EXPECT_EQ(help::CurrentTextPopup(), nullptr);

    HWND page = Page(0);
    POINT at = CentreOf(GetDlgItem(page, IDC_OUTPUT_FOLDER));
    ContextMenu(page, page, at);
    HWND popup = help::CurrentTextPopup();
    ASSERT_TRUE(popup);
    EXPECT_TRUE(IsWindowVisible(popup));
    EXPECT_NE(win::WindowText(popup).find("%COMPUTERNAME%"), std::string::npos);
    EXPECT_EQ(RectOf(popup).left, at.x);
    EXPECT_EQ(RectOf(popup).top, at.y);
    SendMessageA(popup, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_EQ(help::CurrentTextPopup(), nullptr);

    popup = help::ShowTextPopup(nullptr, "Edge text", POINT{GetSystemMetrics(SM_CXSCREEN) - 2, 10});
    ASSERT_TRUE(popup);
    EXPECT_EQ(win::WindowText(popup), "Edge text");
    EXPECT_LE(RectOf(popup).right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_TRUE(help::ShowTextPopup(nullptr, "Next text", POINT{10, 10}));
    EXPECT_FALSE(IsWindow(popup));
}

} // namespace
