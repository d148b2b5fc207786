#include "TextToolBar.h"

#include "PaintHelpers.h"
#include "WindowsVersion.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {
constexpr char kFloatingClass[] = "OstrelFloatingBar";
constexpr DWORD kFloatingStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFloatingExStyle = WS_EX_TOOLWINDOW;
// The toolbar styles that follow where it is: docked at the top it aligns itself in its
// frame (with the divider line above it); elsewhere the frame or the floating window
// places it, and at a side it stands upright.
constexpr LONG_PTR kPlacedStyles = CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER;
constexpr LONG_PTR kPlacementStyles = kPlacedStyles | CCS_VERT;
constexpr UINT kDockMessage = WM_USER;       // to the floating window: dock (wParam: side + 1, 0 the last)
constexpr int kGripperStrip = CTextToolBar::kDockedBorder + CTextToolBar::kGripperRoom;

// The last "\n" piece of a command's string-table text, unchanged (leading blanks kept).
std::string LastPiece(HINSTANCE instance, UINT command)
{
    char text[512] = "";
    if (LoadStringA(instance, command, text, sizeof(text)) <= 0) return {};
    std::string all = text;
    size_t cut = all.rfind('\n');
    return cut == std::string::npos ? all : all.substr(cut + 1);
}
} // namespace

// The small window that holds the toolbar while it floats; the toolbar's commands and
// notifications still go to the frame.
class CTextToolBar::FloatingFrame : public win::Window {
public:
    explicit FloatingFrame(CTextToolBar& bar) : bar_(bar) {}

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override
    {
        switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
            handled = true;
            return SendMessageA(GetWindow(Handle(), GW_OWNER), message, wParam, lParam);
        case WM_CLOSE:
            handled = true;
            PostMessageA(Handle(), kDockMessage, 0, 0); // dock once this message is done
            return 0;
        case WM_NCLBUTTONDBLCLK:
            if (wParam != HTCAPTION) break;
            handled = true; // a double click on the caption docks the bar back
            PostMessageA(Handle(), kDockMessage, 0, 0);
            return 0;
        case WM_ENTERSIZEMOVE:
            GetWindowRect(Handle(), &moveStart_);
            break;
        case WM_EXITSIZEMOVE: {
            // Moved by its caption onto an edge of the frame: docked there.
            RECT now{};
            GetWindowRect(Handle(), &now);
            POINT cursor{};
            GetCursorPos(&cursor);
            DockSide side = kDockTop;
            if ((now.left != moveStart_.left || now.top != moveStart_.top) && !bar_.DropTarget(cursor, side))
                PostMessageA(Handle(), kDockMessage, static_cast<WPARAM>(side) + 1, 0);
            break;
        }
        case WM_WINDOWPOSCHANGED:
            GetWindowRect(Handle(), &bar_.floatRect_);
            break;
        case WM_DESTROY:
            // Owned by the frame, this window goes first when the frame closes: the toolbar
            // goes back into the frame to be destroyed with it, and the bar remembers that it
            // floated (the frame saves where).
            if (bar_.floating_ == this) {
                bar_.floating_ = nullptr;
                ShowWindow(bar_.toolbar_, SW_HIDE);
                SetParent(bar_.toolbar_, bar_.frame_);
                bar_.retired_ = this;
                bar_.floatedAtClose_ = true;
            }
            break;
        case kDockMessage:
            handled = true;
            if (wParam == 0)
                bar_.Dock();
            else
                bar_.DockAt(static_cast<DockSide>(wParam - 1));
            return 0;
        default:
            break;
        }
        handled = false;
        return 0;
    }

private:
    CTextToolBar& bar_;
    RECT moveStart_{};
};

