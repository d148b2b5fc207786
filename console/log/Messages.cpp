#include "Messages.h"

#include "ConsoleState.h"
#include "ConsoleStrings.h"
#include "Handle.h"
#include "SystemText.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {

std::atomic<MessageBoxFunction> g_messageBox{nullptr};

int Box(HWND owner, const char* text, const char* caption, UINT style)
{
    MessageBoxFunction function = g_messageBox.load();
    return function ? function(owner, text, caption, style) : MessageBoxA(owner, text, caption, style);
}

UINT StyleOf(int kind)
{
    switch (kind) {
    case kMessageExclamation: return MB_ICONEXCLAMATION;
    case kMessageInformation: return MB_ICONASTERISK;
    case kMessageYesNo: return MB_ICONEXCLAMATION | MB_YESNO;
    case kMessageYesNoDefaultNo: return MB_ICONEXCLAMATION | MB_YESNO | MB_DEFBUTTON2;
    default: return MB_ICONHAND;
    }
}

} // namespace

bool LoadConsoleString(UINT id, std::string& text)
{
    char buffer[800];
    int length = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof(buffer));
    if (length <= 0) return false;
    text.assign(buffer, static_cast<size_t>(length));
    return true;
}

bool ShowMessage(int kind, HWND owner, const char* caption, UINT stringId, ...)
{
    if (IsUnattended()) return true;
    std::string format;
    if (!LoadConsoleString(stringId, format) && !LoadConsoleString(IDS_UNKNOWN_ERROR, format))
        format = TEXT_UNKNOWN_ERROR;
    char text[1020];
    va_list args;
    va_start(args, stringId);
    std::vsnprintf(text, sizeof(text), format.c_str(), args);
    va_end(args);
    int answer = Box(owner, text, caption, StyleOf(kind));
    return answer == IDOK || answer == IDYES;
}

void ShowInfo(HWND owner, const char* caption, const char* text)
{
    if (!IsUnattended()) Box(owner, text ? text : "", caption, MB_ICONASTERISK);
}

void ShowError(HWND owner, const char* caption, const char* text)
{
    if (!IsUnattended()) Box(owner, text ? text : "", caption, MB_ICONHAND);
}

void ShowSystemError(HWND owner, const char* caption, const char* format, DWORD code)
{
    if (code == 0) code = GetLastError();
    if (IsUnattended()) return;
    std::string system = SystemMessageText(code);
    char text[1024];
    if (format) std::snprintf(text, sizeof(text), format, system.c_str());
    else win::CopyText(text, sizeof(text), system.c_str());
    Box(owner, text, caption, MB_ICONHAND);
}

std::string SystemMessageText(DWORD code)
{
    // Inserts are left as they stand: no arguments exist to fill them.
    char* buffer = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text;
    if (length && buffer) text.assign(buffer, length);
    if (buffer) LocalFree(buffer);
    return text;
}

std::string NetErrorText(DWORD code)
{
    char folder[MAX_PATH] = {};
    UINT length = GetSystemDirectoryA(folder, sizeof(folder));
    win::Library messages;
    if (length > 0 && length < sizeof(folder)) {
        std::string path = std::string(folder) + "\\netmsg.dll";
        messages.Reset(LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE));
    }
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM |
                  FORMAT_MESSAGE_MAX_WIDTH_MASK;
    if (messages) flags |= FORMAT_MESSAGE_FROM_HMODULE;
    char* buffer = nullptr;
    DWORD got = FormatMessageA(flags, messages.Get(), code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                               reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text;
    if (got && buffer) {
        text.assign(buffer, got);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n'))
            text.pop_back();
    }
    if (buffer) LocalFree(buffer);
    if (text.empty()) text = win::Format("%d", static_cast<int>(code));
    return text;
}

void SetMessageBoxFunction(MessageBoxFunction function) { g_messageBox.store(function); }
