#include "HelpSupportPage.h"

#include "ShowHelp.h"

namespace {

constexpr uint16_t kNoControlId = 0xFFFF;

uint16_t ControlId(HWND window)
{
    return static_cast<uint16_t>(GetWindowLongPtrA(window, GWLP_ID) & 0xFFFF);
}

// A "Button" of style type 7 or more: a group box (or an owner-drawn button).
bool IsGroupBox(HWND window)
{
    char name[16] = {};
    GetClassNameA(window, name, sizeof(name));
    return lstrcmpiA(name, "Button") == 0 && (GetWindowLongPtrA(window, GWL_STYLE) & 0xF) >= 7;
}

// A point near the bottom left of a control, where its popup goes when asked from the keyboard.
POINT BelowControl(HWND control)
{
    RECT rect = {};
    GetWindowRect(control, &rect);
    return POINT{rect.left + 8, rect.bottom + 2};
}

} // namespace

// ---- HelpIdMap ------------------------------------------------------------------------------

HelpIdMap::Entry* HelpIdMap::NewEntry()
{
    if (usedInBlock_ == kBlockSize) {
        blocks_.push_back(std::make_unique<Entry[]>(kBlockSize));
        usedInBlock_ = 0;
    }
    return &blocks_.back()[usedInBlock_++];
}

void HelpIdMap::Set(uint16_t controlId, uint32_t helpId)
{
    Entry*& head = buckets_[Bucket(controlId)];
    for (Entry* entry = head; entry; entry = entry->next) {
        if (entry->key == controlId) {
            entry->value = helpId;
            return;
        }
    }
    Entry* entry = NewEntry();
    entry->key = controlId;
    entry->value = helpId;
    entry->next = head;
    head = entry;
    ++count_;
}

uint32_t HelpIdMap::Find(uint16_t controlId) const
{
    for (const Entry* entry = buckets_[Bucket(controlId)]; entry; entry = entry->next)
        if (entry->key == controlId) return entry->value;
    return 0;
}

void HelpIdMap::Clear()
{
    for (Entry*& head : buckets_) head = nullptr;
    blocks_.clear();
    usedInBlock_ = kBlockSize;
    count_ = 0;
}

// ---- CHelpSupportPage -----------------------------------------------------------------------

BOOL CHelpSupportPage::OnInitDialog()
{
    HWND sheet = Sheet();
    SetWindowLongPtrA(sheet, GWL_EXSTYLE, GetWindowLongPtrA(sheet, GWL_EXSTYLE) | WS_EX_CONTEXTHELP);
    SetWindowPos(sheet, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    SetupHelpIds();
    return TRUE;
}

void CHelpSupportPage::SetupHelpIds()
{
    for (HWND child = GetWindow(Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        uint16_t id = ControlId(child);
        // Labels and group boxes have no id of their own (0, or -1 cut to 16 bits).
        if (id == 0 || id == kNoControlId) continue;
        helpIds_.Set(id, id + kHelpControlBase);
    }
}

uint32_t CHelpSupportPage::GetHelpId(HWND window) const
{
    if (!window) return 0;
    uint16_t id = ControlId(window);
    if (id == kNoControlId && !IsGroupBox(window)) {
        HWND next = GetWindow(window, GW_HWNDNEXT);
        id = next ? ControlId(next) : kNoControlId;
    }
    return helpIds_.Find(id);
}

uint32_t CHelpSupportPage::HelpIdAt(POINT screenPoint) const
{
    for (HWND child = GetWindow(Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rect = {};
        if (!IsWindowVisible(child) || !GetWindowRect(child, &rect) || !PtInRect(&rect, screenPoint)) continue;
        uint16_t id = ControlId(child);
        if (id != kNoControlId) return helpIds_.Find(id);
        if (IsGroupBox(child)) continue; // the control inside the box is found further on
        HWND next = GetWindow(child, GW_HWNDNEXT);
        return next ? helpIds_.Find(ControlId(next)) : 0;
    }
    return 0;
}

void CHelpSupportPage::ShowPopupAt(uint32_t helpId, POINT at) const
{
    if (helpId) ShowHelp(helpId, kHelpContextPopup, Handle(), &at);
}

void CHelpSupportPage::OnHelpMessage(const HELPINFO& info)
{
    HWND focus = GetFocus();
    HWND item = static_cast<HWND>(info.hItemHandle);
    // From the mouse ("?" clicked on a label, or the focus outside the page): the control at
    // the point.
    if (!focus || !IsChild(Handle(), focus) || item == Handle()) {
        ShowPopupAt(HelpIdAt(info.MousePos), info.MousePos);
        return;
    }
    // A part of a control (the edit field of a combo box) stands for its control.
    while (item && GetParent(item) && GetParent(item) != Handle()) item = GetParent(item);
    // Asked with "?" the popup shows where the click was; with F1 below the control.
    RECT rect = {};
    bool clicked = item && GetWindowRect(item, &rect) && PtInRect(&rect, info.MousePos);
    ShowPopupAt(GetHelpId(item), clicked || !item ? info.MousePos : BelowControl(item));
}

INT_PTR CHelpSupportPage::OnPageMessage(UINT message, WPARAM, LPARAM lParam, bool& handled)
{
    switch (message) {
    case WM_HELP:
        if (const auto* info = reinterpret_cast<const HELPINFO*>(lParam)) OnHelpMessage(*info);
        handled = true;
        return TRUE;
    case WM_CONTEXTMENU: {
        POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        ShowPopupAt(HelpIdAt(at), at);
        handled = true;
        return TRUE;
    }
    default:
        return 0;
    }
}

void CHelpSupportPage::OnHelp()
{
    ShowHelp(TemplateId() + kHelpTopicBase, kHelpContext, Sheet());
}
