#include "Privilege.h"

#include "Handle.h"

namespace win {

bool EnablePrivilege(const char* privilegeName)
{
    Handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Receive())) return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, privilegeName, &privileges.Privileges[0].Luid)) return false;
    if (!AdjustTokenPrivileges(token.Get(), FALSE, &privileges, sizeof(privileges), nullptr, nullptr)) return false;
    // AdjustTokenPrivileges succeeds even when the privilege is not held.
    return GetLastError() == ERROR_SUCCESS;
}

} // namespace win
