#include "SystemText.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace win {

std::string SystemMessageText(DWORD code, HMODULE module)
{
    char* text = nullptr;
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
    if (module) flags |= FORMAT_MESSAGE_FROM_HMODULE;
    DWORD length = FormatMessageA(flags, module, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result;
    if (length && text) {
        result.assign(text, length);
        while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
            result.pop_back();
    }
    if (text) LocalFree(text);
    return result;
}

std::string LoadResourceString(HINSTANCE instance, UINT id, const char* fallback)
{
    // The entry's length in characters comes from the wide form; an ANSI character takes
    // at most two bytes, so the buffer below never cuts the text.
    const wchar_t* pointer = nullptr;
    int length = LoadStringW(instance, id, reinterpret_cast<wchar_t*>(&pointer), 0);
    if (length > 0) {
        std::string text(static_cast<size_t>(length) * 2 + 1, '\0');
        int copied = LoadStringA(instance, id, text.data(), static_cast<int>(text.size()));
        if (copied > 0) {
            text.resize(static_cast<size_t>(copied));
            return text;
        }
    }
    return fallback ? fallback : "";
}

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (needed > 0) {
        text.resize(static_cast<size_t>(needed) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(needed));
    }
    va_end(args);
    return text;
}

bool CopyText(char* buffer, size_t size, const char* text) noexcept
{
    if (!buffer || size == 0) return false;
    if (!text) text = "";
    size_t length = std::strlen(text);
    bool fits = length < size;
    size_t count = fits ? length : size - 1;
    std::memcpy(buffer, text, count);
    buffer[count] = '\0';
    return fits;
}

std::string ModuleFolder(HMODULE module)
{
    char path[MAX_PATH * 2] = {};
    DWORD length = GetModuleFileNameA(module, path, sizeof(path));
    if (length == 0 || length >= sizeof(path)) return ".";
    char* slash = std::strrchr(path, '\\');
    if (slash) *slash = '\0';
    return path;
}

namespace {

// `fileName` in the folder that `folderOf` (GetSystemDirectoryA or GetWindowsDirectoryA)
// reports; empty when it cannot be read.
std::string FileInFolder(UINT(WINAPI* folderOf)(LPSTR, UINT), const char* fileName)
{
    char folder[MAX_PATH] = {};
    UINT length = folderOf(folder, sizeof(folder));
    if (length == 0 || length >= sizeof(folder) || !fileName) return {};
    std::string path(folder, length);
    if (path.back() != '\\') path += '\\';
    return path + fileName;
}

} // namespace

std::string SystemFilePath(const char* fileName)
{
    return FileInFolder(GetSystemDirectoryA, fileName);
}

std::string WindowsFilePath(const char* fileName)
{
    return FileInFolder(GetWindowsDirectoryA, fileName);
}

std::string NotepadCommand(const std::string& file)
{
    std::string program = WindowsFilePath("Notepad.exe");
    if (program.empty()) return {};
    return "\"" + program + "\" " + file;
}

HMODULE LoadSystemLibrary(const char* fileName)
{
    std::string path = SystemFilePath(fileName);
    if (path.empty()) return nullptr;
    return LoadLibraryA(path.c_str());
}

} // namespace win
