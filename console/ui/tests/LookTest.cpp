// The main window's look, made by the console's real start-up path over a simulated
// network: toolbar labels and their command, the floating toolbar, owner-drawn menus with
// the toolbar's pictures, and the painted caption. Run inside a Wine virtual desktop, so
// that the window has a caption of its own to paint.
#include <gtest/gtest.h>

#include "CaptionPainter.h"
#include "ComputerList.h"
#include "ConsoleWindow.h"
#include "NetworkApi.h"
#include "Profile.h"
#include "SimulatedNetwork.h"
#include "UiResource.h"

#include <commctrl.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <utility>

namespace {

constexpr char kTestApplication[] = "Corvane Salvora Look Tests";
constexpr char kSection[] = "View Settings";

void DeleteProfile() { RegDeleteTreeA(HKEY_CURRENT_USER, (std::string("Software\\Ostrel\\") + kTestApplication).c_str()); }

// A true-colour picture to draw into and read back.
class Canvas {
public:
    Canvas(int width, int height)
    {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        previous_ = SelectObject(dc_, CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    }
    ~Canvas()
    {
        DeleteObject(SelectObject(dc_, previous_));
        DeleteDC(dc_);
    }
    HDC Dc() const { return dc_; }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }
    // The colours inside a rectangle.
    std::set<COLORREF> Colours(const RECT& area) const
    {
        std::set<COLORREF> found;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x) found.insert(At(x, y));
        return found;
    }

private:
    HDC dc_ = CreateCompatibleDC(nullptr);
    HGDIOBJ previous_ = nullptr;
};

class LookTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        win::SetProfileKey("Ostrel", kTestApplication);
        DeleteProfile();
        network.Add({L"PDC1", kSimPrimaryController, 4, 0, L"Head office"});
        SetNetwork(&network);
        Start();
    }
    void TearDown() override
    {
        Close();
        SetNetwork(nullptr);
        TheComputerList().Clear();
        DeleteProfile();
    }
    void Start()
    {
        console = std::make_unique<ConsoleWindow>(GetModuleHandleA(nullptr));
        console->Frame().SetQuitOnDestroy(false);
        ASSERT_TRUE(console->Open(""));
        frame = console->Frame().Handle();
        toolbar = console->Frame().Toolbar();
    }
    void Close()
    {
        DestroyWindow(frame);
        console.reset();
    }
    void Command(UINT id) { SendMessageA(frame, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    CTextToolBar& Bar() { return console->Frame().TextToolBar(); }
    int ButtonHeight(UINT id) const
    {
        RECT rect{};
        SendMessageA(toolbar, TB_GETRECT, id, reinterpret_cast<LPARAM>(&rect));
        return rect.bottom - rect.top;
    }
    static RECT WindowRect(HWND window)
    {
        RECT rect{};
        GetWindowRect(window, &rect);
        return rect;
    }
    LONG ViewTop() const { return WindowRect(console->View().Handle()).top; }
    // The frame's popup `index` of its menu, opened as a user's click would prepare it.
    HMENU OpenPopup(int index)
    {
        HMENU popup = GetSubMenu(GetMenu(frame), index);
        SendMessageA(frame, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(index, FALSE));
        return popup;
    }
    MENUITEMINFOA Item(HMENU popup, int position)
    {
        MENUITEMINFOA info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_DATA | MIIM_ID | MIIM_FTYPE;
        GetMenuItemInfoA(popup, static_cast<UINT>(position), TRUE, &info);
        return info;
    }
    // Measures item `position` of `popup` through the frame.
    MEASUREITEMSTRUCT Measure(HMENU popup, int position)
    {
        MENUITEMINFOA info = Item(popup, position);
        MEASUREITEMSTRUCT measure{ODT_MENU, 0, info.wID, 0, 0, info.dwItemData};
        EXPECT_TRUE(SendMessageA(frame, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure)));
        return measure;
    }
    // Measures and draws the item in `state` through the frame; the colours of its picture
    // box and of its text area.
    struct Drawn {
        std::set<COLORREF> picture, text;
        int lowestLight = -1, lowestGrey = -1; // the text area's lowest rows of those colours
    };
    Drawn Paint(HMENU popup, int position, UINT state)
    {
        MEASUREITEMSTRUCT size = Measure(popup, position);
        const int width = static_cast<int>(size.itemWidth), height = static_cast<int>(size.itemHeight);
        Canvas canvas(width, height);
        MENUITEMINFOA info = Item(popup, position);
        DRAWITEMSTRUCT draw{ODT_MENU, 0, info.wID, ODA_DRAWENTIRE, state, reinterpret_cast<HWND>(popup),
                            canvas.Dc(), RECT{0, 0, width, height}, info.dwItemData};
        EXPECT_TRUE(SendMessageA(frame, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw)));
        const int box = std::max(height, 16);
        Drawn drawn{canvas.Colours({0, 0, box, height}), canvas.Colours({box, 0, width, height})};
        for (int y = 0; y < height; ++y)
            for (int x = box; x < width; ++x) {
                if (canvas.At(x, y) == GetSysColor(COLOR_3DHIGHLIGHT)) drawn.lowestLight = y;
                if (canvas.At(x, y) == GetSysColor(COLOR_GRAYTEXT)) drawn.lowestGrey = y;
            }
        return drawn;
    }

    SimulatedNetwork network;
    std::unique_ptr<ConsoleWindow> console;
    HWND frame = nullptr;
    HWND toolbar = nullptr;
};