namespace {

// comctl32 5.80 and later address a button of TB_GETBUTTONINFO/TB_SETBUTTONINFO by its index.
bool KnowsButtonIndex()
{
    static const bool known = win::LoadedDllVersion("comctl32.dll") >= win::PackedVersion(5, 80);
    return known;
}

// The wParam of TB_SETBUTTONINFOA for the button at `index`: the index where comctl32 knows
// it, else the button's command.
WPARAM ButtonInfoAddress(TBBUTTONINFOA& info, int index, const TBBUTTON& button)
{
    if (!KnowsButtonIndex()) return static_cast<WPARAM>(button.idCommand);
    info.dwMask |= TBIF_BYINDEX; // NT 4.0 guard: comctl32 5.80 and later
    return static_cast<WPARAM>(index);
}

} // namespace

CTextToolBar::CTextToolBar() = default;

CTextToolBar::~CTextToolBar()
{
    delete floating_;
    delete retired_;
}

bool CTextToolBar::LoadToolBar(HWND toolbar, HINSTANCE instance)
{
    toolbar_ = toolbar;
    frame_ = GetParent(toolbar);
    if (!toolbar_ || !HookWindow(toolbar_)) return false;
    SendMessageA(toolbar_, TB_SETINDENT, kDockedBorder + kGripperRoom, 0);
    SendMessageA(toolbar_, TB_SETMAXTEXTROWS, 0, 0);
    SendMessageA(toolbar_, TB_AUTOSIZE, 0, 0);
    sizeNoText_ = LargestButton();
    int count = static_cast<int>(SendMessageA(toolbar_, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TBBUTTON button{};
        if (!SendMessageA(toolbar_, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&button)) ||
            (button.fsStyle & BTNS_SEP))
            continue;
        std::string label = LastPiece(instance, static_cast<UINT>(button.idCommand));
        TBBUTTONINFOA info{};
        info.cbSize = sizeof(info);
        info.dwMask = TBIF_TEXT;
        info.pszText = label.data();
        SendMessageA(toolbar_, TB_SETBUTTONINFOA, ButtonInfoAddress(info, i, button), reinterpret_cast<LPARAM>(&info));
    }
    lastButtonCount_ = count;
    SendMessageA(toolbar_, TB_SETMAXTEXTROWS, 1, 0);
    SendMessageA(toolbar_, TB_AUTOSIZE, 0, 0);
    sizeWithText_ = LargestButton();
    labelsShown_ = true;
    ShowTextLabels(false);
    return true;
}

SIZE CTextToolBar::LargestButton() const
{
    SIZE largest{};
    int count = static_cast<int>(SendMessageA(toolbar_, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TBBUTTON button{};
        RECT rect{};
        if (!SendMessageA(toolbar_, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&button)) ||
            (button.fsStyle & BTNS_SEP) ||
            !SendMessageA(toolbar_, TB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&rect)))
            continue;
        largest.cx = std::max(largest.cx, rect.right - rect.left);
        largest.cy = std::max(largest.cy, rect.bottom - rect.top);
    }
    return largest;
}

std::string CTextToolBar::Label(UINT command) const
{
    char text[128] = "";
    LRESULT length = SendMessageA(toolbar_, TB_GETBUTTONTEXTA, command, 0);
    if (length <= 0 || length >= static_cast<LRESULT>(sizeof(text))) return {};
    SendMessageA(toolbar_, TB_GETBUTTONTEXTA, command, reinterpret_cast<LPARAM>(text));
    return text;
}

void CTextToolBar::ApplyButtonSize()
{
    SIZE size = labelsShown_ ? sizeWithText_ : sizeNoText_;
    SendMessageA(toolbar_, TB_SETMAXTEXTROWS, labelsShown_ ? 1 : 0, 0);
    SendMessageA(toolbar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(16, 16));
    SendMessageA(toolbar_, TB_SETBUTTONSIZE, 0, MAKELPARAM(size.cx, size.cy));
    SendMessageA(toolbar_, TB_AUTOSIZE, 0, 0);
}

void CTextToolBar::ShowTextLabels(bool show)
{
    if (!toolbar_) return;
    labelsShown_ = show;
    ApplyButtonSize();
    if (IsFloating()) FitFloatingFrame();
    Relayout();
    InvalidateRect(toolbar_, nullptr, TRUE);
}

