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

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr char kTestApplication[] = "Corvane Salvora Look Tests";
constexpr char kSection[] = "View Settings";

void DeleteProfile() { RegDeleteTreeA(HKEY_CURRENT_USER, (std::string("Software\\Ostrel\\") + kTestApplication).c_str()); }

// A 24-bit picture to draw into and read back.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height)
    {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<DWORD*>(bits);
        dc_ = CreateCompatibleDC(nullptr);
        previous_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas()
    {
        SelectObject(dc_, previous_);
        DeleteDC(dc_);
        DeleteObject(bitmap_);
    }
    HDC Dc() const { return dc_; }
    COLORREF At(int x, int y) const
    {
        GdiFlush();
        DWORD pixel = bits_[y * width_ + x];
        return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
    }
    // The colours inside a rectangle.
    std::set<COLORREF> Colours(const RECT& area) const
    {
        std::set<COLORREF> found;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x) found.insert(At(x, y));
        return found;
    }

private:
    int width_, height_;
    HBITMAP bitmap_ = nullptr;
    DWORD* bits_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

class LookTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        win::SetProfileKey("Ostrel", kTestApplication);
        DeleteProfile();
        network.Add({L"PDC1", kSimPrimaryController, 4, 0, L"Head office"});
        network.Add({L"SRV1", kSimNtServer, 4, 0, L"Files"});
        network.Add({L"WKS1", kSimNtWorkstation, 4, 0, L"Reception"});
        SetNetwork(&network);
    }
    void TearDown() override
    {
        console.reset();
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
    RECT ViewRect() const
    {
        RECT rect{};
        GetWindowRect(console->View().Handle(), &rect);
        return rect;
    }
    // The frame's popup `index` of its menu, opened as a user's click would prepare it.
    HMENU OpenPopup(int index)
    {
        HMENU popup = GetSubMenu(GetMenu(frame), index);
        SendMessageA(frame, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(index, FALSE));
        return popup;
    }
    // Measures and draws item `position` of `popup` through the frame into `canvas`.
    MEASUREITEMSTRUCT Measure(HMENU popup, int position)
    {
        MENUITEMINFOA info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_DATA | MIIM_ID;
        GetMenuItemInfoA(popup, static_cast<UINT>(position), TRUE, &info);
        MEASUREITEMSTRUCT measure{ODT_MENU, 0, info.wID, 0, 0, info.dwItemData};
        EXPECT_TRUE(SendMessageA(frame, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure)));
        return measure;
    }
    void Draw(HMENU popup, int position, UINT state, const Canvas& canvas, const RECT& area)
    {
        MENUITEMINFOA info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_DATA | MIIM_ID;
        GetMenuItemInfoA(popup, static_cast<UINT>(position), TRUE, &info);
        DRAWITEMSTRUCT draw{ODT_MENU, 0, info.wID, ODA_DRAWENTIRE, state, reinterpret_cast<HWND>(popup),
                            canvas.Dc(), area, info.dwItemData};
        EXPECT_TRUE(SendMessageA(frame, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw)));
    }

    SimulatedNetwork network;
    std::unique_ptr<ConsoleWindow> console;
    HWND frame = nullptr;
    HWND toolbar = nullptr;
};

