// What a target could leave among its repair files, built as a program (the tests name it
// expand.exe) and as a library (NTLANMAN.DLL): either one, when run, leaves
// "planted-ran.txt" in the current folder, the folder the tests plant it in.
#include <windows.h>

#include <cstring>

static void LeaveMark()
{
    HANDLE file = CreateFileA("planted-ran.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

#ifdef PLANTED_LIBRARY
extern "C" __declspec(dllexport) DWORD WINAPI ServerBrowseDialogA0(HWND, CHAR* buffer, DWORD size)
{
    LeaveMark();
    if (buffer && size > 10) std::strcpy(buffer, "\\\\PLANTED");
    return 0;
}
#else
int main()
{
    LeaveMark();
    return 0;
}
#endif
