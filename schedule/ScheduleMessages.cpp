#include "ScheduleMessages.h"

#include <cstdarg>
#include <cstdio>

#include "SystemText.h"

namespace schedule {
namespace {

MessageBoxProc g_messageBox = nullptr;

struct BuiltInText {
    UINT id;
    const char* text;
};

// The texts the library shows when the running program's string table lacks them.
const BuiltInText kBuiltInTexts[] = {
    {IDS_UNKNOWN_ERROR, "Unknown error"},
    {IDS_CANNOT_FIND_DLL, "Cannot find DLL"},
    {IDS_INCORRECT_DLL_VERSION, "Incorrect DLL version"},
    {IDS_SERVER_UNAVAILABLE, "Server unavailable"},
    {IDS_PASSWORD_NOT_CONFIRMED,
     "The new password was not correctly confirmed.\n Be sure that the confirmation password "
     "matches exactly the new password."},
    {IDS_NOTHING_TO_SCHEDULE, "Nothing to shedule.\n Program name does not exist."},
    {IDS_SYSTEM_ACCOUNT_WARNING,
     "Program requires schedule service run under Administrator account.\nAre you sure you want "
     "to select SYSTEM account?"},
    {IDS_EMPTY_IMPORT_FILE,
     "Program requires non-empty import file.\nAre you sure you want empty import file?"},
    {IDS_GRANT_FAILED, "Unable to grant the 'Log On As a Service' right to %s"},
    {IDS_GRANT_SUCCEEDED, "The account %s has been granted the 'Log On As A Service' right."},
};

const char* BuiltIn(UINT id)
{
    for (const BuiltInText& entry : kBuiltInTexts)
        if (entry.id == id) return entry.text;
    return nullptr;
}

constexpr size_t kStringBuffer = 800;

} // namespace

MessageBoxProc SetMessageBoxProc(MessageBoxProc proc)
{
    MessageBoxProc previous = g_messageBox;
    g_messageBox = proc;
    return previous;
}

int ShowBox(HWND owner, const char* text, const char* caption, UINT type)
{
    if (g_messageBox) return g_messageBox(owner, text, caption, type);
    return MessageBoxA(owner, text, caption, type);
}

std::string MessageString(UINT id)
{
    char buffer[kStringBuffer] = {};
    if (LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof(buffer)) > 0) return buffer;
    if (const char* text = BuiltIn(id)) return text;
    if (LoadStringA(GetModuleHandleA(nullptr), IDS_UNKNOWN_ERROR, buffer, sizeof(buffer)) > 0) return buffer;
    return BuiltIn(IDS_UNKNOWN_ERROR);
}

bool ShowMessage(int kind, HWND owner, UINT id, ...)
{
    std::string format = MessageString(id);
    char text[1024] = {};
    va_list args;
    va_start(args, id);
    std::vsnprintf(text, sizeof(text), format.c_str(), args);
    va_end(args);

    UINT type = MB_OK;
    const char* caption = "Error!";
    switch (kind) {
    case kError: type = MB_OK | MB_ICONSTOP; caption = "Error!"; break;
    case kWarning: type = MB_OK | MB_ICONEXCLAMATION; caption = "Warning!"; break;
    case kInformation: type = MB_OK | MB_ICONINFORMATION; caption = "Information."; break;
    case kQuestion: type = MB_YESNO | MB_ICONEXCLAMATION; caption = "Warning."; break;
    case kQuestionNo: type = MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2; caption = "Warning."; break;
    default: break;
    }
    int answer = ShowBox(owner, text, caption, type);
    return answer == IDOK || answer == IDYES;
}

std::string ErrorText(DWORD code)
{
    char buffer[1000] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  1024, buffer, sizeof(buffer), nullptr);
    if (length == 0 || length >= sizeof(buffer)) return std::string();
    return std::string(buffer, length);
}

void ShowSystemError(HWND owner, const char* caption, const char* format, DWORD code)
{
    std::string text = win::Format(format, ErrorText(code).c_str());
    ShowBox(owner, text.c_str(), caption, MB_OK | MB_ICONINFORMATION);
}

} // namespace schedule
