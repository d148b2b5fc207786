#include "FakeScheduleJobs.h"
#include "JobListWindow.h"
#include "resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>

namespace rostery {
namespace {

using testing::FakeScheduleJobs;
using testing::RecordedMessageBoxes;

int StringWidth(HWND list, const std::string& text)
{
    return static_cast<int>(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

int ColumnWidth(HWND list, int column)
{
    return static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

int ColumnSum(HWND list)
{
    int sum = 0;
    for (int c = 0; c < kColumnCount; ++c) sum += ColumnWidth(list, c);
    return sum;
}

int ClientWidth(HWND window)
{
    RECT r = {};
    GetClientRect(window, &r);
    return r.right - r.left;
}

class JobListWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        ASSERT_TRUE(CJobListWindow::RegisterWindowClass(GetModuleHandleA(nullptr)));
    }

    void TearDown() override
    {
        window.reset();
        win::PumpMessages();
    }

    HWND Open(DWORD version = 5)
    {
        window = std::make_unique<CJobListWindow>(table, boxes, version, "Scheduler.chm");
        window->SetQuitOnDestroy(false);
        HWND hwnd = window->CreateMain(GetModuleHandleA(nullptr));
        if (hwnd) {
            SetWindowPos(hwnd, nullptr, 0, 0, 700, 400, SWP_NOZORDER | SWP_NOACTIVATE);
            win::PumpMessages();
        }
        return hwnd;
    }

    void Resize(int width, int height)
    {
        SetWindowPos(window->Handle(), nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
        win::PumpMessages();
    }

    void Select(int item)
    {
        LVITEMA state = {};
        state.stateMask = LVIS_SELECTED;
        state.state = LVIS_SELECTED;
        SendMessageA(window->List(), LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&state));
    }

    int ItemCount() const { return static_cast<int>(SendMessageA(window->List(), LVM_GETITEMCOUNT, 0, 0)); }

    FakeScheduleJobs service;
    RecordedMessageBoxes boxes;
    JobTable table{service, boxes};
    std::unique_ptr<CJobListWindow> window;
};

TEST_F(JobListWindowTest, EnumerationFailureRefusesTheWindow)
{
    service.running = false;
    service.startSucceeds = false;
    EXPECT_EQ(nullptr, Open());
    ASSERT_EQ(1u, boxes.shown.size());
    EXPECT_EQ("Problem enumerating Rostery.", boxes.shown[0].text);
    EXPECT_TRUE(boxes.shown[0].defaultCaption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONSTOP), boxes.shown[0].type);
    EXPECT_EQ(1, service.startCalls);
}

TEST_F(JobListWindowTest, EmptyTableOpensWithAnEmptyList)
{
    HWND hwnd = Open();
    ASSERT_NE(nullptr, hwnd);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(0, ItemCount());
    char title[32] = {};
    GetWindowTextA(hwnd, title, sizeof title);
    EXPECT_STREQ("Rostery", title);
    char className[32] = {};
    GetClassNameA(hwnd, className, sizeof className);
    EXPECT_STREQ("Rostery", className);
    // Header texts alone decide the widths.
    EXPECT_EQ(StringWidth(window->List(), "ID") + 35, ColumnWidth(window->List(), 0));
    EXPECT_EQ(StringWidth(window->List(), "Day") + 15, ColumnWidth(window->List(), 1));
    EXPECT_EQ(StringWidth(window->List(), "Command") + 15, window->LastColumnMinimum());
}

TEST_F(JobListWindowTest, ChildControlsAndToolbarOfVersion4AndLater)
{
    HWND hwnd = Open(4);
    ASSERT_NE(nullptr, hwnd);
    EXPECT_EQ(window->List(), GetDlgItem(hwnd, IDC_JOB_LIST));
    EXPECT_EQ(window->StatusBar(), GetDlgItem(hwnd, IDC_STATUS_BAR));
    EXPECT_EQ(window->ToolBar(), GetDlgItem(hwnd, IDC_TOOL_BAR));
    HWND bar = window->ToolBar();
    EXPECT_EQ(4, static_cast<int>(SendMessageA(bar, TB_BUTTONCOUNT, 0, 0)));
    TBBUTTON button = {};
    SendMessageA(bar, TB_GETBUTTON, 1, reinterpret_cast<LPARAM>(&button));
    EXPECT_EQ(ID_JOB_DELETE, button.idCommand);
    EXPECT_EQ(0, button.iBitmap);
    SendMessageA(bar, TB_GETBUTTON, 3, reinterpret_cast<LPARAM>(&button));
    EXPECT_EQ(ID_HELP_TOPICS, button.idCommand);
    EXPECT_EQ(1, button.iBitmap);
    EXPECT_TRUE(GetWindowLongA(bar, GWL_STYLE) & TBSTYLE_FLAT);
    HIMAGELIST hot = reinterpret_cast<HIMAGELIST>(SendMessageA(bar, TB_GETHOTIMAGELIST, 0, 0));
    ASSERT_NE(nullptr, hot);
    EXPECT_EQ(2, ImageList_GetImageCount(hot));
    HIMAGELIST normal = reinterpret_cast<HIMAGELIST>(SendMessageA(bar, TB_GETIMAGELIST, 0, 0));
    ASSERT_NE(nullptr, normal);
    int cx = 0, cy = 0;
    ImageList_GetIconSize(normal, &cx, &cy);
    EXPECT_EQ(32, cx);
    EXPECT_EQ(32, cy);
    LONG listStyle = GetWindowLongA(window->List(), GWL_STYLE);
    EXPECT_EQ(LVS_REPORT, listStyle & LVS_TYPEMASK);
    EXPECT_TRUE(listStyle & LVS_OWNERDRAWFIXED);

    // The list lies 2 pixels below the toolbar and reaches the status bar.
    RECT toolbar = {}, list = {}, status = {};
    GetWindowRect(bar, &toolbar);
    GetWindowRect(window->List(), &list);
    GetWindowRect(window->StatusBar(), &status);
    EXPECT_EQ(toolbar.bottom + 2, list.top);
    EXPECT_EQ(status.top, list.bottom);
    EXPECT_EQ(ClientWidth(hwnd), toolbar.right - toolbar.left);
}

TEST_F(JobListWindowTest, ToolbarOfVersion3HasNoHotPictures)
{
    ASSERT_NE(nullptr, Open(3));
    HWND bar = window->ToolBar();
    EXPECT_FALSE(GetWindowLongA(bar, GWL_STYLE) & TBSTYLE_FLAT);
    EXPECT_TRUE(GetWindowLongA(bar, GWL_STYLE) & TBSTYLE_TOOLTIPS);
    EXPECT_EQ(nullptr, reinterpret_cast<HIMAGELIST>(SendMessageA(bar, TB_GETHOTIMAGELIST, 0, 0)));
    EXPECT_EQ(4, static_cast<int>(SendMessageA(bar, TB_BUTTONCOUNT, 0, 0)));
}

TEST_F(JobListWindowTest, LongCommandKeepsItsWidthThroughResizes)
{
    const std::wstring longCommand = L"C:\\Program Files\\Ostrel\\Salvora\\Salvora.exe -S -R=3 -N=15 " +
                                     std::wstring(300, L'x') + L".txt";
    service.Add(1, L"short");
    service.Add(2, longCommand.c_str());
    ASSERT_NE(nullptr, Open());
    HWND list = window->List();
    const int expected = StringWidth(list, table.Rows()[1].commandText) + 15;
    EXPECT_EQ(expected, window->LastColumnMinimum());
    EXPECT_EQ(expected, ColumnWidth(list, 3));
    EXPECT_GT(ColumnSum(list), ClientWidth(list)); // the list scrolls sideways

    for (int width : {300, 1200, 250, 900}) {
        Resize(width, 300);
        EXPECT_GE(ColumnWidth(list, 3), expected) << width;
    }
    // Items carry their row's index.
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = 1;
    ASSERT_TRUE(SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(1, item.lParam);
}

TEST_F(JobListWindowTest, ShortJobInAWideWindowStretchesTheLastColumn)
{
    service.Add(1, L"notepad");
    ASSERT_NE(nullptr, Open());
    HWND list = window->List();
    EXPECT_EQ(ClientWidth(list), ColumnSum(list));
    Resize(1000, 300);
    EXPECT_EQ(ClientWidth(list), ColumnSum(list));
    // Narrowing the window leaves a stretched column as it is; the list scrolls.
    const int stretched = ColumnWidth(list, 3);
    Resize(200, 300);
    EXPECT_EQ(stretched, ColumnWidth(list, 3));
    EXPECT_GT(stretched, window->LastColumnMinimum());
}

// Draws one row into a memory bitmap and returns its pixels (top-down, 0x00RRGGBB).
std::vector<DWORD> DrawnRow(CJobListWindow& window, UINT item, UINT state, int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    DRAWITEMSTRUCT draw = {};
    draw.CtlType = ODT_LISTVIEW;
    draw.CtlID = IDC_JOB_LIST;
    draw.itemID = item;
    draw.itemAction = ODA_DRAWENTIRE;
    draw.itemState = state;
    draw.hDC = dc;
    draw.rcItem = {0, 0, width, height};
    draw.itemData = item;
    window.DrawRow(draw);
    GdiFlush();
    std::vector<DWORD> pixels(static_cast<const DWORD*>(bits), static_cast<const DWORD*>(bits) + width * height);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    for (auto& p : pixels) p &= 0xFFFFFF;
    return pixels;
}

DWORD Rgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

TEST_F(JobListWindowTest, NewJobRowShowsTheNewJobPicture)
{
    service.Add(11, L"a");
    service.Add(12, L"b");
    service.Add(13, L"c");
    table.SetNewJobId(12);
    ASSERT_NE(nullptr, Open());
    EXPECT_EQ(0, window->PictureIndex(0));
    EXPECT_EQ(1, window->PictureIndex(1));
    EXPECT_EQ(0, window->PictureIndex(2));

    const int w = 24, h = 18;
    auto plain = DrawnRow(*window, 0, 0, w, h);
    auto marked = DrawnRow(*window, 1, 0, w, h);
    auto other = DrawnRow(*window, 2, 0, w, h);
    EXPECT_EQ(plain, other);
    EXPECT_NE(plain, marked);
    const DWORD green = 0x00FF00;
    const DWORD yellow = 0xFFE600;
    bool markedHasYellow = false;
    for (int i = 0; i < w * h; ++i) {
        EXPECT_NE(green, plain[i]) << "the mask colour shows at " << i;
        EXPECT_NE(green, marked[i]) << "the mask colour shows at " << i;
        markedHasYellow = markedHasYellow || marked[i] == yellow;
        EXPECT_NE(yellow, plain[i]);
    }
    EXPECT_TRUE(markedHasYellow);
    // Corners outside the picture show the window colour; a selected row the highlight.
    EXPECT_EQ(Rgb(GetSysColor(COLOR_WINDOW)), plain[0]);
    auto selected = DrawnRow(*window, 0, ODS_SELECTED, w, h);
    EXPECT_EQ(Rgb(GetSysColor(COLOR_HIGHLIGHT)), selected[0]);
    // A change of focus alone draws nothing; an item without a row neither.
    DRAWITEMSTRUCT focusOnly = {};
    focusOnly.itemID = 0;
    focusOnly.itemAction = ODA_FOCUS;
    window->DrawRow(focusOnly); // no device context: would fail if it drew
    DRAWITEMSTRUCT beyond = {};
    beyond.itemID = 7;
    beyond.itemData = 7;
    beyond.itemAction = ODA_DRAWENTIRE;
    window->DrawRow(beyond);
}

TEST_F(JobListWindowTest, DeleteRemovesTheSelectedRowsOnly)
{
    service.Add(1, L"a");
    service.Add(2, L"b");
    service.Add(3, L"c");
    ASSERT_NE(nullptr, Open());
    Select(1);
    SendMessageA(window->Handle(), WM_COMMAND, MAKEWPARAM(ID_JOB_DELETE, 0), 0);
    EXPECT_EQ((std::vector<DWORD>{2}), service.deleteCalls);
    EXPECT_EQ(2, ItemCount());
    ASSERT_EQ(2u, table.Rows().size());
    EXPECT_EQ(3, table.Rows()[1].jobId);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(JobListWindowTest, DeleteWithNothingSelectedRebuildsTheList)
{
    service.Add(1, L"a");
    service.Add(2, L"b");
    ASSERT_NE(nullptr, Open());
    service.Add(3, L"added meanwhile");
    const int before = service.enumerateCalls;
    SendMessageA(window->Handle(), WM_COMMAND, MAKEWPARAM(ID_JOB_DELETE, 0), 0);
    EXPECT_TRUE(service.deleteCalls.empty());
    EXPECT_EQ(before + 1, service.enumerateCalls);
    EXPECT_EQ(3, ItemCount());
    EXPECT_TRUE(boxes.shown.empty());
}

// The keys, as the program's message loop translates them: F5 reads the jobs again (a job
// added meanwhile appears), Del deletes the selection.
TEST_F(JobListWindowTest, KeysRefreshAndDelete)
{
    service.Add(1, L"a");
    service.Add(2, L"b");
    ASSERT_NE(nullptr, Open());
    auto press = [this](WORD key) {
        MSG message = {window->List(), WM_KEYDOWN, key, 1, 0, {}};
        EXPECT_TRUE(TranslateAcceleratorA(window->Handle(), window->Accelerators(), &message)) << key;
        win::PumpMessages();
    };
    service.Add(3, L"added meanwhile");
    press(VK_F5);
    EXPECT_EQ(3, ItemCount());
    Select(0);
    press(VK_DELETE);
    EXPECT_EQ((std::vector<DWORD>{1}), service.deleteCalls);
    EXPECT_EQ(2, ItemCount());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(JobListWindowTest, DeleteWithTheServiceGoneWarnsPerJob)
{
    service.Add(1, L"a");
    service.Add(2, L"b");
    ASSERT_NE(nullptr, Open());
    Select(0);
    Select(1);
    service.running = false;
    service.startSucceeds = false;
    SendMessageA(window->Handle(), WM_COMMAND, MAKEWPARAM(ID_JOB_DELETE, 0), 0);
    ASSERT_EQ(2u, boxes.shown.size());
    EXPECT_EQ("The service has not been started", boxes.shown[0].text);
    EXPECT_EQ("The service has not been started", boxes.shown[1].text);
    EXPECT_EQ(window->Handle(), boxes.shown[0].owner);
    EXPECT_EQ(0, ItemCount()); // the table could not be read again
}

TEST_F(JobListWindowTest, ToolTipsFillTheStatusBar)
{
    ASSERT_NE(nullptr, Open());
    auto statusText = [&] {
        char text[200] = {};
        SendMessageA(window->StatusBar(), SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
        return std::string(text);
    };
    NMTTDISPINFOA info = {};
    info.hdr.hwndFrom = window->ToolBar();
    info.hdr.idFrom = ID_JOB_DELETE;
    info.hdr.code = TTN_GETDISPINFOA;
    SendMessageA(window->Handle(), WM_NOTIFY, IDC_TOOL_BAR, reinterpret_cast<LPARAM>(&info));
    EXPECT_STREQ("Delete", info.lpszText);
    EXPECT_EQ("Delete Selected Task(s)", statusText());

    NMTTDISPINFOW wide = {};
    wide.hdr.idFrom = ID_HELP_TOPICS;
    wide.hdr.code = TTN_GETDISPINFOW;
    SendMessageA(window->Handle(), WM_NOTIFY, IDC_TOOL_BAR, reinterpret_cast<LPARAM>(&wide));
    EXPECT_STREQ(L"Help Me!!!", wide.lpszText);
    EXPECT_EQ("View Help Topics", statusText());

    NMHDR pop = {window->ToolBar(), 0, TTN_POP};
    SendMessageA(window->Handle(), WM_NOTIFY, IDC_TOOL_BAR, reinterpret_cast<LPARAM>(&pop));
    EXPECT_EQ("", statusText());
}

TEST_F(JobListWindowTest, ExitClosesTheWindow)
{
    HWND hwnd = Open();
    ASSERT_NE(nullptr, hwnd);
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(ID_APP_EXIT_ROSTERY, 0), 0);
    EXPECT_FALSE(IsWindow(hwnd));
}

} // namespace
} // namespace rostery
