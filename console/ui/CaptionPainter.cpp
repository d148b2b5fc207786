#include "CaptionPainter.h"

#include "PaintHelpers.h"

#include <algorithm>
#include <string>

namespace {

// The caption buttons' width and height and their places from the right, in the order
// Close, Maximize or Restore or Help, Minimize.
struct CaptionButton {
    UINT kind;
    RECT rect;
};

int CaptionButtons(HWND frame, SIZE caption, CaptionButton (&buttons)[3])
{
    int width = GetSystemMetrics(SM_CXSIZE) - 2;
    int height = std::min<int>(GetSystemMetrics(SM_CYSIZE) - 4, caption.cy - 4);
    int top = (caption.cy - height) / 2;
    LONG_PTR style = GetWindowLongPtrA(frame, GWL_STYLE);
    LONG_PTR exStyle = GetWindowLongPtrA(frame, GWL_EXSTYLE);
    int right = caption.cx - 2;
    int count = 0;
    auto add = [&](UINT kind, int gap) {
        right -= gap;
        buttons[count++] = CaptionButton{kind, RECT{right - width, top, right, top + height}};
        right -= width;
    };
    add(DFCS_CAPTIONCLOSE, 0);
    if (style & WS_MAXIMIZEBOX)
        add(IsZoomed(frame) ? DFCS_CAPTIONRESTORE : DFCS_CAPTIONMAX, 2);
    else if (exStyle & WS_EX_CONTEXTHELP)
        add(DFCS_CAPTIONHELP, 2);
    if (style & WS_MINIMIZEBOX) add(DFCS_CAPTIONMIN, 0);
    return count;
}

HICON SmallIcon(HWND frame)
{
    auto icon = reinterpret_cast<HICON>(SendMessageA(frame, WM_GETICON, ICON_SMALL, 0));
    if (!icon) icon = reinterpret_cast<HICON>(GetClassLongPtrA(frame, GCLP_HICONSM));
    if (!icon) icon = reinterpret_cast<HICON>(SendMessageA(frame, WM_GETICON, ICON_BIG, 0));
    return icon;
}

} // namespace

COLORREF GradientColour(COLORREF colour, int distance, int g)
{
    if (g <= 0) return colour;
    long long g2 = static_cast<long long>(g) * g;
    long long d2 = static_cast<long long>(distance) * distance;
    auto fade = [&](int component) { return static_cast<BYTE>(component - component * d2 / g2); };
    return RGB(fade(GetRValue(colour)), fade(GetGValue(colour)), fade(GetBValue(colour)));
}

void FillCaptionGradient(HDC dc, int width, int height, COLORREF colour)
{
    int g = width * 5 / 6;
    int stripe = std::max(1, g / 64);
    FillSolid(dc, RECT{g, 0, width, height}, colour);
    int x = g;
    int distance = 0;
    while (stripe < x) {
        x -= stripe;
        distance += stripe;
        FillSolid(dc, RECT{x, 0, x + stripe, height}, GradientColour(colour, distance, g));
    }
    FillSolid(dc, RECT{0, 0, x, height}, RGB(0, 0, 0));
}

COLORREF ActiveTitleColour(COLORREF textColour)
{
    int r = GetRValue(textColour), g = GetGValue(textColour), b = GetBValue(textColour);
    int lightness = ((std::max({r, g, b}) + std::min({r, g, b})) * 240 + 255) / 510;
    return lightness < 90 ? RGB(255, 255, 255) : textColour;
}

void PaintGradientCaption(HWND frame, const CaptionPaintRequest& request, HFONT font)
{
    HDC dc = request.dc;
    int width = request.size.cx, height = request.size.cy;
    if (request.active)
        FillCaptionGradient(dc, width, height, GetSysColor(COLOR_ACTIVECAPTION));
    else
        FillSolid(dc, RECT{0, 0, width, height}, GetSysColor(COLOR_INACTIVECAPTION));

    int iconSize = std::min(GetSystemMetrics(SM_CYSIZE) - 1, height - 2);
    int textLeft = 2;
    if (HICON icon = SmallIcon(frame)) {
        DrawIconEx(dc, 2, (height - iconSize) / 2, icon, iconSize, iconSize, 0, nullptr, DI_NORMAL);
        textLeft = 2 + iconSize;
    }
    CaptionButton buttons[3];
    int count = CaptionButtons(frame, request.size, buttons);
    int textRight = width;
    for (int i = 0; i < count; ++i) {
        DrawFrameControl(dc, &buttons[i].rect, DFC_CAPTION, buttons[i].kind);
        textRight = buttons[i].rect.left;
    }

    char title[256] = " ";
    GetWindowTextA(frame, title + 1, sizeof(title) - 1);
    HGDIOBJ previous = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, request.active ? ActiveTitleColour(GetSysColor(COLOR_CAPTIONTEXT))
                                    : GetSysColor(COLOR_INACTIVECAPTIONTEXT));
    RECT text{textLeft, 0, std::max(textLeft, textRight - 2), height};
    DrawTextA(dc, title, -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS | DT_NOPREFIX);
    SelectObject(dc, previous);
}

CCaptionPainter::~CCaptionPainter()
{
    DropBitmaps();
    if (font_) DeleteObject(font_);
}

bool CCaptionPainter::Install(HWND frame, UINT notification)
{
    notification_ = notification;
    return HookWindow(frame);
}

