#include "Command.h"

#include <commctrl.h>

#include <string>

#include "WindowsVersion.h"

namespace win {

bool CommandTarget::Execute(UINT id) const
{
    auto found = handlers_.find(id);
    if (found == handlers_.end()) return false;
    found->second();
    return true;
}

bool CommandTarget::Update(CommandState& state) const
{
    auto found = rules_.find(state.id);
    if (found == rules_.end()) return false;
    found->second(state);
    return true;
}

bool RouteCommand(const std::vector<const CommandTarget*>& targets, UINT id)
{
    for (const CommandTarget* target : targets)
        if (target && target->Execute(id)) return true;
    return false;
}

CommandState RouteUpdate(const std::vector<const CommandTarget*>& targets, UINT id)
{
    CommandState state;
    state.id = id;
    for (const CommandTarget* target : targets)
        if (target && target->Update(state)) return state;
    state.enabled = false;
    for (const CommandTarget* target : targets)
        if (target && target->Handles(id)) state.enabled = true;
    return state;
}

UINT MenuItemTypeMask(bool withText) noexcept
{
    static const bool split = IsNtVersionAtLeast(5, 0);
    if (!split) return MIIM_TYPE;
    return withText ? (MIIM_FTYPE | MIIM_STRING) : MIIM_FTYPE; // NT 4.0 guard: Windows 2000 and later
}

void UpdateMenuItems(HMENU menu, const std::function<CommandState(UINT)>& stateOf)
{
    const UINT typeMask = MenuItemTypeMask(false);
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[256] = "";
        MENUITEMINFOA info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_SUBMENU | typeMask;
        info.dwTypeData = text;
        info.cch = sizeof(text);
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info)) continue;
        if (info.hSubMenu || (info.fType & MFT_SEPARATOR) || info.wID == 0) continue;
        CommandState state = stateOf(info.wID);
        MENUITEMINFOA change{};
        change.cbSize = sizeof(change);
        change.fMask = MIIM_STATE | typeMask;
        // With MIIM_TYPE the text (or an owner-drawn item's data) is written with the flags.
        change.dwTypeData = info.dwTypeData;
        change.cch = info.cch;
        change.fType = (info.fType & ~MFT_RADIOCHECK) | (state.radio ? MFT_RADIOCHECK : 0);
        change.fState = (state.enabled ? MFS_ENABLED : MFS_GRAYED) | ((state.checked || state.radio) ? MFS_CHECKED : 0);
        SetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &change);
    }
}

void UpdateToolbarButtons(HWND toolbar, const std::function<CommandState(UINT)>& stateOf)
{
    int count = static_cast<int>(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TBBUTTON button{};
        if (!SendMessageA(toolbar, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&button))) continue;
        if (button.fsStyle & BTNS_SEP) continue;
        CommandState state = stateOf(static_cast<UINT>(button.idCommand));
        SendMessageA(toolbar, TB_ENABLEBUTTON, static_cast<WPARAM>(button.idCommand), MAKELPARAM(state.enabled, 0));
        SendMessageA(toolbar, TB_CHECKBUTTON, static_cast<WPARAM>(button.idCommand), MAKELPARAM(state.checked, 0));
    }
}

std::string CommandText(HINSTANCE instance, UINT id, int index)
{
    char text[512];
    int length = LoadStringA(instance, id, text, sizeof(text));
    if (length <= 0) return {};
    std::string all(text, static_cast<size_t>(length));
    size_t start = 0;
    for (int piece = 0; piece < index; ++piece) {
        size_t next = all.find('\n', start);
        if (next == std::string::npos) return {};
        start = next + 1;
    }
    return all.substr(start, all.find('\n', start) - start);
}

} // namespace win
