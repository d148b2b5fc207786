#include "OutputFolder.h"

#include "ConsoleState.h"
#include "Settings.h"
#include "Synchronization.h"

#include <cstring>

namespace {

constexpr size_t kTailLimit = 260;

// The expansion's working strings; one expansion runs at a time.
std::string g_head;
std::string g_tail;
win::CriticalSection g_expansionLock; // entered again by a caller that holds it

// The conversions the C library's strftime knows. Any other "%" sequence is left out before
// the text is formatted (the runtime would otherwise stop on it), so a stray percent sign
// changes the path without ever ending the program.
bool IsConversion(char c) { return c != '\0' && std::strchr("aAbBcdHIjmMpSUwWxXyYzZ%", c) != nullptr; }

std::string KeepKnownConversions(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            result += text[i];
            continue;
        }
        size_t next = i + 1;
        bool alternate = next < text.size() && text[next] == '#';
        if (alternate) ++next;
        if (next < text.size() && IsConversion(text[next]) && !(alternate && text[next] == '%')) {
            result.append(text, i, next - i + 1);
        }
        i = next; // an unknown or cut-off sequence is dropped whole
    }
    return result;
}

// A computer's name stands for one folder name: nothing in it may lead out of the folder
// above, name a stream or a date conversion ("..", "a:b", "x\\y", "%c").
bool IsFolderNameSafe(const std::string& name)
{
    if (name.empty()) return true; // no computer: the token is left out
    bool onlyDotsAndSpaces = true;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F || std::strchr("\\/:*?\"<>|%", c)) return false;
        if (c != '.' && c != ' ') onlyDotsAndSpaces = false;
    }
    return !onlyDotsAndSpaces;
}

// A colon only after a drive letter ("C:") or in the "\\?\C:" form: anywhere else it would
// name a stream of a file instead of a folder.
bool ColonsAreDrives(const std::string& path)
{
    size_t drive = path.compare(0, 4, "\\\\?\\") == 0 ? 5 : 1;
    for (size_t at = path.find(':'); at != std::string::npos; at = path.find(':', at + 1))
        if (at != drive) return false;
    return true;
}

} // namespace

bool SplitAtToken(const char* token, const std::string& text)
{
    size_t at = token && *token ? text.find(token) : std::string::npos;
    if (at == std::string::npos) {
        g_head = text;
        g_tail.clear();
        return false;
    }
    g_head = text.substr(0, at);
    g_tail = text.substr(at + std::strlen(token), kTailLimit);
    return true;
}

const std::string& TemplateHead() { return g_head; }
const std::string& TemplateTail() { return g_tail; }

bool ExpandOutputFolder(const std::string& outDirTemplate, const char* name, time_t when, std::string& path)
{
    win::CriticalSectionLock guard(g_expansionLock);
    path.clear();
    std::string computer = name ? name : "";
    if (!IsFolderNameSafe(computer)) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    std::string text = outDirTemplate;
    while (SplitAtToken("%COMPUTERNAME%", text)) text = g_head + computer + g_tail;
    while (SplitAtToken("%DD%", text)) text = g_head + "%d" + g_tail;
    while (SplitAtToken("%MM%", text)) text = g_head + "%m" + g_tail;
    while (SplitAtToken("%YY%", text) || SplitAtToken("%YYYY%", text)) text = g_head + "%Y" + g_tail;
    while (SplitAtToken("%AA%", text)) text = g_head + "%A" + g_tail;

    text = KeepKnownConversions(text);
    struct tm local {};
    const struct tm* converted = localtime(&when);
    if (!converted) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    local = *converted;
    char buffer[kPathBufferSize];
    size_t length = text.empty() ? 0 : strftime(buffer, sizeof(buffer), text.c_str(), &local);
    if (length == 0) {
        SetLastError(text.empty() ? ERROR_INVALID_NAME : ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (!ColonsAreDrives(std::string(buffer, length))) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    path.assign(buffer, length);
    return true;
}

bool ExpandOutputFolder(const char* name, std::string& path)
{
    return ExpandOutputFolder(TheConsoleSettings().OutDir, name, ConsoleTime(), path);
}

DWORD CreateFolderPath(const std::string& path, SECURITY_ATTRIBUTES* security)
{
    if (path.empty()) return ERROR_PATH_NOT_FOUND;
    size_t reached = path.size(); // the folder tried is path[0, reached)
    for (;;) {
        if (CreateDirectoryA(path.substr(0, reached).c_str(), security)) break;
        DWORD error = GetLastError();
        if (error != ERROR_PATH_NOT_FOUND) return error;
        size_t slash = path.rfind('\\', reached - 1);
        if (slash == std::string::npos || slash == 0) return ERROR_PATH_NOT_FOUND;
        reached = slash;
    }
    while (reached + 1 < path.size()) { // a trailing backslash names no further folder
        size_t next = path.find('\\', reached + 1);
        reached = next == std::string::npos ? path.size() : next;
        if (!CreateDirectoryA(path.substr(0, reached).c_str(), security)) return GetLastError();
    }
    return 0;
}