void CCaptionPainter::DropBitmaps()
{
    for (HBITMAP& bitmap : bitmaps_) {
        if (bitmap) DeleteObject(bitmap);
        bitmap = nullptr;
    }
}

void CCaptionPainter::Invalidate()
{
    DropBitmaps();
    if (font_) DeleteObject(font_);
    font_ = nullptr;
}

HFONT CCaptionPainter::CaptionFont()
{
    if (!font_) {
        NONCLIENTMETRICSA metrics{};
        metrics.cbSize = sizeof(metrics);
        if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
            metrics.lfCaptionFont.lfWeight = FW_BOLD;
            font_ = CreateFontIndirectA(&metrics.lfCaptionFont);
        }
    }
    return font_ ? font_ : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

RECT CCaptionPainter::CaptionRect() const
{
    HWND window = Hooked();
    RECT outer{};
    GetWindowRect(window, &outer);
    OffsetRect(&outer, -outer.left, -outer.top);
    LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
    bool sizing = (style & WS_THICKFRAME) != 0;
    int cx = GetSystemMetrics(sizing ? SM_CXSIZEFRAME : SM_CXFIXEDFRAME);
    int cy = GetSystemMetrics(sizing ? SM_CYSIZEFRAME : SM_CYFIXEDFRAME);
    RECT caption{outer.left + cx, outer.top + cy, outer.right - cx, 0};
    caption.bottom = caption.top + GetSystemMetrics(SM_CYCAPTION) - 1;
    return caption;
}

HBITMAP CCaptionPainter::Render(bool active, SIZE size)
{
    HWND window = Hooked();
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size.cx, size.cy);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    if (!bitmap || !dc) {
        if (bitmap) DeleteObject(bitmap);
        if (dc) DeleteDC(dc);
        return nullptr;
    }
    HGDIOBJ previous = SelectObject(dc, bitmap);
    CaptionPaintRequest request{size, dc, active ? TRUE : FALSE};
    if (notification_) {
        SendMessageA(window, notification_, active ? 1 : 0, reinterpret_cast<LPARAM>(&request));
    } else {
        RECT area{0, 0, size.cx, size.cy};
        DrawCaption(window, dc, &area, DC_ICON | DC_TEXT | DC_GRADIENT | (active ? DC_ACTIVE : 0));
        CaptionButton buttons[3];
        int count = CaptionButtons(window, size, buttons);
        for (int i = 0; i < count; ++i) DrawFrameControl(dc, &buttons[i].rect, DFC_CAPTION, buttons[i].kind);
    }
    SelectObject(dc, previous);
    DeleteDC(dc);
    return bitmap;
}

HBITMAP CCaptionPainter::CaptionBitmap(bool active)
{
    HWND window = Hooked();
    if (!window || IsIconic(window)) return nullptr;
    RECT caption = CaptionRect();
    SIZE size{caption.right - caption.left, caption.bottom - caption.top};
    if (size.cx <= 0 || size.cy <= 0) return nullptr;
    if (size.cx != bitmapSize_.cx || size.cy != bitmapSize_.cy) {
        DropBitmaps();
        bitmapSize_ = size;
    }
    HBITMAP& bitmap = bitmaps_[active ? 1 : 0];
    if (!bitmap) bitmap = Render(active, size);
    return bitmap;
}

void CCaptionPainter::PaintCaption()
{
    HBITMAP bitmap = CaptionBitmap(active_);
    if (!bitmap) return;
    HWND window = Hooked();
    RECT caption = CaptionRect();
    HDC windowDc = GetWindowDC(window);
    HDC dc = CreateCompatibleDC(windowDc);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    BitBlt(windowDc, caption.left, caption.top, caption.right - caption.left, caption.bottom - caption.top, dc, 0, 0,
           SRCCOPY);
    SelectObject(dc, previous);
    DeleteDC(dc);
    ReleaseDC(window, windowDc);
}

LRESULT CCaptionPainter::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND window = Hooked();
    switch (message) {
    case WM_NCPAINT: {
        if (IsIconic(window)) return Default();
        // The rest of the frame is painted as usual, the caption left out, then ours.
        RECT outer{};
        GetWindowRect(window, &outer);
        RECT caption = CaptionRect();
        OffsetRect(&caption, outer.left, outer.top);
        HRGN region = CreateRectRgnIndirect(&outer);
        if (wParam > 1) CombineRgn(region, reinterpret_cast<HRGN>(wParam), nullptr, RGN_COPY);
        HRGN captionRegion = CreateRectRgnIndirect(&caption);
        CombineRgn(region, region, captionRegion, RGN_DIFF);
        DeleteObject(captionRegion);
        LRESULT result = Default(WM_NCPAINT, reinterpret_cast<WPARAM>(region), lParam);
        DeleteObject(region);
        PaintCaption();
        return result;
    }
    case WM_NCACTIVATE: {
        LRESULT result = Default();
        active_ = wParam && IsWindowEnabled(window);
        PaintCaption();
        return result;
    }
    case WM_SETTEXT: {
        LRESULT result = Default();
        DropBitmaps(); // the title is part of the pictures
        PaintCaption();
        return result;
    }
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE: {
        Invalidate();
        LRESULT result = Default();
        RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
        return result;
    }
    default:
        return Default();
    }
}
