// A single-document window in the manner of the classic frameworks: a document with its
// views, and a frame window with menu, accelerators, toolbar and a one-pane status bar
// showing each command's prompt. Commands are routed view -> document -> frame ->
// application; menu items and toolbar buttons follow the commands' update rules.
#pragma once
#include "Command.h"
#include "Window.h"

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace win {

class Document;

// A child window that shows a document. The frame lays it out in its client area and hands
// it the notifications and owner-draw messages its control sends to its parent.
class View : public CommandTarget {
public:
    static constexpr UINT kPaneId = 59648; // the view's control id in its frame

    // Creates the view's window as a child of `parent`; false (last error kept) on failure.
    virtual bool CreateView(HINSTANCE instance, HWND parent) = 0;
    virtual HWND Handle() const = 0;
    // The document changed: show it again.
    virtual void OnUpdate() = 0;
    // A message the view's control sent to the frame (WM_NOTIFY, WM_DRAWITEM,
    // WM_MEASUREITEM); set `handled` to answer it.
    virtual LRESULT OnParentMessage(UINT, WPARAM, LPARAM, bool& handled)
    {
        handled = false;
        return 0;
    }
    Document* GetDocument() const noexcept { return document_; }

private:
    friend class Document;
    Document* document_ = nullptr;
};

class Document : public CommandTarget {
public:
    void AddView(View* view);
    void RemoveView(View* view);
    const std::vector<View*>& Views() const noexcept { return views_; }
    // Every view but `sender` shows the document again.
    void UpdateAllViews(View* sender = nullptr);

    const std::string& Title() const noexcept { return title_; }
    void SetTitle(const std::string& title);
    // Called when the title changes (the frame puts it into its caption).
    std::function<void()> titleChanged;

private:
    std::vector<View*> views_;
    std::string title_;
};

// A toolbar resource: the pictures' size and the command of each slot (0 for a separator).
struct ToolbarLayout {
    int width = 0;
    int height = 0;
    std::vector<UINT> commands;
};
// False (last error kept) when the resource is missing or too short.
bool LoadToolbarLayout(HINSTANCE instance, UINT resourceId, ToolbarLayout& layout);

// "Application - Document", or the application title alone while the document's title is
// empty or the framework's untitled text.
std::string FrameTitle(const std::string& applicationTitle, const std::string& documentTitle,
                       const std::string& untitledText);

class FrameWindow : public Window, public CommandTarget {
public:
    static constexpr UINT kToolbarId = 59392;   // also the Toolbar command
    static constexpr UINT kStatusBarId = 59393; // also the Status Bar command
    static constexpr UINT kExitCommand = 57665;
    static constexpr UINT kContextHelpCommand = 57669; // Shift+F1: the context-help mode
    static constexpr DWORD kCommandHelpBase = 0x10000;  // a command's topic: its id + this

    FrameWindow();
    ~FrameWindow() override;

    // Creates the frame from resource `resourceId` (menu, accelerators, icon, toolbar and
    // its bitmap) around `view` showing `document`. False (last error kept) on failure,
    // and then no window is left.
    bool CreateFrame(HINSTANCE instance, UINT resourceId, const char* applicationTitle, Document& document,
                     View& view);

    HACCEL Accelerators() const noexcept { return accelerators_; }
    HWND Toolbar() const noexcept { return toolbar_; }
    HWND StatusBar() const noexcept { return statusBar_; }
    View* ActiveView() const noexcept { return view_; }
    Document* ActiveDocument() const noexcept { return document_; }

    // Runs `id` along view, document, frame and application; false when none handles it.
    bool RouteCommand(UINT id);
    CommandState CommandStateOf(UINT id);
    // Brings the toolbar's buttons up to date (the message loop calls it when idle).
    void UpdateCommandUi();
    // Shows a command's prompt in the status bar (0: the idle text).
    void ShowPrompt(UINT id);
    std::string StatusText() const;
    void UpdateTitle();

    // The application object's commands, routed after the frame's.
    void SetApplicationTarget(const CommandTarget* target) noexcept { application_ = target; }

    // Whether destroying the frame ends the message loop (the program's main window does).
    void SetQuitOnDestroy(bool on) noexcept { quitOnDestroy_ = on; }

    // Runs the message loop with the frame's accelerators and idle updates until WM_QUIT.
    int Run();

    // The context-help mode (Shift+F1): the help cursor until the next click. A click on a
    // toolbar button or a chosen menu item gives that command's topic (its id +
    // kCommandHelpBase), a click on the view the view's topic; Esc, a right click or a click
    // elsewhere leaves the mode with nothing shown. Returns the topic shown (0: none).
    DWORD RunContextHelpMode();
    bool InContextHelpMode() const noexcept { return contextHelp_; }

protected:
    // After the frame's bars exist; false makes the creation fail.
    virtual bool OnCreateFrame() { return true; }
    // Just before the window goes (placement still readable).
    virtual void OnDestroyFrame() {}
    // Messages the frame does not handle itself.
    virtual LRESULT OnFrameMessage(UINT, WPARAM, LPARAM, bool& handled)
    {
        handled = false;
        return 0;
    }
    // Shows topic `helpId` chosen in the context-help mode; the view's topic is ViewHelpId().
    virtual void ShowContextHelp(DWORD) {}
    virtual DWORD ViewHelpId() const { return 0; }
    void SetIdleText(const std::string& text);
    void RecalcLayout();
    // Places the docked toolbar and takes its room from `area` (the client area left for the
    // view); by default along the top. A floating toolbar takes no room.
    virtual void LayoutToolbar(RECT& area);

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    bool CreateToolbar(UINT resourceId);
    LRESULT OnNotify(NMHDR* header, bool& handled);
    void ToggleBar(HWND bar);

    UINT resourceId_ = 0;
    std::string applicationTitle_;
    HACCEL accelerators_ = nullptr;
    HICON icon_ = nullptr;
    HWND toolbar_ = nullptr;
    HWND statusBar_ = nullptr;
    HIMAGELIST toolbarImages_ = nullptr;
    std::string idleText_;
    Document* document_ = nullptr;
    View* view_ = nullptr;
    const CommandTarget* application_ = nullptr;
    bool quitOnDestroy_ = true;
    bool contextHelp_ = false;
    UINT helpCommand_ = 0; // a command chosen from a menu in the context-help mode
};

} // namespace win