TEST_F(LookTest, TextLabelsToggleDockedAndFloatingAndComeBackFromTheProfile)
{
    // First start: labels on, each the string table's last piece, spaces and all.
    EXPECT_TRUE(Bar().LabelsShown());
    EXPECT_EQ(Bar().Label(ID_TOOLS_APPLY_ERD), " Apply");
    EXPECT_TRUE(console->Frame().CommandStateOf(ID_VIEW_TEXT_LABELS).checked);
    SIZE with = Bar().SizeWithText(), without = Bar().SizeNoText();
    EXPECT_GT(with.cy, without.cy);
    EXPECT_EQ(ButtonHeight(ID_FILE_REFRESH), with.cy);
    RECT docked = WindowRect(toolbar);

    // Floating: the frame gives the toolbar's room to the list, and the palette keeps its
    // place while the labels change its size.
    ASSERT_TRUE(Bar().Float(POINT{150, 120}));
    HWND floating = Bar().FloatingWindow();
    ASSERT_NE(floating, nullptr);
    EXPECT_EQ(GetParent(toolbar), floating);
    EXPECT_LT(ViewTop(), docked.bottom);
    RECT before = WindowRect(floating);
    EXPECT_EQ(before.left, 150);
    EXPECT_EQ(before.top, 120);
    Command(ID_VIEW_TEXT_LABELS); // labels off
    RECT after = WindowRect(floating);
    EXPECT_TRUE(Bar().IsFloating());
    EXPECT_FALSE(console->Frame().CommandStateOf(ID_VIEW_TEXT_LABELS).checked);
    EXPECT_EQ(ButtonHeight(ID_FILE_REFRESH), without.cy);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_LT(after.bottom - after.top, before.bottom - before.top);
    // Its buttons still reach the frame's commands.
    SendMessageA(floating, WM_COMMAND, MAKEWPARAM(ID_VIEW_TEXT_LABELS, 0), reinterpret_cast<LPARAM>(toolbar));
    EXPECT_TRUE(Bar().LabelsShown());

    Bar().Dock();
    EXPECT_EQ(GetParent(toolbar), frame);
    EXPECT_FALSE(IsWindow(floating));
    EXPECT_EQ(ViewTop(), docked.bottom);
    Command(ID_VIEW_TEXT_LABELS); // off while docked: the frame lays itself out again
    EXPECT_FALSE(Bar().LabelsShown());
    EXPECT_EQ(ButtonHeight(ID_FILE_REFRESH), without.cy);
    EXPECT_LT(ViewTop(), docked.bottom);
    Close();
    EXPECT_EQ(win::GetProfileInt(kSection, "TextLabels", -1), 0);

    Start(); // the setting comes back
    EXPECT_EQ(ButtonHeight(ID_FILE_REFRESH), without.cy);
    Command(ID_VIEW_TEXT_LABELS);
    Close();
    EXPECT_EQ(win::GetProfileInt(kSection, "TextLabels", -1), 1);
}

