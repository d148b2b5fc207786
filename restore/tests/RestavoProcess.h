// Restavo.exe run as its own process, as the console starts it, and driven through its
// windows: for Restavo's program tests and the console's end-to-end runs that restore
// what they fetched.
#pragma once
#include <windows.h>

#include <cstring>
#include <functional>
#include <string>

#include "Handle.h"
#include "Resource.h"
#include "TestSupport.h"

namespace restavo_test {

constexpr DWORD kWindowWait = 15000;

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

inline std::string ControlText(HWND window, int id)
{
    char text[1024] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(GetDlgItem(window, id), WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, &copied);
    return text;
}

inline void Press(HWND window, int id)
{
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(GetDlgItem(window, id), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
}

// One Restavo.exe process, ended (within a bound) when the test is done with it.
class RestavoProcess {
public:
    explicit RestavoProcess(const std::string& arguments)
    {
        std::string line = "\"" + testing_support::BinFolder() + "\\Restavo.exe\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            process_.Reset(info.hProcess);
            CloseHandle(info.hThread);
            id_ = info.dwProcessId;
        }
    }
    ~RestavoProcess()
    {
        if (!process_) return;
        if (HWND main = MainWindow(0)) PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
        if (WaitForSingleObject(process_.Get(), 10000) != WAIT_OBJECT_0) TerminateProcess(process_.Get(), 1);
    }

    bool Started() const { return process_.IsValid(); }

    // A top-level window of the process with `title` for which `accept` holds, waited for.
    HWND FindWindowOf(const char* title, const std::function<bool(HWND)>& accept, DWORD waitMs = kWindowWait) const
    {
        Search search{id_, title, &accept, nullptr};
        DWORD start = GetTickCount();
        do {
            EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
            if (search.found) return search.found;
            Sleep(50);
        } while (GetTickCount() - start < waitMs);
        return nullptr;
    }

    HWND MainWindow(DWORD waitMs = kWindowWait) const
    {
        return FindWindowOf("Restavo", [](HWND w) { return GetDlgItem(w, IDC_ERD_FOLDER) != nullptr; }, waitMs);
    }

    // Closes with the Close button and tells whether the process ended with 0.
    bool CloseAndExit()
    {
        HWND main = MainWindow(0);
        if (!main) return false;
        PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
        if (WaitForSingleObject(process_.Get(), 10000) != WAIT_OBJECT_0) return false;
        DWORD code = 1;
        GetExitCodeProcess(process_.Get(), &code);
        process_.Reset();
        return code == 0;
    }

private:
    struct Search {
        DWORD id;
        const char* title;
        const std::function<bool(HWND)>* accept;
        HWND found;
    };
    static BOOL CALLBACK MatchWindow(HWND window, LPARAM data)
    {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != s->id || !IsWindowVisible(window)) return TRUE;
        char text[128] = {};
        GetWindowTextA(window, text, sizeof(text));
        if (strcmp(text, s->title) != 0 || !(*s->accept)(window)) return TRUE;
        s->found = window;
        return FALSE;
    }

    win::Handle process_;
    DWORD id_ = 0;
};

} // namespace restavo_test