TEST_F(LookTest, TextLabelsFromTheLastPieceTheirCommandAndProfileValue)
{
    Start();
    // First start: labels on, each the string table's last piece unchanged.
    EXPECT_TRUE(Bar().LabelsShown());
    EXPECT_EQ(Bar().Label(ID_FILE_OPEN), "Open");
    EXPECT_EQ(Bar().Label(ID_FILE_REFRESH), "Refresh");
    EXPECT_EQ(Bar().Label(ID_TOOLS_APPLY_ERD), " Apply");
    EXPECT_EQ(Bar().Label(ID_TOOLS_VIEW_LOG), "View Log");
    EXPECT_TRUE(console->Frame().CommandStateOf(ID_VIEW_TEXT_LABELS).checked);
    SIZE with = Bar().SizeWithText(), without = Bar().SizeNoText();
    EXPECT_GT(with.cy, without.cy);
    EXPECT_GE(with.cx, without.cx);
    EXPECT_EQ(ButtonHeight(ID_FILE_REFRESH), with.cy);
    LONG viewTop = ViewRect().top;

    Command(ID_VIEW_TEXT_LABELS);
    EXPECT_FALSE(Bar().LabelsShown());
    EXPECT_FALSE(console->Frame().CommandStateOf(ID_VIEW_TEXT_LABELS).checked);
    EXPECT_EQ(ButtonHeight(ID_FILE_REFRESH), without.cy);
    EXPECT_LT(ViewRect().top, viewTop); // the frame laid itself out again
    Close();
    EXPECT_EQ(win::GetProfileInt(kSection, "TextLabels", -1), 0);

    Start(); // the setting comes back
    EXPECT_FALSE(Bar().LabelsShown());
    EXPECT_EQ(ButtonHeight(ID_FILE_REFRESH), without.cy);
    Command(ID_VIEW_TEXT_LABELS);
    EXPECT_EQ(ButtonHeight(ID_FILE_REFRESH), with.cy);
    Close();
    EXPECT_EQ(win::GetProfileInt(kSection, "TextLabels", -1), 1);
}

TEST_F(LookTest, FloatingToolbarStaysInPlaceWhenLabelsToggle)
{
    Start();
    RECT docked{};
    GetWindowRect(toolbar, &docked);
    ASSERT_TRUE(Bar().Float(POINT{150, 120}));
    HWND floating = Bar().FloatingWindow();
    ASSERT_NE(floating, nullptr);
    EXPECT_EQ(GetParent(toolbar), floating);
    EXPECT_LT(ViewRect().top, docked.bottom); // the frame gave the toolbar's room to the list
    RECT before{};
    GetWindowRect(floating, &before);
    EXPECT_EQ(before.left, 150);
    EXPECT_EQ(before.top, 120);

    Command(ID_VIEW_TEXT_LABELS); // labels off
    RECT after{};
    GetWindowRect(floating, &after);
    EXPECT_TRUE(Bar().IsFloating());
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_LT(after.bottom - after.top, before.bottom - before.top);
    // Its buttons still reach the frame's commands.
    SendMessageA(floating, WM_COMMAND, MAKEWPARAM(ID_VIEW_TEXT_LABELS, 0), reinterpret_cast<LPARAM>(toolbar));
    EXPECT_TRUE(Bar().LabelsShown());
    GetWindowRect(floating, &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);

    Bar().Dock();
    EXPECT_EQ(GetParent(toolbar), frame);
    EXPECT_FALSE(IsWindow(floating));
    EXPECT_EQ(ViewRect().top, docked.bottom);
    Close();
}

TEST_F(LookTest, MenusTakeTheToolbarPicturesAndMeasureRules)
{
    Start();
    CMenuPainter& painter = console->Frame().MenuPainter();
    EXPECT_EQ(painter.PictureOf(ID_FILE_OPEN), 0);
    EXPECT_EQ(painter.PictureOf(ID_TOOLS_OPTIONS), 8);
    EXPECT_EQ(painter.PictureOf(SC_CLOSE_ID), 12); // the system menu's pictures follow
    EXPECT_EQ(painter.PictureOf(ID_COMPUTER_ADD), CMenuPainter::kNoPicture);

    HMENU view = OpenPopup(2);
    for (int i = 0; i < GetMenuItemCount(view); ++i) {
        MENUITEMINFOA info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE;
        GetMenuItemInfoA(view, static_cast<UINT>(i), TRUE, &info);
        EXPECT_TRUE(info.fType & MFT_OWNERDRAW) << i;
    }
    OpenPopup(2); // opening again adds nothing and changes nothing
    MEASUREITEMSTRUCT separator = Measure(view, 1);
    EXPECT_EQ(separator.itemWidth, 10u);
    EXPECT_EQ(separator.itemHeight, 6u);
    MEASUREITEMSTRUCT refresh = Measure(view, 6); // "&Refresh\tF5"
    HDC dc = GetDC(nullptr);
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    HFONT font = CreateFontIndirectA(&metrics.lfMenuFont);
    HGDIOBJ previous = SelectObject(dc, font);
    DWORD extent = GetTabbedTextExtentA(dc, "&Refresh\tF5", 11, 0, nullptr);
    SelectObject(dc, previous);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    UINT height = std::max<UINT>(16 + 5, HIWORD(extent));
    EXPECT_EQ(refresh.itemHeight, height);
    EXPECT_EQ(refresh.itemWidth, LOWORD(extent) + 17 + std::max<UINT>(height, 16));

    // A mnemonic typed in the open menu finds the owner-drawn item.
    LRESULT found = SendMessageA(frame, WM_MENUCHAR, MAKEWPARAM('r', MF_POPUP), reinterpret_cast<LPARAM>(view));
    EXPECT_EQ(HIWORD(found), MNC_EXECUTE);
    EXPECT_EQ(LOWORD(found), 6);
    found = SendMessageA(frame, WM_MENUCHAR, MAKEWPARAM('q', MF_POPUP), reinterpret_cast<LPARAM>(view));
    EXPECT_EQ(HIWORD(found), MNC_IGNORE);
    Close();
}

