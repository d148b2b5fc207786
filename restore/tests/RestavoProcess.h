// Restavo.exe run as its own process, as the console starts it, and driven through its
// windows: for Restavo's program tests and the console's end-to-end runs that restore
// what they fetched.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "ProgramProcess.h"
#include "Resource.h"

namespace restavo_test {

constexpr DWORD kWindowWait = 15000;

using testing_support::ControlText;
using testing_support::Press;

// Under Wine, RegReplaceKeyA changes nothing; on Windows this test would really swap hives.
inline bool RunningUnderWine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

inline std::string LocalName()
{
    char name[256] = {};
    DWORD size = sizeof(name);
    GetComputerNameA(name, &size);
    return name;
}

inline bool IsMainDialog(HWND window) { return GetDlgItem(window, IDC_ERD_FOLDER) != nullptr; }

// One Restavo.exe process, ended (within a bound) when the test is done with it.
class RestavoProcess : public testing_support::ProgramProcess {
public:
    explicit RestavoProcess(const std::string& arguments) : ProgramProcess("Restavo.exe", arguments) {}

    HWND FindWindowOf(const char* title, const std::function<bool(HWND)>& accept, DWORD waitMs = kWindowWait) const
    {
        return ProgramProcess::FindWindowOf(title, accept, waitMs);
    }

    HWND MainWindow(DWORD waitMs = kWindowWait) const { return FindWindowOf("Restavo", &IsMainDialog, waitMs); }

    // Closes with the Close button and tells whether the process ended with 0.
    bool CloseAndExit()
    {
        HWND main = MainWindow(0);
        if (!main) return false;
        PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
        return WaitForExit(10000) == 0;
    }
};

} // namespace restavo_test
