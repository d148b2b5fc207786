// Paints a frame window's caption: the caption is drawn once per active state into an
// off-screen bitmap (by the frame, answering a notification message, or in the system's
// own look) and copied onto the window whenever the caption must be shown.
#pragma once
#include "SubclassWnd.h"

#include <windows.h>

// What the frame gets with the notification message (wParam: the active state).
struct CaptionPaintRequest {
    SIZE size;
    HDC dc;
    BOOL active;
};

class CCaptionPainter : public CSubclassWnd {
public:
    CCaptionPainter() = default;
    ~CCaptionPainter() override;

    // Hooks `frame`; with `notification` 0 the system's own caption look is used.
    bool Install(HWND frame, UINT notification);
    // Drops the cached bitmaps and the font; the next paint makes them again.
    void Invalidate();
    // The caption's rectangle in window coordinates (inside the sizing or fixed frame).
    RECT CaptionRect() const;
    // The cached picture of the caption in that state, made when missing (null when iconic).
    HBITMAP CaptionBitmap(bool active);
    // The bold caption font of the non-client metrics.
    HFONT CaptionFont();
    void PaintCaption();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void DropBitmaps();
    HBITMAP Render(bool active, SIZE size);

    UINT notification_ = 0;
    HBITMAP bitmaps_[2] = {nullptr, nullptr}; // inactive, active
    SIZE bitmapSize_{};
    bool active_ = false;
    HFONT font_ = nullptr;
};

// The console's caption look, painted into `request.dc`:
// inactive, the inactive caption colour; active, the active caption colour from five sixths
// of the width to the right edge, darkening quadratically to black at the left; then the
// small icon, the caption buttons and the bold title.
void PaintGradientCaption(HWND frame, const CaptionPaintRequest& request, HFONT font);
// Fills the active caption's background (width x height) in `colour`.
void FillCaptionGradient(HDC dc, int width, int height, COLORREF colour);
// The colour of a stripe `distance` pixels left of G: each component less
// component x distance^2 / G^2.
COLORREF GradientColour(COLORREF colour, int distance, int g);
// The active title's colour: `textColour`, or white when its lightness (0 ... 240) is below 90.
COLORREF ActiveTitleColour(COLORREF textColour);
