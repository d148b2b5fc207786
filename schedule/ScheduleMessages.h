// Message boxes of the schedule programs (Scheduler and Rostery): the numbered texts with
// their five kinds, and the system-error box that names the failed operation.
#pragma once
#include <windows.h>
#include <string>

namespace schedule {

// Numbers of the texts the service link and the wizard show.
enum MessageId : UINT {
    IDS_UNKNOWN_ERROR = 502,
    IDS_CANNOT_FIND_DLL = 503,
    IDS_INCORRECT_DLL_VERSION = 504,
    IDS_SERVER_UNAVAILABLE = 507,
    IDS_PASSWORD_NOT_CONFIRMED = 508,
    IDS_NOTHING_TO_SCHEDULE = 509,
    IDS_SYSTEM_ACCOUNT_WARNING = 510,
    IDS_EMPTY_IMPORT_FILE = 511,
    IDS_GRANT_FAILED = 50008,
    IDS_GRANT_SUCCEEDED = 50009,
};

// Kinds of ShowMessage: icon, buttons and caption.
enum MessageKind : int {
    kError = 0,          // stop icon, "Error!"
    kWarning = 1,        // exclamation, "Warning!"
    kInformation = 2,    // information, "Information."
    kQuestion = 3,       // exclamation, Yes and No, "Warning."
    kQuestionNo = 4,     // exclamation, Yes and No with No the default, "Warning."
};

// Every box of the schedule programs goes through this one function, so a test can
// answer the boxes and see what they said. nullptr puts MessageBoxA back.
using MessageBoxProc = int (*)(HWND owner, const char* text, const char* caption, UINT type);
MessageBoxProc SetMessageBoxProc(MessageBoxProc proc);
int ShowBox(HWND owner, const char* text, const char* caption, UINT type);

// The text of string `id`: the running program's string table first, then the texts the
// schedule library itself knows, and string 502 "Unknown error" when neither has it.
// At most 799 characters, as the programs' 800-byte buffer holds.
std::string MessageString(UINT id);

// Shows string `id` formatted with the remaining arguments (wsprintf style) as a box of
// `kind`. True when the user pressed OK or Yes.
bool ShowMessage(int kind, HWND owner, UINT id, ...);

// The system-error box: `format` holds one %s that receives the system's text for
// `code`; information icon, `caption` is the name of the failed operation.
void ShowSystemError(HWND owner, const char* caption, const char* format, DWORD code);

// The system's text for an error code as the boxes above show it (system table,
// language 1024, at most 999 characters); empty when the system has none.
std::string ErrorText(DWORD code);

} // namespace schedule
