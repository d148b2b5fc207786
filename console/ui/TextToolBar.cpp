#include "TextToolBar.h"

#include "PaintHelpers.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

namespace {
constexpr char kFloatingClass[] = "OstrelFloatingBar";
constexpr DWORD kFloatingStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFloatingExStyle = WS_EX_TOOLWINDOW;

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
            PostMessageA(Handle(), WM_USER, 0, 0); // dock once this message is done
            return 0;
        case WM_USER:
            handled = true;
            bar_.Dock();
            return 0;
        default:
            handled = false;
            return 0;
        }
    }

private:
    CTextToolBar& bar_;
};

CTextToolBar::CTextToolBar() = default;

CTextToolBar::~CTextToolBar()
{
    delete floating_;
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
        info.dwMask = TBIF_TEXT | TBIF_BYINDEX;
        info.pszText = label.data();
        SendMessageA(toolbar_, TB_SETBUTTONINFOA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&info));
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
    SendMessageA(toolbar_, TB_SETINDENT, 0, 0); // no gripper while floating
    LONG_PTR style = GetWindowLongPtrA(toolbar_, GWL_STYLE);
    SetWindowLongPtrA(toolbar_, GWL_STYLE, style | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER);
    SetParent(toolbar_, floating_->Handle());
    SetWindowPos(toolbar_, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyButtonSize();
    FitFloatingFrame();
    ShowWindow(floating_->Handle(), SW_SHOWNOACTIVATE);
    Relayout();
    return true;
}

void CTextToolBar::Dock()
{
    if (!floating_) return;
    LONG_PTR style = GetWindowLongPtrA(toolbar_, GWL_STYLE);
    SetWindowLongPtrA(toolbar_, GWL_STYLE, style & ~static_cast<LONG_PTR>(CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER));
    SetParent(toolbar_, frame_);
    SendMessageA(toolbar_, TB_SETINDENT, kDockedBorder + kGripperRoom, 0);
    FloatingFrame* floating = floating_;
    floating_ = nullptr;
    DestroyWindow(floating->Handle());
    delete floating;
    ApplyButtonSize();
    Relayout();
}

void CTextToolBar::DrawGripper()
{
    if (IsFloating()) return;
    RECT bar{};
    GetClientRect(toolbar_, &bar);
    HDC dc = GetDC(toolbar_);
    if (!dc) return;
    // Two raised bars, 3 pixels wide and 5 apart, inset 3 pixels from the bar's edges; the
    // control lies along the top or bottom of its frame, so the bars stand upright.
    for (int left : {2, 7})
        Frame3d(dc, RECT{left, bar.top + 3, left + 3, bar.bottom - 3}, GetSysColor(COLOR_3DHIGHLIGHT),
                GetSysColor(COLOR_3DSHADOW));
    ReleaseDC(toolbar_, dc);
}

LRESULT CTextToolBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = Default();
    if (message == WM_PAINT) DrawGripper();
    (void)wParam;
    (void)lParam;
    return result;
}
