// Files a target could leave in its Repair folder to be copied home with the repair files:
// built as a program (named expand.exe by the tests) and as a library (named NTLANMAN.DLL).
// Whichever runs leaves "planted-ran.txt" beside itself, so a test sees that it ran.
#include <windows.h>

#include <cstring>

namespace {

void LeaveMark(HMODULE self)
{
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(self, path, sizeof(path));
    if (length == 0 || length >= sizeof(path)) return;
    char* slash = std::strrchr(path, '\\');
    if (!slash || slash - path + 20 >= MAX_PATH) return;
    std::strcpy(slash + 1, "planted-ran.txt");
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

} // namespace

#ifdef PLANTED_LIBRARY
extern "C" __declspec(dllexport) DWORD WINAPI ServerBrowseDialogA0(HWND, CHAR* buffer, DWORD size)
{
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ServerBrowseDialogA0), &self);
    LeaveMark(self);
    if (buffer && size > 10) std::strcpy(buffer, "\\\\PLANTED");
    return 0;
}
#else
int main()
{
    LeaveMark(nullptr);
    return 0;
}
#endif
