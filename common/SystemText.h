// Texts from the system and from a program's string table.
#pragma once
#include <windows.h>
#include <string>

namespace win {

// The system's message text for an error code, without the trailing line break;
// empty when the system has none. `module` adds a message DLL to search first
// (for example netmsg.dll for network codes).
std::string SystemMessageText(DWORD code, HMODULE module = nullptr);

// A string-table text of `instance` by number, or `fallback` when there is none.
std::string LoadResourceString(HINSTANCE instance, UINT id, const char* fallback = "");

// printf-style formatting into a std::string, any length.
std::string Format(const char* format, ...)
#if defined(__MINGW32__)
    __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Copies `text` into a fixed buffer of `size` bytes, always NUL-terminated, never past it.
// Returns false when `text` had to be cut.
bool CopyText(char* buffer, size_t size, const char* text) noexcept;

// The folder of this program's file, without the trailing backslash.
std::string ModuleFolder(HMODULE module = nullptr);

// `fileName` in the system folder (GetSystemDirectoryA), such as "C:\WINNT\system32\expand.exe";
// empty when the folder cannot be told.
std::string SystemFilePath(const char* fileName);

// `fileName` in the Windows folder (GetWindowsDirectoryA), such as "C:\WINNT\Notepad.exe";
// empty when the folder cannot be told.
std::string WindowsFilePath(const char* fileName);

// The command line that opens `file` in the system's Notepad, started by its full path from
// the Windows folder (quoted, the file after it as Notepad takes it); empty when the folder
// cannot be told.
std::string NotepadCommand(const std::string& file);

// Loads one of the system's own libraries from the system folder by its full path, so that
// a file of that name in the program's or the current folder is never taken instead.
// Null with the last-error code kept when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* fileName);

} // namespace win
