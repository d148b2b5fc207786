// Restavo's message boxes go through one function, so tests can answer them.
#pragma once
#include <windows.h>

namespace restavo {

using MessageBoxHandler = int (*)(HWND owner, const char* text, const char* caption, UINT type);

// MessageBoxA, or the handler a test put in place.
int ShowMessage(HWND owner, const char* text, const char* caption, UINT type);

// Puts `handler` in place (null: MessageBoxA again); returns the one it replaces.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The module whose resources Restavo's dialogs and icons come from.
HINSTANCE ResourceInstance();
void SetResourceInstance(HINSTANCE instance);

} // namespace restavo
