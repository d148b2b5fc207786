// The console's main window made by its real start-up path over a simulated network and
// simulated targets, driven by the messages a user's clicks and keys would send.
#include <gtest/gtest.h>

#include "CompanionTools.h"
#include "ComputerChooserIds.h"
#include "ConsoleState.h"
#include "CreationDialogIds.h"
#include "DomainSelectionIds.h"
#include "ConsoleWindow.h"
#include "Enumeration.h"
#include "ShowHelp.h"
#include "Messages.h"
#include "NetworkApi.h"
#include "Profile.h"
#include "RepairSet.h"
#include "ResultLog.h"
#include "SimulatedNetwork.h"
#include "SimulatedRunTest.h"
#include "TestSupport.h"
#include "UiResource.h"
#include "Window.h"

#include <commctrl.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

constexpr char kTestApplication[] = "Corvane Salvora Tests";
constexpr char kSection[] = "View Settings";

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Answers the modal windows a command opens: each step waits for a window of this thread
// with its caption and acts on it once its condition holds. Runs on a thread timer, which
// the modal loops dispatch.
class ModalDriver {
public:
    struct Step {
        std::string caption;
        std::function<bool(HWND)> act; // true when done with this window
    };
    explicit ModalDriver(std::vector<Step> steps) : steps_(std::move(steps))
    {
        current_ = this;
        start_ = GetTickCount();
        timer_ = SetTimer(nullptr, 0, 100, &ModalDriver::Tick);
    }
    ~ModalDriver()
    {
        KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    bool Finished() const { return next_ == steps_.size(); }
    std::vector<std::string> seen; // captions of the windows acted on

private:
    static BOOL CALLBACK Find(HWND window, LPARAM context)
    {
        auto* found = reinterpret_cast<std::pair<const std::string*, HWND>*>(context);
        if (IsWindowVisible(window) && win::WindowText(window) == *found->first) {
            found->second = window;
            return FALSE;
        }
        return TRUE;
    }
    static BOOL CALLBACK CancelDialog(HWND window, LPARAM)
    {
        char name[16] = "";
        GetClassNameA(window, name, sizeof(name));
        if (lstrcmpA(name, "#32770") == 0 && IsWindowVisible(window)) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        ModalDriver* self = current_;
        if (!self || self->busy_ || self->Finished()) return;
        if (GetTickCount() - self->start_ > kGiveUpMs) {
            // A window that never came up as expected: cancel whatever is open, so the test
            // fails instead of hanging.
            EnumThreadWindows(GetCurrentThreadId(), &ModalDriver::CancelDialog, 0);
            return;
        }
        Step& step = self->steps_[self->next_];
        std::pair<const std::string*, HWND> found{&step.caption, nullptr};
        EnumThreadWindows(GetCurrentThreadId(), &ModalDriver::Find, reinterpret_cast<LPARAM>(&found));
        if (!found.second) return;
        self->busy_ = true;
        if (step.act(found.second)) {
            self->seen.push_back(step.caption);
            ++self->next_;
        }
        self->busy_ = false;
    }

    static constexpr DWORD kGiveUpMs = 30000;
    static inline ModalDriver* current_ = nullptr;
    DWORD start_ = 0;
    std::vector<Step> steps_;
    size_t next_ = 0;
    UINT_PTR timer_ = 0;
    bool busy_ = false;
};

bool Press(HWND dialog, int id)
{
    if (!IsWindowEnabled(GetDlgItem(dialog, id))) return false;
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    return true;
}

// The file chooser's name box, then OK.
std::function<bool(HWND)> ChooseFile(const std::string& path)
{
    return [path](HWND dialog) {
        SetDlgItemTextA(dialog, 1148, path.c_str());
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return true;
    };
}

std::vector<std::string> g_boxes;
int WINAPI RecordBox(HWND, LPCSTR text, LPCSTR caption, UINT)
{
    g_boxes.push_back(std::string(caption ? caption : "") + ": " + (text ? text : ""));
    return IDOK;
}

void DeleteProfile() { RegDeleteTreeA(HKEY_CURRENT_USER, (std::string("Software\\Ostrel\\") + kTestApplication).c_str()); }

class ConsoleWindowTest : public SimulatedRunTest {
protected:
    void SetUp() override
    {
        SimulatedRunTest::SetUp();
        SetUnattended(false);
        win::SetProfileKey("Ostrel", kTestApplication);
        DeleteProfile();
        local = LocalComputerName();
        network.Add({L"PDC1", kSimPrimaryController, 4, 0, L"Head office"});
        network.Add({L"BDC1", kSimBackupController, 4, 0, L"Branch"});
        network.Add({L"BDC2", kSimBackupController, 4, 0});
        network.Add({L"SRV1", kSimNtServer, 4, 0, L"Files"});
        network.Add({L"SRV2", kSimNtServer, 3, 51, L"Print"});
        network.Add({L"SRV3", kSimNtServer, 4, 0});
        network.Add({L"WKS1", kSimNtWorkstation, 4, 0, L"Reception"});
        network.Add({L"WKS2", kSimNtWorkstation, 4, 0});
        network.Add({L"WKS3", kSimNtWorkstation, 3, 51});
        network.Add({L"ODD1", 0x1000, 4, 0, L"No role bits"});
        network.Add({L"ODD2", 0x1000, 4, 0});
        network.Add({Wide(local), kSimNtWorkstation, 4, 0, L"This computer"});
        allComputers = folder / "all.txt";
        WriteWholeFile(allComputers, "PDC1\nBDC1\nBDC2\nSRV1\nSRV2\nSRV3\nWKS1\nWKS2\nWKS3\nODD1\nODD2\n" + local + "\n");
        SetNetwork(&network);
        SetMessageBoxFunction(&RecordBox);
        g_boxes.clear();
    }
    void TearDown() override
    {
        console.reset();
        SetMessageBoxFunction(nullptr);
        SetNetwork(nullptr);
        DeleteProfile();
        SimulatedRunTest::TearDown();
    }

