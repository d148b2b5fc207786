// Commands of a window program: each target keeps one map from command id to handler and
// one from command id to update rule, and a frame routes a command along its targets.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace win {

// What the update rule of one command says: enabled, ticked, radio-bulleted.
struct CommandState {
    UINT id = 0;
    bool enabled = true;
    bool checked = false;
    bool radio = false;
};

class CommandTarget {
public:
    using Handler = std::function<void()>;
    using UpdateRule = std::function<void(CommandState&)>;

    virtual ~CommandTarget() = default;

    // The one place where a command of this target maps to its handler and its rule.
    void MapCommand(UINT id, Handler handler) { handlers_[id] = std::move(handler); }
    void MapUpdate(UINT id, UpdateRule rule) { rules_[id] = std::move(rule); }

    bool Handles(UINT id) const { return handlers_.count(id) != 0; }
    // False when this target has no handler for `id`.
    bool Execute(UINT id) const;
    // False when this target has no update rule for `state.id`.
    bool Update(CommandState& state) const;

private:
    std::map<UINT, Handler> handlers_;
    std::map<UINT, UpdateRule> rules_;
};

// Routes along `targets` in order (null entries skipped). The first target with a handler
// runs it. For the state, the first target with an update rule decides; without one a
// command is enabled exactly when some target handles it.
bool RouteCommand(const std::vector<const CommandTarget*>& targets, UINT id);
CommandState RouteUpdate(const std::vector<const CommandTarget*>& targets, UINT id);

// The mask bits that read or write a menu item's type flags (and, with `withText`, its
// text): MIIM_FTYPE and MIIM_STRING where the system knows them (Windows 2000 and later);
// on Windows NT 4.0 MIIM_TYPE, which carries the flags and the text together, so that a
// write of the flags there must hand the item's text (or data) back as well.
UINT MenuItemTypeMask(bool withText) noexcept;

// Applies the states to every command item of a popup menu.
void UpdateMenuItems(HMENU menu, const std::function<CommandState(UINT)>& stateOf);
// Applies the states to every button of a toolbar control.
void UpdateToolbarButtons(HWND toolbar, const std::function<CommandState(UINT)>& stateOf);

// Piece `index` of a command's string-table text "prompt\ntooltip\nlabel"; empty when absent.
std::string CommandText(HINSTANCE instance, UINT id, int index);

} // namespace win
