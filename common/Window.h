// Thin window and dialog classes on the plain Win32 API, in the manner of WTL: one C++
// object per window, reached from the window procedure through the window's user data.
// No exception ever leaves a window procedure.
#pragma once
#include <windows.h>
#include "WaitCursor.h"
#include <functional>
#include <string>

namespace win {

// Text of a window or a dialog control.
std::string WindowText(HWND window);

// A modal or modeless dialog box built from a dialog template resource.
class Dialog {
public:
    Dialog() = default;
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; returns the value given to End, or -1 when it could not be made.
    INT_PTR DoModal(HINSTANCE instance, UINT templateId, HWND parent);
    // Creates the dialog modelessly; returns its window or NULL.
    HWND Create(HINSTANCE instance, UINT templateId, HWND parent);
    void Destroy();

    HWND Handle() const noexcept { return hwnd_; }
    HWND Item(int id) const noexcept { return GetDlgItem(hwnd_, id); }
    std::string ItemText(int id) const { return WindowText(Item(id)); }
    void SetItemText(int id, const char* text) const { SetDlgItemTextA(hwnd_, id, text); }
    bool IsChecked(int id) const { return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }
    void SetChecked(int id, bool on) const { CheckDlgButton(hwnd_, id, on ? BST_CHECKED : BST_UNCHECKED); }
    void EnableItem(int id, bool on) const { EnableWindow(Item(id), on ? TRUE : FALSE); }

    // Ends a modal dialog with `result`, or destroys a modeless one.
    void End(INT_PTR result);

protected:
    // Returns what WM_INITDIALOG returns (TRUE: the system sets the focus).
    virtual BOOL OnInitDialog() { return TRUE; }
    // Returns true when the command was handled. By default OK and Cancel end the dialog.
    virtual bool OnCommand(WORD id, WORD code, HWND control);
    // Any other message; set `handled` to answer it. The result is the dialog procedure's.
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual void OnDestroy() {}

    HINSTANCE instance_ = nullptr;

    // The dialog procedure; WM_INITDIALOG carries the Dialog object. Property pages route
    // through it too (common/PropertySheet.h).
    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    bool modal_ = false;
};

// An overlapped, popup or child window of a class registered with RegisterClass below.
class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Registers a window class whose procedure routes to Window objects. Returns false
    // (last error kept) when the class can be neither registered nor found already.
    static bool RegisterClass(HINSTANCE instance, const char* className, HICON icon = nullptr,
                              HBRUSH background = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1),
                              const char* menu = nullptr, UINT style = CS_HREDRAW | CS_VREDRAW);

    HWND Create(HINSTANCE instance, const char* className, const char* title, DWORD style,
                DWORD exStyle = 0, int x = CW_USEDEFAULT, int y = CW_USEDEFAULT,
                int width = CW_USEDEFAULT, int height = CW_USEDEFAULT, HWND parent = nullptr,
                HMENU menu = nullptr);

    HWND Handle() const noexcept { return hwnd_; }

    // The window procedure that routes to Window objects, for programs that register
    // their class themselves (RegisterClassExA with a small icon, for example).
    static WNDPROC ClassProcedure() noexcept { return &Window::Procedure; }

protected:
    // Set `handled` to answer the message; otherwise DefWindowProc answers it.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) = 0;
    HINSTANCE instance_ = nullptr;

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
};

// Runs the message loop until WM_QUIT; `dialog` (optional) gets IsDialogMessage. `idle`
// (optional) runs each time the queue has run empty, before the loop waits.
int RunMessageLoop(HWND dialog = nullptr, HACCEL accelerators = nullptr, HWND acceleratorWindow = nullptr,
                   const std::function<void()>& idle = {});

// Pumps the messages already waiting, so windows stay painted during long waits.
void PumpMessages();

} // namespace win