// The frame's client area in screen coordinates.
RECT ClientOnScreen(HWND window)
{
    RECT client{};
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    return client;
}

void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// The gripper taken with the mouse at `grab` (the bar's client coordinates), dragged and
// let go at `drop` on the screen.
void DragGripper(HWND bar, POINT grab, POINT drop)
{
    SendMessageA(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(grab.x, grab.y));
    ScreenToClient(bar, &drop);
    SendMessageA(bar, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(drop.x, drop.y));
    SendMessageA(bar, WM_LBUTTONUP, 0, MAKELPARAM(drop.x, drop.y));
}

TEST_F(LookTest, TheGripperDocksTheToolbarOnEverySideFloatsItAndThePlaceComesBack)
{
    RECT client = ClientOnScreen(frame);
    const LONG middleX = (client.left + client.right) / 2, middleY = (client.top + client.bottom) / 2;
    const HWND view = console->View().Handle();
    auto firstButtons = [&] {
        RECT first{}, second{};
        SendMessageA(toolbar, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
        SendMessageA(toolbar, TB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second));
        return std::pair{first, second};
    };
    RECT bar = WindowRect(toolbar);
    const LONG barHeight = bar.bottom - bar.top;

    // Docked at the top, taken by its gripper to the frame's left edge: upright there, one
    // button a row, the list beside it.
    DragGripper(toolbar, POINT{4, barHeight / 2}, POINT{client.left + 5, middleY});
    EXPECT_EQ(Bar().Side(), CTextToolBar::kDockLeft);
    EXPECT_TRUE(GetWindowLongPtrA(toolbar, GWL_STYLE) & CCS_VERT);
    bar = WindowRect(toolbar);
    EXPECT_EQ(bar.left, client.left);
    EXPECT_GT(bar.bottom - bar.top, bar.right - bar.left);
    EXPECT_EQ(WindowRect(view).left, bar.right);
    EXPECT_EQ(WindowRect(view).top, client.top);
    auto [first, second] = firstButtons();
    EXPECT_EQ(first.left, second.left);
    EXPECT_GE(second.top, first.bottom);
    // The gripper lies flat above the first button, outside the buttons' area.
    POINT origin{0, 0};
    ClientToScreen(toolbar, &origin);
    EXPECT_EQ(origin.y - bar.top, CTextToolBar::kDockedBorder + CTextToolBar::kGripperRoom);

    // From the side's gripper strip to the right edge, then to the bottom, above the status bar.
    DragGripper(toolbar, POINT{5, -5}, POINT{client.right - 3, middleY});
    EXPECT_EQ(Bar().Side(), CTextToolBar::kDockRight);
    bar = WindowRect(toolbar);
    EXPECT_EQ(bar.right, client.right);
    EXPECT_EQ(WindowRect(view).right, bar.left);
    DragGripper(toolbar, POINT{5, -5}, POINT{middleX, client.bottom - 4});
    EXPECT_EQ(Bar().Side(), CTextToolBar::kDockBottom);
    EXPECT_FALSE(GetWindowLongPtrA(toolbar, GWL_STYLE) & CCS_VERT);
    bar = WindowRect(toolbar);
    EXPECT_EQ(bar.bottom, WindowRect(console->Frame().StatusBar()).top);
    EXPECT_EQ(WindowRect(view).bottom, bar.top);
    EXPECT_EQ(WindowRect(view).top, client.top);
    std::tie(first, second) = firstButtons();
    EXPECT_EQ(first.top, second.top);
    EXPECT_GT(second.left, first.left);

    // Let go in the middle: a small window of its own, where it was let go.
    DragGripper(toolbar, POINT{4, 6}, POINT{middleX, middleY});
    ASSERT_TRUE(Bar().IsFloating());
    HWND floating = Bar().FloatingWindow();
    EXPECT_EQ(WindowRect(floating).left, middleX - 4);
    EXPECT_EQ(WindowRect(view).bottom, WindowRect(console->Frame().StatusBar()).top);
    // View > Toolbar hides the floating window with the bar, and shows it again.
    Command(ID_VIEW_TOOLBAR);
    EXPECT_FALSE(IsWindowVisible(floating));
    Command(ID_VIEW_TOOLBAR);
    EXPECT_TRUE(IsWindowVisible(floating));
    EXPECT_TRUE(IsWindowVisible(toolbar));
    // A double click on its caption docks it back where it was docked.
    SendMessageA(floating, WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(middleX, middleY));
    PumpMessages();
    EXPECT_FALSE(Bar().IsFloating());
    EXPECT_FALSE(IsWindow(floating));
    EXPECT_EQ(Bar().Side(), CTextToolBar::kDockBottom);
    EXPECT_EQ(GetParent(toolbar), frame);

    // Closed while floating: the rectangle and the side are in the profile and come back.
    DragGripper(toolbar, POINT{4, 6}, POINT{middleX, middleY});
    ASSERT_TRUE(Bar().IsFloating());
    RECT floated = WindowRect(Bar().FloatingWindow());
    Close();
    EXPECT_EQ(win::GetProfileInt(kSection, "ToolbarSide", -1), CTextToolBar::kDockBottom);
    char expected[64];
    std::snprintf(expected, sizeof(expected), "%d %d %d %d", static_cast<int>(floated.left),
                  static_cast<int>(floated.top), static_cast<int>(floated.right), static_cast<int>(floated.bottom));
    EXPECT_EQ(win::GetProfileString(kSection, "ToolbarFloat", ""), expected);
    Start();
    ASSERT_TRUE(Bar().IsFloating());
    EXPECT_EQ(WindowRect(Bar().FloatingWindow()).left, floated.left);
    EXPECT_EQ(WindowRect(Bar().FloatingWindow()).top, floated.top);
    Bar().Dock();
    Close();
    EXPECT_EQ(win::GetProfileString(kSection, "ToolbarFloat", "x"), "");
    Start();
    EXPECT_FALSE(Bar().IsFloating());
    EXPECT_EQ(Bar().Side(), CTextToolBar::kDockBottom);
    // Back to the top edge: the frame's own layout again, the list under the bar.
    DragGripper(toolbar, POINT{4, 6}, POINT{middleX, ClientOnScreen(frame).top + 2});
    EXPECT_EQ(Bar().Side(), CTextToolBar::kDockTop);
    EXPECT_EQ(ViewTop(), WindowRect(toolbar).bottom);
}

