#include "PropertySheet.h"

namespace win {

INT_PTR PropertyPage::OnPageMessage(UINT, WPARAM, LPARAM, bool&)
{
    return 0;
}

INT_PTR PropertyPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header && header->hwndFrom == Sheet()) {
            INT_PTR result = OnNotify(*header, handled);
            if (handled) return result;
        }
    }
    return OnPageMessage(message, wParam, lParam, handled);
}

INT_PTR PropertyPage::OnNotify(const NMHDR& header, bool& handled)
{
    LONG_PTR answer = 0;
    switch (header.code) {
    case PSN_SETACTIVE:
        answer = OnSetActive() ? 0 : -1;
        break;
    case PSN_KILLACTIVE:
        answer = OnKillActive() ? FALSE : TRUE;
        break;
    case PSN_APPLY:
        answer = OnApply() ? PSNRET_NOERROR : PSNRET_INVALID;
        break;
    case PSN_RESET:
        OnReset();
        break;
    case PSN_HELP:
        OnHelp();
        break;
    default:
        return 0;
    }
    SetWindowLongPtrA(Handle(), DWLP_MSGRESULT, answer);
    handled = true;
    return TRUE;
}

INT_PTR CALLBACK PropertyPage::PageProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        // The sheet passes its copy of the PROPSHEETPAGEA; its lParam is the page object.
        const auto* sheetPage = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
        auto* page = reinterpret_cast<PropertyPage*>(sheetPage->lParam);
        page->instance_ = sheetPage->hInstance;
        lParam = reinterpret_cast<LPARAM>(static_cast<Dialog*>(page));
    }
    return Dialog::Procedure(hwnd, message, wParam, lParam);
}

PropertySheetDialog::PropertySheetDialog(HINSTANCE instance, const char* caption, DWORD flags)
    : instance_(instance), caption_(caption), flags_(flags)
{
}

void PropertySheetDialog::AddPage(PropertyPage& page, DWORD pageFlags)
{
    AddPage(page.TemplateId(), &PropertyPage::PageProcedure, reinterpret_cast<LPARAM>(&page), pageFlags);
}

void PropertySheetDialog::AddPage(UINT templateId, DLGPROC procedure, LPARAM param, DWORD pageFlags, const char* title)
{
    PROPSHEETPAGEA page = {};
    page.dwSize = sizeof(page);
    page.dwFlags = pageFlags | (title ? PSP_USETITLE : 0);
    page.hInstance = instance_;
    page.pszTemplate = MAKEINTRESOURCEA(templateId);
    page.pszTitle = title;
    page.pfnDlgProc = procedure;
    page.lParam = param;
    pages_.push_back(page);
}

INT_PTR PropertySheetDialog::Show(HWND parent, DWORD extraFlags)
{
    // Only classes comctl32 4.71 (Internet Explorer 4.0) knows: an unknown bit fails the whole
    // call there, and nothing is registered. Buttons and edits are USER32's own.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_UPDOWN_CLASS | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_PROPSHEETPAGE | flags_ | extraFlags;
    header.hwndParent = parent;
    header.hInstance = instance_;
    header.pszCaption = caption_;
    header.nPages = static_cast<UINT>(pages_.size());
    header.nStartPage = 0;
    header.ppsp = pages_.data();
    // A modal sheet enables its parent when it ends, whatever the parent's state was before.
    // A parent that another modal dialog keeps disabled (Options opened from Create ERD's
    // confirmation) stays disabled until that dialog ends.
    const bool parentWasDisabled = parent && !((flags_ | extraFlags) & PSH_MODELESS) && !IsWindowEnabled(parent);
    INT_PTR result = PropertySheetA(&header);
    if (parentWasDisabled) EnableWindow(parent, FALSE);
    return result;
}

INT_PTR PropertySheetDialog::Run(HWND parent)
{
    return Show(parent, 0);
}

HWND PropertySheetDialog::CreateModeless(HWND parent)
{
    INT_PTR result = Show(parent, PSH_MODELESS);
    return result == -1 ? nullptr : reinterpret_cast<HWND>(result);
}

} // namespace win