    // The console as the program starts it: refreshed from the domain, or from `listFile`.
    void Start(const std::string& listFile = "")
    {
        console = std::make_unique<ConsoleWindow>(Instance());
        console->Frame().SetQuitOnDestroy(false);
        ASSERT_TRUE(console->Open(listFile));
        frame = console->Frame().Handle();
        list = console->View().Handle();
    }
    void Close()
    {
        DestroyWindow(frame);
        console.reset();
    }
    void Command(UINT id) { SendMessageA(frame, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    int ItemCount() const { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }
    std::string ItemText(int item, int column) const
    {
        char text[64] = "";
        LVITEMA info{};
        info.iSubItem = column;
        info.pszText = text;
        info.cchTextMax = sizeof(text);
        SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&info));
        return text;
    }
    std::vector<std::string> Column(int column) const
    {
        std::vector<std::string> texts;
        for (int i = 0; i < ItemCount(); ++i) texts.push_back(ItemText(i, column));
        return texts;
    }
    std::set<std::string> SelectedItems() const
    {
        std::set<std::string> names;
        for (int i = 0; i < ItemCount(); ++i)
            if (SendMessageA(list, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED)) names.insert(ItemText(i, 0));
        return names;
    }
    std::set<std::string> SelectedEntries() const
    {
        std::set<std::string> names;
        for (const ComputerEntryPtr& entry : TheComputerList().Entries())
            if (entry->selected) names.insert(entry->name);
        return names;
    }
    void SelectOnly(const std::set<std::string>& names)
    {
        for (int i = 0; i < ItemCount(); ++i) {
            LVITEMA state{};
            state.stateMask = LVIS_SELECTED;
            state.state = names.count(ItemText(i, 0)) ? LVIS_SELECTED : 0;
            SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&state));
        }
    }
    void Notify(UINT code, int column = 0)
    {
        NMLISTVIEW info{};
        info.hdr.hwndFrom = list;
        info.hdr.idFrom = win::View::kPaneId;
        info.hdr.code = code;
        info.iItem = -1;
        info.iSubItem = column;
        SendMessageA(frame, WM_NOTIFY, win::View::kPaneId, reinterpret_cast<LPARAM>(&info));
    }
    std::string LogText() const
    {
        std::string text;
        ReadWholeFile(folder / "Salvora.log", text);
        return text;
    }

    SimulatedNetwork network;
    std::string local;
    std::string allComputers; // a list file of the twelve computers
    std::unique_ptr<ConsoleWindow> console;
    HWND frame = nullptr;
    HWND list = nullptr;
};

