// Privileges of the calling process's token.
#pragma once
#include <windows.h>

namespace win {

// Enables one privilege (for example SE_BACKUP_NAME) in the process token. False, with
// the last-error code kept, when the token cannot be opened or the privilege is not held
// (ERROR_NOT_ALL_ASSIGNED).
bool EnablePrivilege(const char* privilegeName);

} // namespace win