TEST_F(LookTest, OwnerDrawnMenusMeasureFindMnemonicsAndDrawDisabledAndCheckedItems)
{
    CMenuPainter& painter = console->Frame().MenuPainter();
    EXPECT_EQ(painter.PictureOf(SC_CLOSE_ID), 12); // the system menu's pictures follow the toolbar's

    HMENU view = OpenPopup(2);
    for (int i = 0; i < GetMenuItemCount(view); ++i) EXPECT_TRUE(Item(view, i).fType & MFT_OWNERDRAW) << i;
    OpenPopup(2); // opening again adds nothing and changes nothing
    MEASUREITEMSTRUCT separator = Measure(view, 1);
    EXPECT_EQ(separator.itemWidth, 10u);
    EXPECT_EQ(separator.itemHeight, 6u);
    MEASUREITEMSTRUCT refresh = Measure(view, 6); // "&Refresh\tF5"
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    Canvas scratch(1, 1);
    HFONT font = CreateFontIndirectA(&metrics.lfMenuFont);
    HGDIOBJ previous = SelectObject(scratch.Dc(), font);
    DWORD extent = GetTabbedTextExtentA(scratch.Dc(), "&Refresh\tF5", 11, 0, nullptr);
    DeleteObject(SelectObject(scratch.Dc(), previous));
    UINT height = std::max<UINT>(16 + 5, HIWORD(extent));
    EXPECT_EQ(refresh.itemHeight, height);
    EXPECT_EQ(refresh.itemWidth, LOWORD(extent) + 17 + std::max<UINT>(height, 16));

    // A mnemonic typed in the open menu finds the owner-drawn item.
    LRESULT found = SendMessageA(frame, WM_MENUCHAR, MAKEWPARAM('r', MF_POPUP), reinterpret_cast<LPARAM>(view));
    EXPECT_EQ(HIWORD(found), MNC_EXECUTE);
    EXPECT_EQ(LOWORD(found), 6);
    found = SendMessageA(frame, WM_MENUCHAR, MAKEWPARAM('q', MF_POPUP), reinterpret_cast<LPARAM>(view));
    EXPECT_EQ(HIWORD(found), MNC_IGNORE);

    // A disabled command's picture is embossed in 3D colours, its text engraved.
    HMENU tools = OpenPopup(3);
    ASSERT_EQ(GetMenuItemID(tools, 1), static_cast<UINT>(ID_TOOLS_APPLY_ERD));
    COLORREF menu = GetSysColor(COLOR_MENU), light = GetSysColor(COLOR_3DHIGHLIGHT),
             shadow = GetSysColor(COLOR_3DSHADOW), grey = GetSysColor(COLOR_GRAYTEXT);
    EXPECT_TRUE(Paint(tools, 1, 0).picture.count(RGB(0, 160, 0))); // the picture's green arrow
    Drawn disabled = Paint(tools, 1, ODS_GRAYED);
    EXPECT_FALSE(disabled.picture.count(RGB(0, 160, 0)));
    EXPECT_TRUE(disabled.picture.count(shadow));
    for (COLORREF colour : disabled.picture)
        EXPECT_TRUE(colour == menu || colour == light || colour == shadow) << std::hex << colour;
    EXPECT_TRUE(disabled.text.count(light)); // the engraving under the grey text
    EXPECT_TRUE(disabled.text.count(grey));
    // A checked command without a picture gets the check list's tick in a sunken frame.
    int labels = GetMenuItemCount(view) - 1;
    ASSERT_EQ(GetMenuItemID(view, labels), static_cast<UINT>(ID_VIEW_TEXT_LABELS));
    EXPECT_FALSE(Paint(view, labels, 0).picture.count(RGB(0, 0, 0)));
    std::set<COLORREF> tick = Paint(view, labels, ODS_CHECKED).picture;
    EXPECT_TRUE(tick.count(RGB(0, 0, 0)));
    EXPECT_TRUE(tick.count(shadow));
    EXPECT_FALSE(tick.count(RGB(128, 128, 128)) && shadow != RGB(128, 128, 128));

    // On the grey menus of Windows NT the light copy shows: drawn in the text's rectangle
    // shrunk by a pixel on every side, it stays centred on the grey text's line, no lower.
    {
        const int element = COLOR_MENU;
        const COLORREF previous = GetSysColor(COLOR_MENU), ntGrey = RGB(192, 192, 192);
        ASSERT_TRUE(SetSysColors(1, &element, &ntGrey));
        Close();
        Start();
        Drawn engraved = Paint(OpenPopup(3), 1, ODS_GRAYED);
        SetSysColors(1, &element, &previous);
        EXPECT_GE(engraved.lowestLight, 0);
        EXPECT_EQ(engraved.lowestLight, engraved.lowestGrey);
    }
}