WINDOWPLACEMENT PlacementOf(HWND window)
{
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    GetWindowPlacement(window, &placement);
    return placement;
}

TEST_F(ConsoleWindowTest, PlacementFirstStartRoundTripAndBadValues)
{
    Start();
    EXPECT_EQ(ItemCount(), 10) << "refreshed from the domain: its computers of known role";
    EXPECT_TRUE(IsZoomed(frame)) << "a first start opens maximized";
    RECT normal = PlacementOf(frame).rcNormalPosition;
    EXPECT_NEAR((normal.left + normal.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 2) << "centred";
    EXPECT_NEAR((normal.top + normal.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 2);
    EXPECT_TRUE(console->Frame().TextLabels());
    EXPECT_EQ(console->Frame().StatusText(), "For Help, press F1");

    WINDOWPLACEMENT placement = PlacementOf(frame);
    placement.showCmd = SW_SHOWNORMAL;
    placement.rcNormalPosition = RECT{40, 30, 640, 430};
    SetWindowPlacement(frame, &placement);
    Command(ID_VIEW_TEXT_LABELS);
    // The role pictures are the view's: the list window leaves them alone when it goes, and
    // the view's own release at exit is the only one (no double free before the save).
    auto roles = reinterpret_cast<HIMAGELIST>(SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    ASSERT_NE(roles, nullptr);
    const int pictures = ImageList_GetImageCount(roles);
    EXPECT_GT(pictures, 0);
    DestroyWindow(frame);
    EXPECT_EQ(ImageList_GetImageCount(roles), pictures) << "destroyed by the list window";
    console.reset();
    EXPECT_EQ(win::GetProfileString(kSection, "Rect", ""), "40 30 640 430");
    EXPECT_EQ(win::GetProfileInt(kSection, "Maximized", -1), 0);
    EXPECT_EQ(win::GetProfileInt(kSection, "TextLabels", -1), 0);
    EXPECT_EQ(win::GetProfileInt(kSection, "SaveOnExit", -1), 1);

    Start();
    EXPECT_FALSE(IsZoomed(frame));
    normal = PlacementOf(frame).rcNormalPosition;
    EXPECT_EQ(normal.left, 40);
    EXPECT_EQ(normal.bottom, 430);
    EXPECT_FALSE(console->Frame().TextLabels());
    // Minimized from a maximized state still counts as maximized.
    ShowWindow(frame, SW_MAXIMIZE);
    ShowWindow(frame, SW_MINIMIZE);
    Close();
    EXPECT_EQ(win::GetProfileInt(kSection, "Maximized", -1), 1);
    EXPECT_EQ(win::GetProfileString(kSection, "Rect", ""), "40 30 640 430");

    // A rectangle of the wrong form is a first start.
    win::WriteProfileString(kSection, "Rect", "left 10 top 20");
    win::WriteProfileInt(kSection, "Maximized", 0);
    Start();
    EXPECT_TRUE(IsZoomed(frame));
    Close();

    // A rectangle off every monitor comes back onto the work area.
    win::WriteProfileString(kSection, "Rect", "9000 9000 9400 9300");
    win::WriteProfileInt(kSection, "Maximized", 0);
    Start();
    normal = PlacementOf(frame).rcNormalPosition;
    EXPECT_NE(MonitorFromRect(&normal, MONITOR_DEFAULTTONULL), nullptr);
    EXPECT_EQ(normal.right - normal.left, 400);

    // SaveOnExit 0 keeps the placement out of the profile.
    Close();
    win::WriteProfileInt(kSection, "SaveOnExit", 0);
    win::WriteProfileString(kSection, "Rect", "1 2 303 204");
    Start();
    ShowWindow(frame, SW_MAXIMIZE);
    Close();
    EXPECT_EQ(win::GetProfileString(kSection, "Rect", ""), "1 2 303 204");
    EXPECT_EQ(win::GetProfileInt(kSection, "SaveOnExit", -1), 0);
}

TEST_F(ConsoleWindowTest, FiltersSelectAllAndCreateErdState)
{
    Start(allComputers);
    ASSERT_EQ(ItemCount(), 12);
    // Loading selects every computer of known role.
    EXPECT_EQ(SelectedItems().size(), 10u);
    EXPECT_EQ(SelectedItems().count("ODD1"), 0u);

    Command(ID_VIEW_SERVERS);
    EXPECT_EQ(ItemCount(), 6);
    EXPECT_EQ(SelectedItems().size(), 6u);
    EXPECT_EQ(SelectedEntries(), SelectedItems()) << "workstations deselected by the filter";
    win::CommandState servers = console->Frame().CommandStateOf(ID_VIEW_SERVERS);
    EXPECT_TRUE(servers.radio);
    EXPECT_FALSE(console->Frame().CommandStateOf(ID_VIEW_ALL).radio);

    SelectOnly({});
    EXPECT_FALSE(console->Frame().CommandStateOf(ID_TOOLS_CREATE_ERD).enabled);
    console->Frame().UpdateCommandUi();
    HWND toolbar = console->Frame().Toolbar();
    EXPECT_FALSE(SendMessageA(toolbar, TB_ISBUTTONENABLED, ID_TOOLS_CREATE_ERD, 0));
    // The menu item is grey as well when its popup opens.
    HMENU tools = GetSubMenu(GetMenu(frame), 3);
    SendMessageA(frame, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(tools), 3);
    EXPECT_TRUE(GetMenuState(tools, ID_TOOLS_CREATE_ERD, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_FALSE(GetMenuState(tools, ID_TOOLS_OPTIONS, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(console->Frame().CommandStateOf(ID_COMPUTER_SELECT_DOMAIN).enabled);
    EXPECT_TRUE(console->Frame().CommandStateOf(ID_VIEW_STATUS_BAR).checked);

    // Prompts in the status bar while a menu item is chosen, tooltips from the same texts.
    SendMessageA(frame, WM_MENUSELECT, MAKEWPARAM(ID_FILE_SAVE, MF_STRING), reinterpret_cast<LPARAM>(GetMenu(frame)));
    EXPECT_EQ(console->Frame().StatusText(), "Save the list of selected computers");
    SendMessageA(frame, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    EXPECT_EQ(console->Frame().StatusText(), "For Help, press F1");
    NMTTDISPINFOA tip{};
    tip.hdr.code = TTN_GETDISPINFOA;
    tip.hdr.idFrom = ID_FILE_REFRESH;
    SendMessageA(frame, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&tip));
    EXPECT_STREQ(tip.lpszText, "Refresh (F5)");
    ACCEL keys[16];
    int count = CopyAcceleratorTableA(console->Frame().Accelerators(), keys, 16);
    std::set<std::pair<WORD, WORD>> table;
    for (int i = 0; i < count; ++i) table.insert({keys[i].key, keys[i].cmd});
    EXPECT_EQ(table, (std::set<std::pair<WORD, WORD>>{{'A', ID_VIEW_SELECT_ALL}, {'O', ID_FILE_OPEN}, {'S', ID_FILE_SAVE},
                                                      {VK_DELETE, ID_COMPUTER_DELETE}, {VK_F5, ID_FILE_REFRESH},
                                                      {VK_INSERT, ID_COMPUTER_ADD}, {VK_F1, ID_HELP_KEY},
                                                      {VK_F1, ID_CONTEXT_HELP}}));

    // Select All under a filter selects only what is listed.
    Command(ID_VIEW_SELECT_ALL);
    console->Frame().UpdateCommandUi();
    EXPECT_TRUE(SendMessageA(toolbar, TB_ISBUTTONENABLED, ID_TOOLS_CREATE_ERD, 0));
    console->View().StoreSelection(TheComputerList());
    EXPECT_EQ(SelectedEntries(), (std::set<std::string>{"PDC1", "BDC1", "BDC2", "SRV1", "SRV2", "SRV3"}));

    Command(ID_VIEW_WORKSTATIONS);
    EXPECT_EQ(ItemCount(), 4);
    EXPECT_EQ(SelectedItems().count(local), 1u);
    Command(ID_VIEW_ALL);
    EXPECT_EQ(ItemCount(), 12) << "All lists the computers of undetermined role";
    EXPECT_EQ(SelectedItems().size(), 10u) << "but does not select them";
    EXPECT_EQ(SelectedItems().count("ODD2"), 0u);
}

TEST_F(ConsoleWindowTest, SortingTogglesAndColumnsFillTheList)
{
    Start(allComputers);
    Notify(LVN_COLUMNCLICK, 1);
    std::vector<std::string> types = Column(1);
    EXPECT_TRUE(std::is_sorted(types.begin(), types.end()));
    EXPECT_NE(types.front(), types.back());
    Notify(LVN_COLUMNCLICK, 1);
    types = Column(1);
    EXPECT_TRUE(std::is_sorted(types.rbegin(), types.rend())) << "the same header again reverses";
    Notify(LVN_COLUMNCLICK, 0);
    std::vector<std::string> names = Column(0);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end())) << "another column sorts ascending";
    EXPECT_FALSE(CServerListView::SortDescending());

    // Fitting: the name column is wider than the longest name, and never below its header.
    int nameWidth = static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0));
    EXPECT_GT(nameWidth, static_cast<int>(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>("PDC1"))) + 16);
    for (RECT size : {RECT{0, 0, 500, 300}, RECT{0, 0, 900, 500}, RECT{0, 0, 700, 260}}) {
        ShowWindow(frame, SW_RESTORE);
        MoveWindow(frame, 10, 10, size.right, size.bottom, TRUE);
        RECT client{};
        GetClientRect(list, &client);
        int total = 0;
        for (int column = 0; column < 3; ++column)
            total += static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
        EXPECT_EQ(total, client.right) << "the last column takes up the difference at width " << size.right;
    }
}

TEST_F(ConsoleWindowTest, SaveOpenDeleteAndTitles)
{
    Start();
    EXPECT_EQ(win::WindowText(frame), "Corvane Salvora") << "an untitled document shows the application alone";
    ASSERT_TRUE(console->Document().OpenDocumentFile(allComputers.c_str()));
    SelectOnly({"SRV1", "WKS2", "ODD1"});
    std::string saved = folder / "saved.txt";
    {
        ModalDriver driver({{"Save Computer List", ChooseFile(saved)}});
        Command(ID_FILE_SAVE);
        EXPECT_TRUE(driver.Finished());
    }
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(saved, bytes));
    EXPECT_EQ(bytes, "SRV1\tWindows NT Server (4.0)\r\nWKS2\tWindows NT Workstation (4.0)\r\nODD1\tUnknown\r\n")
        << "the selected computers in list order";

    // Several selected computers go in one command.
    SelectOnly({"PDC1", "SRV2", "WKS3"});
    Command(ID_COMPUTER_DELETE);
    EXPECT_EQ(ItemCount(), 9);
    EXPECT_EQ(TheComputerList().Size(), 9u);
    for (const std::string& name : Column(0)) EXPECT_TRUE(name != "PDC1" && name != "SRV2" && name != "WKS3");

    {
        ModalDriver driver({{"Open Computer List", ChooseFile(saved)}});
        Command(ID_FILE_OPEN);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_EQ(Column(0), (std::vector<std::string>{"SRV1", "WKS2", "ODD1"}));
    EXPECT_EQ(SelectedItems(), (std::set<std::string>{"SRV1", "WKS2"})) << "unknown roles are not selected";
    EXPECT_EQ(win::WindowText(frame), "Corvane Salvora");

    // A file that cannot be read leaves the list as it was; the framework's load names the
    // file in the title.
    EXPECT_FALSE(console->Document().OpenDocumentFile((folder / "missing.txt").c_str()));
    EXPECT_EQ(ItemCount(), 3);
    std::string named = folder / "office.txt";
    ASSERT_TRUE(WriteWholeFile(named, "PDC1\r\nWKS1\r\n"));
    EXPECT_TRUE(console->Document().OpenDocumentFile(named.c_str()));
    EXPECT_EQ(Column(0), (std::vector<std::string>{"PDC1", "WKS1"}));
    EXPECT_EQ(win::WindowText(frame), "Corvane Salvora - office.txt");

    // A file that cannot be written is reported with the system's text.
    std::string locked = folder / "locked.txt";
    ASSERT_TRUE(WriteWholeFile(locked, "old"));
    HANDLE holder = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    {
        ModalDriver driver({{"Save Computer List", ChooseFile(locked)},
                            {"Save Computer List", [](HWND box) { return GetDlgItem(box, IDYES) && Press(box, IDYES); }}});
        Command(ID_FILE_SAVE);
        EXPECT_TRUE(driver.Finished());
    }
    CloseHandle(holder);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_NE(g_boxes[0].find("Save Computer List: "), std::string::npos);
    EXPECT_GT(g_boxes[0].size(), std::string("Save Computer List: ").size() + 5) << g_boxes[0];
    EXPECT_EQ(Column(0), (std::vector<std::string>{"PDC1", "WKS1"})) << "the list is unchanged";
}

TEST_F(ConsoleWindowTest, StartWithListFileThenCreateErdEndToEnd)
{
    std::string named = folder / "list.txt";
    ASSERT_TRUE(WriteWholeFile(named, "SRV1\tserver\nWKS1\nODD1\n"));
    Start(named);
    EXPECT_EQ(Column(0), (std::vector<std::string>{"SRV1", "WKS1", "ODD1"}));
    EXPECT_EQ(win::WindowText(frame), "Corvane Salvora - list.txt");

    // A double click opens the confirmation for the selected computers; Cancel runs nothing.
    std::vector<std::string> confirmed;
    {
        ModalDriver driver({{"Create ERD", [&](HWND dialog) {
                                 HWND names = GetDlgItem(dialog, 1002);
                                 int count = static_cast<int>(SendMessageA(names, LB_GETCOUNT, 0, 0));
                                 for (int i = 0; i < count; ++i) {
                                     char name[32] = "";
                                     SendMessageA(names, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(name));
                                     confirmed.push_back(name);
                                 }
                                 return Press(dialog, IDCANCEL);
                             }}});
        Notify(NM_DBLCLK);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_EQ(confirmed, (std::vector<std::string>{"SRV1", "WKS1"}));
    EXPECT_EQ(deployer->DeployedCount(), 0);

    // Select All, Create ERD, OK, the run, OK: the logged results and the repair files.
    Command(ID_VIEW_SELECT_ALL);
    {
        ModalDriver driver({{"Create ERD", [](HWND dialog) { return Press(dialog, IDOK); }},
                            {"Creating ERD", [](HWND dialog) { return Press(dialog, IDOK); }}});
        Command(ID_TOOLS_CREATE_ERD);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_EQ(deployer->DeployedCount(), 3);
    std::string log = LogText();
    EXPECT_NE(log.find("SRV1"), std::string::npos);
    EXPECT_NE(log.find("ODD1"), std::string::npos);
    EXPECT_EQ(log.find(kSessionOnDemandTasks), std::string::npos) << "Annalix is not installed";
    for (const char* name : {"SRV1", "WKS1", "ODD1"})
        EXPECT_EQ(ListFiles(folder / (std::string("out\\") + name)).size(), repairset::kHiveFileCount + 1) << name;

    // With Annalix installed and both switches on, the on-demand tasks follow the run.
    TheConsoleSettings().AnnalixInstallPath = folder / "annalix";
    ASSERT_TRUE(console_test::SetDword("LogWriteAnnalix", 1));
    ASSERT_TRUE(console_test::SetDword("DemandTaskExec", 0));
    SelectOnly({"SRV1"});
    {
        ModalDriver driver({{"Create ERD", [](HWND dialog) { return Press(dialog, IDOK); }},
                            {"Creating ERD", [](HWND dialog) { return Press(dialog, IDOK); }}});
        Command(ID_TOOLS_CREATE_ERD);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_EQ(LogText().find(kSessionOnDemandTasks), std::string::npos) << "DemandTaskExec off";
    ASSERT_TRUE(console_test::SetDword("DemandTaskExec", 1));
    {
        ModalDriver driver({{"Create ERD", [](HWND dialog) { return Press(dialog, IDOK); }},
                            {"Creating ERD", [](HWND dialog) { return Press(dialog, IDOK); }}});
        Command(ID_TOOLS_CREATE_ERD);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_NE(LogText().find(kSessionOnDemandTasks), std::string::npos);
}

// Options opened from the Create ERD confirmation: the sheet ends, but the confirmation is
// still open, so the main window stays out of the user's reach until it ends too.
TEST_F(ConsoleWindowTest, OptionsFromCreateErdKeepsTheMainWindowDisabled)
{
    Start(allComputers);
    bool frameEnabledUnderConfirmation = true, frameEnabledUnderOptions = true, frameEnabledAfterOptions = true;
    {
        ModalDriver driver({{"Create ERD", [&](HWND dialog) {
                                 frameEnabledUnderConfirmation = IsWindowEnabled(frame) != FALSE;
                                 return Press(dialog, IDC_ERD_OPTIONS);
                             }},
                            {"Options", [&](HWND sheet) {
                                 frameEnabledUnderOptions = IsWindowEnabled(frame) != FALSE;
                                 PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
                                 return true;
                             }},
                            {"Create ERD", [&](HWND dialog) {
                                 // Back once the sheet is gone and the confirmation answers again.
                                 if (!IsWindowEnabled(dialog) || FindWindowA(nullptr, "Options")) return false;
                                 frameEnabledAfterOptions = IsWindowEnabled(frame) != FALSE;
                                 return Press(dialog, IDCANCEL);
                             }}});
        Command(ID_TOOLS_CREATE_ERD);
        EXPECT_TRUE(driver.Finished()) << driver.seen.size();
    }
    EXPECT_FALSE(frameEnabledUnderConfirmation);
    EXPECT_FALSE(frameEnabledUnderOptions);
    EXPECT_FALSE(frameEnabledAfterOptions) << "the closed sheet gave the main window back under the confirmation";
    EXPECT_TRUE(IsWindowEnabled(frame)) << "the confirmation's end gives it back";
    EXPECT_EQ(deployer->DeployedCount(), 0);

    // Options from the main window itself gives it back when the sheet ends.
    {
        ModalDriver driver({{"Options", [](HWND sheet) {
                                 PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
                                 return true;
                             }}});
        Command(ID_TOOLS_OPTIONS);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_TRUE(IsWindowEnabled(frame));
}

// Every window this thread tries to make is refused.
LRESULT CALLBACK RefuseWindows(int code, WPARAM wParam, LPARAM lParam)
{
    return code == HCBT_CREATEWND ? 1 : CallNextHookEx(nullptr, code, wParam, lParam);
}

// A main window that cannot be made ends the interactive start with false and shows
// nothing: the framework's failure text is not the answer to a refused window.
TEST_F(ConsoleWindowTest, AWindowThatCannotBeMadeEndsTheStartQuietly)
{
    HHOOK refuse = SetWindowsHookExA(WH_CBT, &RefuseWindows, nullptr, GetCurrentThreadId());
    ASSERT_NE(refuse, nullptr);
    CSalvoraApp app;
    const bool started = StartConsoleWindow(app);
    UnhookWindowsHookEx(refuse);
    EXPECT_FALSE(started);
    EXPECT_TRUE(g_boxes.empty()) << g_boxes.front();
    EXPECT_EQ(RunConsoleWindow(), 0) << "no window, no message loop";
}

std::vector<HelpRequest> g_helpShown;
bool RecordHelp(HWND, const HelpRequest& request)
{
    g_helpShown.push_back(request);
    return true;
}

// Shift+F1, then a click: the topic of the toolbar button, the menu command or the list
// clicked, and nothing of the command itself; Esc leaves the mode with nothing shown.
TEST_F(ConsoleWindowTest, ContextHelpModeOpensTheTopicOfWhatIsClickedNext)
{
    Start(allComputers);
    // Other test programs share the display: the frame stays above their windows, so what
    // lies under each click is the frame's own.
    SetWindowPos(frame, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    g_helpShown.clear();
    SetHelpViewerFunction(&RecordHelp);
    HWND toolbar = console->Frame().Toolbar();
    // A left click at `client` of `window`, as the frame holding the mouse receives it.
    auto clickAt = [&](HWND window, POINT client) {
        MapWindowPoints(window, frame, &client, 1);
        PostMessageA(frame, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.x, client.y));
    };
    RECT button{};
    SendMessageA(toolbar, TB_GETRECT, ID_TOOLS_OPTIONS, reinterpret_cast<LPARAM>(&button));
    clickAt(toolbar, POINT{(button.left + button.right) / 2, (button.top + button.bottom) / 2});
    Command(ID_CONTEXT_HELP); // the Options sheet would never end here: its topic instead
    ASSERT_EQ(g_helpShown.size(), 1u);
    EXPECT_EQ(g_helpShown[0].id, static_cast<DWORD>(ID_TOOLS_OPTIONS + 0x10000));
    EXPECT_EQ(g_helpShown[0].command, kHelpContext);
    EXPECT_FALSE(console->Frame().InContextHelpMode());

    // A command chosen from a menu (the menu posts it): its topic; the computers stay.
    SelectOnly({"SRV1"});
    PostMessageA(frame, WM_COMMAND, MAKEWPARAM(ID_COMPUTER_DELETE, 0), 0);
    Command(ID_CONTEXT_HELP);
    ASSERT_EQ(g_helpShown.size(), 2u);
    EXPECT_EQ(g_helpShown[1].id, static_cast<DWORD>(ID_COMPUTER_DELETE + 0x10000));
    EXPECT_EQ(ItemCount(), 12);

    // The list: the main window's topic, which opens the contents.
    RECT item{LVIR_BOUNDS, 0, 0, 0};
    SendMessageA(list, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&item));
    clickAt(list, POINT{item.left + 10, (item.top + item.bottom) / 2});
    Command(ID_CONTEXT_HELP);
    ASSERT_EQ(g_helpShown.size(), 3u);
    EXPECT_EQ(g_helpShown[2].command, kHelpFinder);
    EXPECT_EQ(SelectedItems(), (std::set<std::string>{"SRV1"})) << "the click selected nothing";

    // Esc: nothing shown, and the next command is a command again.
    PostMessageA(frame, WM_KEYDOWN, VK_ESCAPE, 0);
    Command(ID_CONTEXT_HELP);
    EXPECT_EQ(g_helpShown.size(), 3u);
    Command(ID_COMPUTER_DELETE);
    EXPECT_EQ(ItemCount(), 11);
    SetHelpViewerFunction(nullptr);
}

} // namespace

std::vector<std::string> g_started;
UINT RecordStart(const char* commandLine, UINT)
{
    g_started.push_back(commandLine);
    return 33;
}

TEST_F(ConsoleWindowTest, ToolsAddComputerAndSelectDomainFromTheMenus)
{
    Start(allComputers);
    g_started.clear();
    SetProgramStarter(&RecordStart);
    SelectOnly({"SRV2", "WKS1"});
    Command(32777); // Apply ERD: Restavo for the first selected computer in the list's order
    Command(32780); // View Log
    SelectOnly({});
    Command(32777);
    SetProgramStarter(nullptr);
    ASSERT_EQ(g_started.size(), 3u);
    EXPECT_NE(g_started[0].find("\\Restavo.exe\" \"-c=SRV2\" \"-d="), std::string::npos) << g_started[0];
    EXPECT_NE(g_started[1].find("otepad"), std::string::npos) << g_started[1];
    EXPECT_NE(g_started[2].find("\"-c=\" \"-d="), std::string::npos) << g_started[2];

    // Add Computer (Ins) through the chooser: the same computer twice gives two entries.
    for (int i = 0; i < 2; ++i) {
        ModalDriver driver({{"Select Computer", [](HWND dialog) {
                                 SetDlgItemTextA(dialog, IDC_CHOSEN_NAME, "wks2");
                                 return Press(dialog, IDOK);
                             }}});
        Command(ID_COMPUTER_ADD);
        EXPECT_TRUE(driver.Finished());
    }
    ASSERT_EQ(ItemCount(), 14);
    EXPECT_EQ(ItemText(12, 0), "WKS2");
    EXPECT_EQ(ItemText(13, 0), "WKS2");

    // Select Domain: a typed name comes back upper case, titles the window and refills the
    // list with nothing selected; Cancel changes nothing.
    {
        ModalDriver driver({{"Select Domain", [](HWND dialog) { return Press(dialog, IDCANCEL); }}});
        Command(ID_COMPUTER_SELECT_DOMAIN);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_EQ(ItemCount(), 14);
    {
        ModalDriver driver({{"Select Domain", [](HWND dialog) {
                                 SetDlgItemTextA(dialog, IDC_DOMAIN_NAME, "office");
                                 return Press(dialog, IDOK);
                             }}});
        Command(ID_COMPUTER_SELECT_DOMAIN);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_EQ(console->Document().Domain(), "OFFICE");
    EXPECT_EQ(win::WindowText(frame), "Corvane Salvora - OFFICE");
    EXPECT_TRUE(SelectedEntries().empty());
}