TEST_F(LookTest, DisabledCommandWithPictureIsEmbossedAndEngraved)
{
    Start();
    HMENU tools = OpenPopup(3);
    ASSERT_EQ(GetMenuItemID(tools, 1), static_cast<UINT>(ID_TOOLS_APPLY_ERD));
    MEASUREITEMSTRUCT size = Measure(tools, 1);
    const int width = static_cast<int>(size.itemWidth), height = static_cast<int>(size.itemHeight);
    RECT item{0, 0, width, height};
    RECT pictureBox{0, 0, std::max(height, 16), height};
    RECT textArea{pictureBox.right, 0, width, height};
    COLORREF menu = GetSysColor(COLOR_MENU), light = GetSysColor(COLOR_3DHIGHLIGHT),
             shadow = GetSysColor(COLOR_3DSHADOW), grey = GetSysColor(COLOR_GRAYTEXT);

    Canvas enabled(width, height);
    Draw(tools, 1, 0, enabled, item);
    EXPECT_TRUE(enabled.Colours(pictureBox).count(RGB(0, 160, 0))); // the picture's green arrow

    Canvas disabled(width, height);
    Draw(tools, 1, ODS_GRAYED, disabled, item);
    std::set<COLORREF> picture = disabled.Colours(pictureBox);
    EXPECT_FALSE(picture.count(RGB(0, 160, 0)));
    EXPECT_TRUE(picture.count(shadow));
    for (COLORREF colour : picture)
        EXPECT_TRUE(colour == menu || colour == light || colour == shadow) << std::hex << colour;
    std::set<COLORREF> text = disabled.Colours(textArea);
    EXPECT_TRUE(text.count(light)); // the engraving under the grey text
    EXPECT_TRUE(text.count(grey));
    Close();
}

TEST_F(LookTest, CheckMarkWithoutPictureComesFromTheCheckList)
{
    Start();
    HMENU view = OpenPopup(2);
    int labels = GetMenuItemCount(view) - 1;
    ASSERT_EQ(GetMenuItemID(view, labels), static_cast<UINT>(ID_VIEW_TEXT_LABELS));
    MEASUREITEMSTRUCT size = Measure(view, labels);
    RECT item{0, 0, static_cast<int>(size.itemWidth), static_cast<int>(size.itemHeight)};
    RECT box{0, 0, std::max<int>(item.bottom, 16), item.bottom};
    Canvas plain(item.right, item.bottom), ticked(item.right, item.bottom);
    Draw(view, labels, 0, plain, item);
    Draw(view, labels, ODS_CHECKED, ticked, item);
    EXPECT_FALSE(plain.Colours(box).count(RGB(0, 0, 0)));
    std::set<COLORREF> tick = ticked.Colours(box);
    EXPECT_TRUE(tick.count(RGB(0, 0, 0)));                      // the tick
    EXPECT_TRUE(tick.count(GetSysColor(COLOR_3DSHADOW)));       // its sunken frame, in 3D colours
    EXPECT_FALSE(tick.count(RGB(128, 128, 128)) && GetSysColor(COLOR_3DSHADOW) != RGB(128, 128, 128));
    Close();
}

