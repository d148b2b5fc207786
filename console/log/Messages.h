// The console's message helpers. While the process runs unattended they show nothing.
#pragma once
#include <windows.h>

#include <string>

enum MessageKind : int {
    kMessageStop = 0,          // stop icon
    kMessageExclamation = 1,   // exclamation icon
    kMessageInformation = 2,   // information icon
    kMessageYesNo = 3,         // exclamation icon, Yes and No
    kMessageYesNoDefaultNo = 4 // the same with No as the default button
};

// String `stringId` of the program's string table (string 2 "Unknown Error" when there is
// none), formatted printf-style with the remaining arguments and shown in a message box of
// `kind`. True when OK or Yes was pressed, and always in unattended mode.
bool ShowMessage(int kind, HWND owner, const char* caption, UINT stringId, ...);
void ShowInfo(HWND owner, const char* caption, const char* text);
void ShowError(HWND owner, const char* caption, const char* text);
// The system's text for `code` (0: the thread's last error), alone or put into `format`
// (one %s); stop icon.
void ShowSystemError(HWND owner, const char* caption, const char* format, DWORD code);

// The system's message text for `code` as it comes (with its own line end); empty when the
// system has none.
std::string SystemMessageText(DWORD code);
// The text of a system or network error code on one line, or the code in decimal.
std::string NetErrorText(DWORD code);

// A text of the program's string table; false when there is no such entry.
bool LoadConsoleString(UINT id, std::string& text);

// The message box in use: MessageBoxA unless another has been put in its place (the tests
// watch what would have been shown this way).
using MessageBoxFunction = int(WINAPI*)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
void SetMessageBoxFunction(MessageBoxFunction function); // nullptr puts MessageBoxA back
