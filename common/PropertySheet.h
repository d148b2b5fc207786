// Property sheets and their pages on the plain Win32 API. A PropertyPage is a win::Dialog
// whose window the sheet makes; the sheet's notifications (set active, apply, help, ...) reach
// it as virtual calls. PropertySheet gathers the pages, object pages or pages with a dialog
// procedure of their own, and runs the sheet modally or creates it modeless.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <vector>

#include "Window.h"

namespace win {

class PropertyPage : public Dialog {
public:
    explicit PropertyPage(UINT templateId) : templateId_(templateId) {}

    UINT TemplateId() const noexcept { return templateId_; }
    // The sheet that holds the page.
    HWND Sheet() const noexcept { return GetParent(Handle()); }

protected:
    // PSN_SETACTIVE: true lets the page become active.
    virtual bool OnSetActive() { return true; }
    // PSN_KILLACTIVE: true lets the page be left.
    virtual bool OnKillActive() { return true; }
    // PSN_APPLY (OK or Apply): false refuses the change; the sheet stays open on this page.
    virtual bool OnApply() { return true; }
    // PSN_RESET (Cancel).
    virtual void OnReset() {}
    // PSN_HELP: the sheet's Help button.
    virtual void OnHelp() {}
    // Any other message of the page.
    virtual INT_PTR OnPageMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) final;

private:
    friend class PropertySheetDialog;
    static INT_PTR CALLBACK PageProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnNotify(const NMHDR& header, bool& handled);

    UINT templateId_;
};

class PropertySheetDialog {
public:
    // `flags` adds PSH_* flags (PSH_NOAPPLYNOW, PSH_HASHELP, PSH_WIZARD, ...).
    PropertySheetDialog(HINSTANCE instance, const char* caption, DWORD flags = 0);

    // A page object; it must outlive the sheet's window.
    void AddPage(PropertyPage& page, DWORD pageFlags = 0);
    // A page with a dialog procedure of its own, which receives `param` as the lParam of the
    // PROPSHEETPAGEA that comes with WM_INITDIALOG.
    void AddPage(UINT templateId, DLGPROC procedure, LPARAM param, DWORD pageFlags = 0,
                 const char* title = nullptr);

    // PropertySheetA, modal: its result (-1 when the sheet could not be made).
    INT_PTR Run(HWND parent);
    // PropertySheetA, modeless: the sheet's window or NULL. The caller pumps its messages;
    // PropSheet_GetCurrentPageHwnd gives NULL once OK or Cancel has closed it.
    HWND CreateModeless(HWND parent);

private:
    INT_PTR Show(HWND parent, DWORD extraFlags);

    HINSTANCE instance_;
    const char* caption_;
    DWORD flags_;
    std::vector<PROPSHEETPAGEA> pages_;
};

} // namespace win
