// Subclassing of any window by C++ objects: each hook sees a window's messages before the
// window's own procedure, several hooks may sit on one window (the newest first), and each
// passes a message on with Default.
#pragma once
#include <windows.h>

class CSubclassWnd {
public:
    CSubclassWnd() = default;
    virtual ~CSubclassWnd();
    CSubclassWnd(const CSubclassWnd&) = delete;
    CSubclassWnd& operator=(const CSubclassWnd&) = delete;

    // Puts this hook at the head of `window`'s chain (after leaving any window it hooked);
    // nullptr unhooks. False (last error kept) when the window procedure cannot be replaced.
    bool HookWindow(HWND window);
    HWND Hooked() const noexcept { return window_; }

protected:
    // One message of the hooked window; by default passed on unchanged.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Passes the message being handled to the next hook, or to the window's own procedure.
    LRESULT Default();
    // The same with other parameters (a changed update region, for example).
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK HookProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Unhook();

    HWND window_ = nullptr;
    CSubclassWnd* next_ = nullptr;
};
