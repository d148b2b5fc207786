// The main window's toolbar with optional text labels under its pictures, a gripper while
// it is docked, and a small window of its own while it floats.
#pragma once
#include "SubclassWnd.h"
#include "Window.h"

#include <windows.h>

#include <functional>

class CTextToolBar : public CSubclassWnd {
public:
    static constexpr int kGripperRoom = 5;   // extra room before the first button when docked
    static constexpr int kDockedBorder = 6;  // the docked bar's own left border

    CTextToolBar();
    ~CTextToolBar() override;

    // Takes a toolbar control whose buttons are loaded: measures the largest button without
    // labels, gives each button the last "\n" piece of its command's string-table text,
    // measures the largest button with labels, and hides the labels again.
    bool LoadToolBar(HWND toolbar, HINSTANCE instance);
    // Shows or hides the labels; a floating toolbar stays at its screen position.
    void ShowTextLabels(bool show);

    bool LabelsShown() const noexcept { return labelsShown_; }
    SIZE SizeWithText() const noexcept { return sizeWithText_; }
    SIZE SizeNoText() const noexcept { return sizeNoText_; }
    // The label of a command's button ("" when it has none).
    std::string Label(UINT command) const;

    // The frame's sides a docked toolbar lies along: horizontal at the top or bottom,
    // vertical (one button a row) at the left or right.
    enum DockSide : int { kDockTop = 0, kDockBottom = 1, kDockLeft = 2, kDockRight = 3 };

    // Moves the toolbar into a small window of its own whose top-left corner is `screen`.
    bool Float(POINT screen);
    // Puts a floating toolbar back on the side it was last docked at.
    void Dock();
    // Docks the toolbar (floating or docked) on `side` of its frame.
    void DockAt(DockSide side);
    bool IsFloating() const noexcept { return floating_ != nullptr; }
    HWND FloatingWindow() const noexcept;
    DockSide Side() const noexcept { return side_; }
    // Floating now, or floating when the frame closed (its window went first); and where.
    bool Floated() const noexcept { return floating_ != nullptr || floatedAtClose_; }
    RECT FloatingRect() const noexcept { return floatRect_; }
    bool IsVertical() const noexcept { return !IsFloating() && (side_ == kDockLeft || side_ == kDockRight); }

    // Where a toolbar dragged by its gripper and let go at `screen` goes: the side of the
    // frame's client area whose edge is within kDockReach pixels (false), else floating
    // (true) at `screen` less the grip's offset.
    static constexpr int kDockReach = 24;
    bool DropTarget(POINT screen, DockSide& side) const;

    // The frame's layout: a bar docked at the bottom or a side is placed along that side of
    // `area`, which loses its room; false for the top (the frame's own layout) and floating.
    bool Layout(RECT& area);

    // Called when the frame must lay itself out again (labels toggled, docked, floated).
    std::function<void()> layoutChanged;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    class FloatingFrame;
    SIZE LargestButton() const;
    void ApplyButtonSize();
    void ApplyOrientation();
    void FitFloatingFrame();
    void DrawGripper();
    void Relayout();
    bool InGripper(POINT client) const;
    void EndDrag(POINT screen);
    void DrawDragFrame(POINT screen);

    HWND toolbar_ = nullptr;
    HWND frame_ = nullptr;
    bool labelsShown_ = true;
    SIZE sizeWithText_{};
    SIZE sizeNoText_{};
    int lastButtonCount_ = 0;
    FloatingFrame* floating_ = nullptr;
    FloatingFrame* retired_ = nullptr; // a floating window the frame's close destroyed
    bool floatedAtClose_ = false;
    RECT floatRect_{};
    DockSide side_ = kDockTop;
    bool dragging_ = false;
    POINT grip_{};          // where the gripper was taken, relative to the bar's corner
    RECT dragFrame_{};      // the outline drawn while dragging (empty: none drawn)
};