void CTextToolBar::Relayout()
{
    lastButtonCount_ = static_cast<int>(SendMessageA(toolbar_, TB_BUTTONCOUNT, 0, 0));
    if (layoutChanged) layoutChanged();
}

HWND CTextToolBar::FloatingWindow() const noexcept
{
    return floating_ ? floating_->Handle() : nullptr;
}

void CTextToolBar::FitFloatingFrame()
{
    HWND window = FloatingWindow();
    SIZE size{};
    SendMessageA(toolbar_, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
    SetWindowPos(toolbar_, nullptr, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT outer{0, 0, size.cx, size.cy};
    AdjustWindowRectEx(&outer, kFloatingStyle, FALSE, kFloatingExStyle);
    // Keeps the window's top-left corner where it is: only its size follows the toolbar.
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CTextToolBar::Float(POINT screen)
{
    if (!toolbar_) return false;
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(frame_, GWLP_HINSTANCE));
    if (!floating_) {
        auto* floating = new FloatingFrame(*this);
        if (!win::Window::RegisterClass(instance, kFloatingClass, nullptr, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)) ||
            !floating->Create(instance, kFloatingClass, "", kFloatingStyle, kFloatingExStyle, screen.x, screen.y, 100,
                              50, frame_)) {
            DWORD error = GetLastError();
            delete floating;
            SetLastError(error);
            return false;
        }
        floating_ = floating;
        SetWindowTextA(floating_->Handle(), "Toolbar");
    }
    SetWindowPos(floating_->Handle(), nullptr, screen.x, screen.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetParent(toolbar_, floating_->Handle());
    ApplyOrientation(); // no gripper while floating, the buttons in one row
    SetWindowPos(toolbar_, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyButtonSize();
    FitFloatingFrame();
    ShowWindow(floating_->Handle(), SW_SHOWNOACTIVATE);
    Relayout();
    return true;
}

void CTextToolBar::Dock() { DockAt(side_); }

void CTextToolBar::DockAt(DockSide side)
{
    if (!toolbar_) return;
    side_ = side;
    floatedAtClose_ = false;
    if (FloatingFrame* floating = floating_) {
        SetParent(toolbar_, frame_);
        floating_ = nullptr;
        DestroyWindow(floating->Handle());
        delete floating;
    }
    ApplyOrientation();
    ApplyButtonSize();
    Relayout();
    // The bar and the list both changed place: everything in the frame is painted afresh.
    RedrawWindow(frame_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

void CTextToolBar::ApplyOrientation()
{
    const bool vertical = IsVertical();
    LONG_PTR style = GetWindowLongPtrA(toolbar_, GWL_STYLE) & ~kPlacementStyles;
    if (IsFloating() || side_ != kDockTop) style |= kPlacedStyles;
    if (vertical) style |= CCS_VERT;
    SetWindowLongPtrA(toolbar_, GWL_STYLE, style);
    // Upright, every button ends its row.
    int count = static_cast<int>(SendMessageA(toolbar_, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TBBUTTON button{};
        if (!SendMessageA(toolbar_, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&button))) continue;
        LRESULT state = SendMessageA(toolbar_, TB_GETSTATE, static_cast<WPARAM>(button.idCommand), 0);
        if (state == -1 || button.idCommand == 0) {
            // A separator has no command to address: its state goes through its button record.
            const BYTE wanted =
                static_cast<BYTE>(vertical ? (button.fsState | TBSTATE_WRAP) : (button.fsState & ~TBSTATE_WRAP));
            if (!KnowsButtonIndex()) {
                // comctl32 4.71 addresses a button only by its command: the separator is put
                // back at its place with its new state.
                button.fsState = wanted;
                SendMessageA(toolbar_, TB_DELETEBUTTON, static_cast<WPARAM>(i), 0);
                SendMessageA(toolbar_, TB_INSERTBUTTONA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&button));
                continue;
            }
            TBBUTTONINFOA info{};
            info.cbSize = sizeof(info);
            info.dwMask = TBIF_STATE;
            info.fsState = wanted;
            SendMessageA(toolbar_, TB_SETBUTTONINFOA, ButtonInfoAddress(info, i, button), reinterpret_cast<LPARAM>(&info));
            continue;
        }
        state = vertical ? (state | TBSTATE_WRAP) : (state & ~TBSTATE_WRAP);
        SendMessageA(toolbar_, TB_SETSTATE, static_cast<WPARAM>(button.idCommand), MAKELPARAM(state, 0));
    }
    // The gripper's room: before the first button along a horizontal bar, above the first
    // button of an upright one (kept out of the client area), none while floating.
    SendMessageA(toolbar_, TB_SETINDENT, !IsFloating() && !vertical ? kGripperStrip : 0, 0);
    SetWindowPos(toolbar_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

bool CTextToolBar::Layout(RECT& area)
{
    if (!toolbar_ || IsFloating() || side_ == kDockTop) return false;
    SIZE size{};
    SendMessageA(toolbar_, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
    RECT bar{};
    switch (side_) {
    case kDockBottom:
        bar = RECT{area.left, area.bottom - (size.cy + 4), area.right, area.bottom};
        area.bottom = bar.top;
        break;
    case kDockLeft:
        bar = RECT{area.left, area.top, area.left + size.cx + 4, area.bottom};
        area.left = bar.right;
        break;
    default:
        bar = RECT{area.right - (size.cx + 4), area.top, area.right, area.bottom};
        area.right = bar.left;
        break;
    }
    SetWindowPos(toolbar_, nullptr, bar.left, bar.top, bar.right - bar.left, bar.bottom - bar.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

bool CTextToolBar::DropTarget(POINT screen, DockSide& side) const
{
    RECT client{};
    if (!frame_ || !GetClientRect(frame_, &client)) return true;
    POINT corner{0, 0};
    ClientToScreen(frame_, &corner);
    OffsetRect(&client, corner.x, corner.y);
    RECT reach = client;
    InflateRect(&reach, kDockReach, kDockReach);
    if (!PtInRect(&reach, screen)) return true;
    const LONG distances[4] = {std::labs(screen.y - client.top), std::labs(screen.y - client.bottom),
                               std::labs(screen.x - client.left), std::labs(screen.x - client.right)};
    int nearest = 0;
    for (int i = 1; i < 4; ++i)
        if (distances[i] < distances[nearest]) nearest = i;
    if (distances[nearest] > kDockReach) return true;
    side = static_cast<DockSide>(nearest);
    return false;
}

bool CTextToolBar::InGripper(POINT client) const
{
    if (IsFloating()) return false;
    RECT bar{};
    GetClientRect(toolbar_, &bar);
    if (IsVertical()) return client.y < 0 && client.y >= -kGripperStrip && client.x >= 0 && client.x < bar.right;
    return client.x >= 0 && client.x < kGripperStrip && client.y >= 0 && client.y < bar.bottom;
}

void CTextToolBar::DrawDragFrame(POINT screen)
{
    HDC dc = GetDC(nullptr);
    if (!dc) return;
    if (!IsRectEmpty(&dragFrame_)) DrawFocusRect(dc, &dragFrame_); // the outline drawn last goes
    RECT bar{};
    GetWindowRect(toolbar_, &bar);
    dragFrame_ = RECT{screen.x - grip_.x, screen.y - grip_.y, screen.x - grip_.x + (bar.right - bar.left),
                      screen.y - grip_.y + (bar.bottom - bar.top)};
    DrawFocusRect(dc, &dragFrame_);
    ReleaseDC(nullptr, dc);
}

void CTextToolBar::EndDrag(POINT screen)
{
    dragging_ = false;
    if (!IsRectEmpty(&dragFrame_)) {
        HDC dc = GetDC(nullptr);
        if (dc) {
            DrawFocusRect(dc, &dragFrame_);
            ReleaseDC(nullptr, dc);
        }
        dragFrame_ = RECT{};
    }
    DockSide side = side_;
    if (DropTarget(screen, side))
        Float(POINT{screen.x - grip_.x, screen.y - grip_.y});
    else if (side != side_)
        DockAt(side);
}

void CTextToolBar::DrawGripper()
{
    if (IsFloating()) return;
    const COLORREF light = GetSysColor(COLOR_3DHIGHLIGHT), shadow = GetSysColor(COLOR_3DSHADOW);
    if (IsVertical()) {
        // Above the first button, outside the client area: two raised bars lying flat.
        RECT window{};
        GetWindowRect(toolbar_, &window);
        HDC dc = GetWindowDC(toolbar_);
        if (!dc) return;
        const LONG width = window.right - window.left;
        FillSolid(dc, RECT{0, 0, width, kGripperStrip}, GetSysColor(COLOR_3DFACE));
        for (int top : {2, 7}) Frame3d(dc, RECT{3, top, width - 3, top + 3}, light, shadow);
        ReleaseDC(toolbar_, dc);
        return;
    }
    RECT bar{};
    GetClientRect(toolbar_, &bar);
    HDC dc = GetDC(toolbar_);
    if (!dc) return;
    // Two raised bars, 3 pixels wide and 5 apart, inset 3 pixels from the bar's edges,
    // standing upright before the first button.
    for (int left : {2, 7}) Frame3d(dc, RECT{left, bar.top + 3, left + 3, bar.bottom - 3}, light, shadow);
    ReleaseDC(toolbar_, dc);
}

LRESULT CTextToolBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCALCSIZE: {
        LRESULT result = Default();
        if (IsVertical()) reinterpret_cast<RECT*>(lParam)->top += kGripperStrip; // the gripper's strip
        return result;
    }
    case WM_NCHITTEST:
        if (IsVertical()) {
            POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ScreenToClient(toolbar_, &at);
            if (InGripper(at)) return HTCLIENT; // so that the gripper can be taken
        }
        return Default();
    case WM_LBUTTONDOWN: {
        POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (!InGripper(at)) break;
        // Taking the gripper: the bar follows as an outline until it is let go.
        RECT bar{};
        GetWindowRect(toolbar_, &bar);
        ClientToScreen(toolbar_, &at);
        grip_ = POINT{at.x - bar.left, at.y - bar.top};
        dragging_ = true;
        dragFrame_ = RECT{};
        SetCapture(toolbar_);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (!dragging_) break;
        {
            POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ClientToScreen(toolbar_, &at);
            DrawDragFrame(at);
        }
        return 0;
    case WM_LBUTTONUP:
        if (!dragging_) break;
        {
            POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ClientToScreen(toolbar_, &at);
            dragging_ = false; // before the capture goes, which would count as a cancel
            ReleaseCapture();
            EndDrag(at);
        }
        return 0;
    case WM_CAPTURECHANGED:
        if (dragging_) { // taken away (Esc, another window): the bar stays where it was
            dragging_ = false;
            HDC dc = GetDC(nullptr);
            if (dc && !IsRectEmpty(&dragFrame_)) DrawFocusRect(dc, &dragFrame_);
            if (dc) ReleaseDC(nullptr, dc);
            dragFrame_ = RECT{};
        }
        break;
    case WM_SHOWWINDOW:
        // View > Toolbar hides and shows the bar: a floating one with its window.
        if (IsFloating()) ShowWindow(FloatingWindow(), wParam ? SW_SHOWNOACTIVATE : SW_HIDE);
        break;
    case WM_KEYDOWN:
        if (dragging_ && wParam == VK_ESCAPE) {
            ReleaseCapture();
            return 0;
        }
        break;
    default:
        break;
    }
    LRESULT result = Default();
    if (message == WM_PAINT || message == WM_NCPAINT) DrawGripper();
    return result;
}