TEST(CaptionColours, GradientFollowsTheQuadraticFormula)
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
    EXPECT_EQ(GradientColour(RGB(200, 100, 50), 0, 300), RGB(200, 100, 50));
    EXPECT_EQ(GradientColour(RGB(200, 100, 50), 300, 300), RGB(0, 0, 0));
    EXPECT_EQ(GradientColour(RGB(200, 100, 50), 150, 300), RGB(150, 75, 38));
}

TEST(CaptionColours, DarkTitleColourBecomesWhite)
{
    EXPECT_EQ(ActiveTitleColour(RGB(0, 0, 0)), RGB(255, 255, 255));
    EXPECT_EQ(ActiveTitleColour(RGB(0, 0, 128)), RGB(255, 255, 255)); // lightness 60
    EXPECT_EQ(ActiveTitleColour(RGB(190, 0, 0)), RGB(255, 255, 255)); // 89
    EXPECT_EQ(ActiveTitleColour(RGB(191, 0, 0)), RGB(191, 0, 0));     // 90 stays
    EXPECT_EQ(ActiveTitleColour(RGB(255, 255, 0)), RGB(255, 255, 0));
}

TEST_F(LookTest, CaptionPaintedFromCachedPicturesOnTheWindow)
{
    Start();
    CCaptionPainter& painter = console->Frame().CaptionPainter();
    ShowWindow(frame, SW_RESTORE);
    SetWindowPos(frame, HWND_TOP, 40, 40, 640, 400, SWP_SHOWWINDOW);
    RECT caption = painter.CaptionRect();
    int width = caption.right - caption.left, height = caption.bottom - caption.top;
    HBITMAP active = painter.CaptionBitmap(true);
    HBITMAP inactive = painter.CaptionBitmap(false);
    ASSERT_NE(active, nullptr);
    ASSERT_NE(inactive, nullptr);
    BITMAP info{};
    GetObjectA(active, sizeof(info), &info);
    EXPECT_EQ(info.bmWidth, width);
    EXPECT_EQ(info.bmHeight, height);
    EXPECT_EQ(painter.CaptionBitmap(true), active); // kept while nothing changes

    auto pixel = [](HBITMAP bitmap, int x, int y) {
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ previous = SelectObject(dc, bitmap);
        COLORREF colour = GetPixel(dc, x, y);
        SelectObject(dc, previous);
        DeleteDC(dc);
        return colour;
    };
    EXPECT_EQ(pixel(active, 0, 1), RGB(0, 0, 0));
    EXPECT_EQ(pixel(active, width * 5 / 6 + 1, 1), GetSysColor(COLOR_ACTIVECAPTION));
    EXPECT_EQ(pixel(inactive, 0, 1), GetSysColor(COLOR_INACTIVECAPTION));

    // The window's own caption shows the picture of its state.
    SetForegroundWindow(frame);
    SendMessageA(frame, WM_NCACTIVATE, TRUE, 0);
    RedrawWindow(frame, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    HDC window = GetWindowDC(frame);
    EXPECT_EQ(GetPixel(window, caption.left, caption.top + 1), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(window, caption.left + width * 5 / 6 + 1, caption.top + 1), GetSysColor(COLOR_ACTIVECAPTION));
    ReleaseDC(frame, window);

    // A new size makes new pictures of the new width.
    SetWindowPos(frame, nullptr, 0, 0, 500, 300, SWP_NOMOVE | SWP_NOZORDER);
    HBITMAP resized = painter.CaptionBitmap(true);
    ASSERT_NE(resized, nullptr);
    GetObjectA(resized, sizeof(info), &info);
    EXPECT_EQ(info.bmWidth, painter.CaptionRect().right - painter.CaptionRect().left);
    EXPECT_LT(info.bmWidth, width);
    Close();
}

} // namespace
