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

    // Moves the toolbar into a small window of its own whose top-left corner is `screen`.
    bool Float(POINT screen);
    // Puts a floating toolbar back at the top of its frame.
    void Dock();
    bool IsFloating() const noexcept { return floating_ != nullptr; }
    HWND FloatingWindow() const noexcept;

    // Called when the frame must lay itself out again (labels toggled, docked, floated).
    std::function<void()> layoutChanged;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    class FloatingFrame;
    SIZE LargestButton() const;
    void ApplyButtonSize();
    void FitFloatingFrame();
    void DrawGripper();
    void Relayout();

    HWND toolbar_ = nullptr;
    HWND frame_ = nullptr;
    bool labelsShown_ = true;
    SIZE sizeWithText_{};
    SIZE sizeNoText_{};
    int lastButtonCount_ = 0;
    FloatingFrame* floating_ = nullptr;
};
