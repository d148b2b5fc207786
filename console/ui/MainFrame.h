// The console's main window: the frame base with its placement kept in the per-user
// profile, and the main frame with its one-pane status bar.
#pragma once
#include "Frame.h"

#include <windows.h>

constexpr char kViewSettingsSection[] = "View Settings";

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
    // a placement off every monitor is moved onto the work area.
    void ActivateFrame();

    bool TextLabels() const noexcept { return textLabels_ != 0; }
    bool SaveOnExit() const noexcept { return saveOnExit_ != 0; }

protected:
    void OnDestroyFrame() override;

    int saveOnExit_ = 1;
    int textLabels_ = 1;
};

class CMainFrame final : public CAppFrameWnd {
public:
    CMainFrame();

protected:
    bool OnCreateFrame() override;
};