TEST(CaptionColours, QuadraticGradientAndDarkTitleBecomingWhite)
{
    const int width = 600, height = 18, g = 500, stripe = 500 / 64; // 7
    const COLORREF colour = RGB(60, 120, 240);
    Canvas canvas(width, height);
    FillCaptionGradient(canvas.Dc(), width, height, colour);
    EXPECT_EQ(canvas.At(0, 9), RGB(0, 0, 0));
    EXPECT_EQ(canvas.At(g, 9), colour);
    EXPECT_EQ(canvas.At(width - 1, 0), colour);
    auto expected = [&](int x) {
        int distance = (g - x + stripe - 1) / stripe * stripe; // the stripe's distance from G
        auto fade = [&](int c) { return c - c * distance * distance / (g * g); };
        return RGB(fade(60), fade(120), fade(240));
    };
    for (int x : {g - 1, g - stripe, g - stripe - 1, 250, 100, 10, 3}) EXPECT_EQ(canvas.At(x, 9), expected(x)) << x;
    // Left of the last whole stripe is black; the colours never darken going right.
    EXPECT_EQ(canvas.At(2, 0), RGB(0, 0, 0));
    for (int x = 1; x < width; ++x) EXPECT_GE(GetBValue(canvas.At(x, 5)), GetBValue(canvas.At(x - 1, 5))) << x;
    EXPECT_EQ(GradientColour(RGB(200, 100, 50), 150, 300), RGB(150, 75, 38));

    EXPECT_EQ(ActiveTitleColour(RGB(190, 0, 0)), RGB(255, 255, 255)); // lightness 89
    EXPECT_EQ(ActiveTitleColour(RGB(191, 0, 0)), RGB(191, 0, 0));     // 90 stays
}

