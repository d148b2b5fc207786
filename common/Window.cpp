#include "Window.h"

namespace win {

std::string WindowText(HWND window)
{
    int length = GetWindowTextLengthA(window);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int copied = GetWindowTextA(window, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

Dialog::~Dialog()
{
    if (hwnd_ && !modal_) DestroyWindow(hwnd_);
}

INT_PTR Dialog::DoModal(HINSTANCE instance, UINT templateId, HWND parent)
{
    instance_ = instance;
    modal_ = true;
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(templateId), parent, &Dialog::Procedure,
                           reinterpret_cast<LPARAM>(this));
}

HWND Dialog::Create(HINSTANCE instance, UINT templateId, HWND parent)
{
    instance_ = instance;
    modal_ = false;
    return CreateDialogParamA(instance, MAKEINTRESOURCEA(templateId), parent, &Dialog::Procedure,
                              reinterpret_cast<LPARAM>(this));
}

void Dialog::Destroy()
{
    if (hwnd_) DestroyWindow(hwnd_);
}

void Dialog::End(INT_PTR result)
{
    if (!hwnd_) return;
    if (modal_)
        EndDialog(hwnd_, result);
    else
        DestroyWindow(hwnd_);
}

bool Dialog::OnCommand(WORD id, WORD, HWND)
{
    if (id == IDOK || id == IDCANCEL) {
        End(id);
        return true;
    }
    return false;
}

INT_PTR Dialog::OnMessage(UINT, WPARAM, LPARAM, bool&)
{
    return 0;
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    case WM_DESTROY:
        OnDestroy();
        break;
    default:
        break;
    }
    bool handled = false;
    INT_PTR result = OnMessage(message, wParam, lParam, handled);
    return handled ? result : FALSE;
}

INT_PTR CALLBACK Dialog::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        self->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;
    INT_PTR result = FALSE;
    try {
        result = self->Dispatch(message, wParam, lParam);
    } catch (...) {
        result = FALSE;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

Window::~Window()
{
    if (hwnd_) {
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

bool Window::RegisterClass(HINSTANCE instance, const char* className, HICON icon, HBRUSH background,
                           const char* menu, UINT style)
{
    WNDCLASSA existing = {};
    if (GetClassInfoA(instance, className, &existing)) return true;
    WNDCLASSA wc = {};
    wc.style = style;
    wc.lpfnWndProc = &Window::Procedure;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszMenuName = menu;
    wc.lpszClassName = className;
    return ::RegisterClassA(&wc) != 0;
}

HWND Window::Create(HINSTANCE instance, const char* className, const char* title, DWORD style, DWORD exStyle,
                    int x, int y, int width, int height, HWND parent, HMENU menu)
{
    instance_ = instance;
    return CreateWindowExA(exStyle, className, title, style, x, y, width, height, parent, menu, instance, this);
}

LRESULT CALLBACK Window::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* self = nullptr;
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        self = static_cast<Window*>(create->lpCreateParams);
        if (self) {
            self->hwnd_ = hwnd;
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    } else {
        self = reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (self) {
        bool handled = false;
        LRESULT result = 0;
        try {
            result = self->OnMessage(message, wParam, lParam, handled);
        } catch (...) {
            handled = false;
        }
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
            self->hwnd_ = nullptr;
        }
        if (handled) return result;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

int RunMessageLoop(HWND dialog, HACCEL accelerators, HWND acceleratorWindow, const std::function<void()>& idle)
{
    MSG msg;
    for (;;) {
        if (idle && !PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) idle();
        if (GetMessageA(&msg, nullptr, 0, 0) <= 0) break;
        if (accelerators && acceleratorWindow && TranslateAcceleratorA(acceleratorWindow, accelerators, &msg))
            continue;
        if (dialog && IsDialogMessageA(dialog, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

} // namespace win
