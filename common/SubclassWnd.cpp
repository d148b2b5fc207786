#include "SubclassWnd.h"

#include <unordered_map>

namespace {

// One hooked window: its first hook and the procedure that was in place before.
struct Chain {
    CSubclassWnd* first = nullptr;
    WNDPROC original = nullptr;
};

std::unordered_map<HWND, Chain>& Chains()
{
    static std::unordered_map<HWND, Chain> chains(10);
    return chains;
}

// The message each hook of this thread is handling, for Default.
struct CurrentMessage {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};
thread_local CurrentMessage g_current;

} // namespace

CSubclassWnd::~CSubclassWnd()
{
    Unhook();
}

bool CSubclassWnd::HookWindow(HWND window)
{
    Unhook();
    if (!window) return true;
    auto& chains = Chains();
    auto found = chains.find(window);
    if (found == chains.end()) {
        SetLastError(ERROR_SUCCESS);
        auto original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CSubclassWnd::HookProcedure)));
        if (!original && GetLastError() != ERROR_SUCCESS) return false;
        found = chains.emplace(window, Chain{nullptr, original}).first;
    }
    next_ = found->second.first;
    found->second.first = this;
    window_ = window;
    return true;
}

void CSubclassWnd::Unhook()
{
    if (!window_) return;
    auto& chains = Chains();
    auto found = chains.find(window_);
    if (found != chains.end()) {
        CSubclassWnd** link = &found->second.first;
        while (*link && *link != this) link = &(*link)->next_;
        if (*link) *link = next_;
        bool ours = GetWindowLongPtrA(window_, GWLP_WNDPROC) ==
                    reinterpret_cast<LONG_PTR>(&CSubclassWnd::HookProcedure);
        // Another subclass put on after ours keeps our procedure, which then forwards.
        if (!found->second.first && ours) {
            SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(found->second.original));
            chains.erase(found);
        }
    }
    window_ = nullptr;
    next_ = nullptr;
}

LRESULT CSubclassWnd::WindowProc(UINT, WPARAM, LPARAM)
{
    return Default();
}

LRESULT CSubclassWnd::Default()
{
    return Default(g_current.message, g_current.wParam, g_current.lParam);
}

LRESULT CSubclassWnd::Default(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (next_) {
        CurrentMessage saved = g_current;
        g_current = CurrentMessage{message, wParam, lParam};
        LRESULT result = next_->WindowProc(message, wParam, lParam);
        g_current = saved;
        return result;
    }
    auto found = Chains().find(window_);
    WNDPROC original = found != Chains().end() ? found->second.original : nullptr;
    return original ? CallWindowProcA(original, window_, message, wParam, lParam)
                    : DefWindowProcA(window_, message, wParam, lParam);
}

LRESULT CALLBACK CSubclassWnd::HookProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto& chains = Chains();
    auto found = chains.find(window);
    if (found == chains.end()) return DefWindowProcA(window, message, wParam, lParam);
    WNDPROC original = found->second.original;
    if (message == WM_NCDESTROY) {
        // The window goes: every hook leaves it, and the first procedure sees the end.
        for (CSubclassWnd* hook = found->second.first; hook;) {
            CSubclassWnd* next = hook->next_;
            hook->window_ = nullptr;
            hook->next_ = nullptr;
            hook = next;
        }
        chains.erase(found);
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        return CallWindowProcA(original, window, message, wParam, lParam);
    }
    CSubclassWnd* first = found->second.first;
    if (!first) return CallWindowProcA(original, window, message, wParam, lParam);
    CurrentMessage saved = g_current;
    g_current = CurrentMessage{message, wParam, lParam};
    LRESULT result = 0;
    try {
        result = first->WindowProc(message, wParam, lParam);
    } catch (...) {
        result = CallWindowProcA(original, window, message, wParam, lParam);
    }
    g_current = saved;
    return result;
}