TEST_F(LookTest, CaptionPaintedFromCachedPicturesOnTheWindow)
{
    CCaptionPainter& painter = console->Frame().CaptionPainter();
    ShowWindow(frame, SW_RESTORE);
    SetWindowPos(frame, HWND_TOP, 40, 40, 640, 400, SWP_SHOWWINDOW);
    RECT caption = painter.CaptionRect();
    int width = caption.right - caption.left, height = caption.bottom - caption.top;
    HBITMAP active = painter.CaptionBitmap(true);
    ASSERT_NE(active, nullptr);
    BITMAP info{};
    GetObjectA(active, sizeof(info), &info);
    EXPECT_EQ(info.bmWidth, width);
    EXPECT_EQ(info.bmHeight, height);
    EXPECT_EQ(painter.CaptionBitmap(true), active); // kept while nothing changes

    // The window's own caption shows the picture of its state: the gradient while active,
    // the plain inactive colour otherwise.
    auto paint = [&](BOOL active, int x) {
        SendMessageA(frame, WM_NCACTIVATE, active, 0);
        RedrawWindow(frame, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
        HDC window = GetWindowDC(frame);
        COLORREF colour = GetPixel(window, caption.left + x, caption.top + 1);
        ReleaseDC(frame, window);
        return colour;
    };
    SetForegroundWindow(frame);
    EXPECT_EQ(paint(TRUE, 0), RGB(0, 0, 0));
    EXPECT_EQ(paint(TRUE, width * 5 / 6 + 1), GetSysColor(COLOR_ACTIVECAPTION));
    EXPECT_EQ(paint(FALSE, 0), GetSysColor(COLOR_INACTIVECAPTION));

    // A new size makes new pictures of the new width.
    SetWindowPos(frame, nullptr, 0, 0, 500, 300, SWP_NOMOVE | SWP_NOZORDER);
    HBITMAP resized = painter.CaptionBitmap(true);
    ASSERT_NE(resized, nullptr);
    GetObjectA(resized, sizeof(info), &info);
    EXPECT_EQ(info.bmWidth, painter.CaptionRect().right - painter.CaptionRect().left);
    EXPECT_LT(info.bmWidth, width);
}

} // namespace
