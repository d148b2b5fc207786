// The console's main window: the frame base with its placement kept in the per-user
// profile, and the main frame with its one-pane status bar.
#pragma once
#include "CaptionPainter.h"
#include "Frame.h"
#include "MenuPainter.h"
#include "TextToolBar.h"

#include <windows.h>

constexpr char kViewSettingsSection[] = "View Settings";
// The caption painter's message to the frame: paint the caption into the record's bitmap.
constexpr UINT kPaintCaptionMessage = WM_USER + 5;

class CAppFrameWnd : public win::FrameWindow {
public:
    // Reads "SaveOnExit" from the profile (the profile key must be set by then).
    CAppFrameWnd();
    // Writes "SaveOnExit" back.
    ~CAppFrameWnd() override;

    // The normal-position rectangle and show state from the profile, and textLabels; true
    // when a usable rectangle was saved. A rectangle of the wrong form counts as none.
    virtual bool LoadPlacement(WINDOWPLACEMENT& placement);
    virtual void SavePlacement();

    // Shows the window where it was last closed, or centred and maximized the first time;
    // a placement off every monitor is moved onto the work area. The toolbar goes back to
    // the side it was docked at, or floats where it floated.
    void ActivateFrame();

    bool TextLabels() const noexcept { return textLabels_ != 0; }
    CTextToolBar& TextToolBar() noexcept { return textToolBar_; }
    CMenuPainter& MenuPainter() noexcept { return menuPainter_; }
    CCaptionPainter& CaptionPainter() noexcept { return captionPainter_; }
    bool SaveOnExit() const noexcept { return saveOnExit_ != 0; }

protected:
    // Icons, caption painter, menu pictures and the toolbar's labels.
    bool OnCreateFrame() override;
    void OnDestroyFrame() override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void LayoutToolbar(RECT& area) override;
    void RestoreToolbar();

    CMenuPainter menuPainter_;
    CTextToolBar textToolBar_;
    CCaptionPainter captionPainter_;
    int saveOnExit_ = 1;
    int textLabels_ = 1;
    // Where the toolbar was: a docked side, or floating with its window's top-left corner.
    int toolbarSide_ = CTextToolBar::kDockTop;
    bool toolbarFloating_ = false;
    POINT toolbarCorner_{};
};

class CMainFrame final : public CAppFrameWnd {
public:
    CMainFrame();

protected:
    bool OnCreateFrame() override;
    // Shift+F1's answers: a command's topic, or the list's (the main window's topic).
    void ShowContextHelp(DWORD helpId) override;
    DWORD ViewHelpId() const override;
};
