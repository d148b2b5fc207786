// The popup window that shows a help text where the help viewer cannot.
#include "HelpViewer.h"

#include "MonitorArea.h"
#include "WindowsVersion.h"
#include "Window.h"

#include <memory>

namespace help {
namespace {

constexpr char kPopupClass[] = "OstrelHelpPopup";
constexpr int kMargin = 8;
constexpr int kMaxTextWidth = 320;

// The shadow under the popup is asked for only where it exists (Windows XP and later).
UINT ClassStyle()
{
    const bool shadow = win::IsNtVersionAtLeast(5, 1);
    return CS_SAVEBITS | (shadow ? CS_DROPSHADOW : 0); // NT 4.0 guard: Windows XP and later
}

class TextPopup final : public win::Window {
public:
    static HWND current;

    HWND Show(HWND owner, const std::string& text, POINT at)
    {
        HINSTANCE instance = GetModuleHandleA(nullptr);
        if (!RegisterClass(instance, kPopupClass, nullptr, GetSysColorBrush(COLOR_INFOBK), nullptr, ClassStyle()))
            return nullptr;
        font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        RECT textRect = Measure(text);
        int width = textRect.right + 2 * kMargin + 2;
        int height = textRect.bottom + 2 * kMargin + 2;
        // Kept on the monitor's work area, as the viewer's popups are.
        const RECT area = win::WorkAreaNear(at);
        int x = at.x, y = at.y;
        if (x + width > area.right) x = area.right - width;
        if (y + height > area.bottom) y = area.bottom - height;
        if (x < area.left) x = area.left;
        if (y < area.top) y = area.top;
        HWND window = Create(instance, kPopupClass, text.c_str(), WS_POPUP | WS_BORDER,
                             WS_EX_TOOLWINDOW | WS_EX_TOPMOST, x, y, width, height, owner);
        if (!window) return nullptr;
        current = window;
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
        SetFocus(window);
        SetCapture(window);
        return window;
    }

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override
    {
        switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(Handle(), &paint);
            RECT client;
            GetClientRect(Handle(), &client);
            InflateRect(&client, -kMargin, -kMargin);
            HGDIOBJ old = SelectObject(dc, font_);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
            std::string text = win::WindowText(Handle());
            DrawTextA(dc, text.c_str(), -1, &client, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
            SelectObject(dc, old);
            EndPaint(Handle(), &paint);
            handled = true;
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_NCLBUTTONDOWN:
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_KILLFOCUS:
        case WM_CAPTURECHANGED:
            Dismiss();
            handled = true;
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) Dismiss();
            return 0;
        case WM_NCDESTROY:
            if (current == Handle()) current = nullptr;
            return 0;
        default:
            (void)lParam;
            return 0;
        }
    }

private:
    RECT Measure(const std::string& text) const
    {
        RECT rect = {0, 0, kMaxTextWidth, 0};
        HDC dc = GetDC(nullptr);
        HGDIOBJ old = SelectObject(dc, font_);
        DrawTextA(dc, text.c_str(), -1, &rect, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
        return rect;
    }

    void Dismiss()
    {
        if (dismissing_) return;
        dismissing_ = true;
        if (GetCapture() == Handle()) ReleaseCapture();
        HWND owner = GetWindow(Handle(), GW_OWNER);
        DestroyWindow(Handle());
        if (owner && IsWindow(owner)) SetForegroundWindow(owner);
    }

    HFONT font_ = nullptr;
    bool dismissing_ = false;
};

HWND TextPopup::current = nullptr;
// The one popup object; the next popup replaces it (and closes its window if still open).
std::unique_ptr<TextPopup> g_popup;

} // namespace

HWND ShowTextPopup(HWND owner, const std::string& text, POINT at)
{
    g_popup = std::make_unique<TextPopup>();
    return g_popup->Show(owner, text, at);
}

HWND CurrentTextPopup()
{
    return TextPopup::current && IsWindow(TextPopup::current) ? TextPopup::current : nullptr;
}

} // namespace help
