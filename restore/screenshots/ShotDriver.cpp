// Drives Restavo for the screenshot script:
//   restavo_shots prepare FOLDER   writes repair files fetched from PC01, 45 days old
//   restavo_shots tick             ticks SAM, SOFTWARE and SYSTEM in Restavo's main dialog
//   restavo_shots confirm          presses Restore and waits for the confirmation
//   restavo_shots close            cancels the confirmation and closes Restavo
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Handle.h"
#include "Resource.h"
#include "RestoreEngine.h"
#include "Szdd.h"

namespace {

constexpr const char* kShotKey = "Software\\OstrelRestoreShots";

HWND WaitForWindow(const char* title, int controlId, DWORD waitMs = 15000)
{
    DWORD start = GetTickCount();
    do {
        HWND found = nullptr;
        for (HWND w = FindWindowExA(nullptr, nullptr, nullptr, title); w; w = FindWindowExA(nullptr, w, nullptr, title))
            if (GetDlgItem(w, controlId)) found = w;
        if (!found) {
            // Inside Wine's virtual desktop the dialogs are children of the desktop window.
            HWND desktop = GetDesktopWindow();
            for (HWND w = FindWindowExA(desktop, nullptr, nullptr, title); w; w = FindWindowExA(desktop, w, nullptr, title))
                if (GetDlgItem(w, controlId)) found = w;
        }
        if (found) return found;
        Sleep(100);
    } while (GetTickCount() - start < waitMs);
    return nullptr;
}

bool Prepare(const std::string& folder)
{
    std::string path;
    for (size_t at = 0; at != std::string::npos;) {
        at = folder.find('\\', at + 1);
        path = folder.substr(0, at);
        CreateDirectoryA(path.c_str(), nullptr);
    }
    for (const char* name : {"SAM", "SECURITY", "SOFTWARE", "DEFAULT"}) {
        std::string bytes = szdd::Compress(std::string("regf saved hive ") + name + std::string(2000, 'h'), 0);
        win::Handle file(CreateFileA((folder + "\\" + name + "._").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     0, nullptr));
        DWORD written = 0;
        if (!file || !WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
            return false;
    }
    HKEY key = nullptr;
    std::string names = std::string(kShotKey) + "\\ControlSet001\\Control\\ComputerName\\ComputerName";
    if (RegCreateKeyExA(HKEY_CURRENT_USER, names.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
        return false;
    RegSetValueExA(key, "ComputerName", 0, REG_SZ, reinterpret_cast<const BYTE*>("PC01"), 5);
    RegCloseKey(key);
    restavo::EnablePrivilege(SE_BACKUP_NAME, nullptr);
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kShotKey, 0, KEY_READ, &key)) return false;
    std::string saved = folder + "\\system.hiv";
    DeleteFileA(saved.c_str());
    LONG result = RegSaveKeyA(key, saved.c_str(), nullptr);
    RegCloseKey(key);
    RegDeleteTreeA(HKEY_CURRENT_USER, kShotKey);
    if (result != ERROR_SUCCESS || !szdd::CompressFile(saved.c_str(), (folder + "\\system._").c_str(), 0))
        return false;
    DeleteFileA(saved.c_str());

    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER value = {{now.dwLowDateTime, now.dwHighDateTime}};
    value.QuadPart -= 45ULL * 24 * 3600 * 10000000ULL;
    FILETIME old = {value.LowPart, value.HighPart};
    win::Handle file(CreateFileA((folder + "\\system._").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                                 nullptr));
    return file && SetFileTime(file.Get(), nullptr, nullptr, &old);
}

} // namespace

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "prepare" && argc > 2) return Prepare(argv[2]) ? 0 : 1;

    HWND main = WaitForWindow("Restavo", IDC_ERD_FOLDER);
    if (command == "tick") {
        if (!main) return 1;
        for (int id : {IDC_HIVE_SAM, IDC_HIVE_SOFTWARE, IDC_HIVE_SYSTEM})
            SendMessageA(GetDlgItem(main, id), BM_SETCHECK, BST_CHECKED, 0);
        return 0;
    }
    if (command == "confirm") {
        if (!main) return 1;
        PostMessageA(main, WM_COMMAND, IDOK, 0);
        return WaitForWindow("Warning", IDC_IGNORE_WARNING) ? 0 : 1;
    }
    if (command == "close") {
        if (HWND confirm = WaitForWindow("Warning", IDC_IGNORE_WARNING, 1000))
            SendMessageTimeoutA(confirm, WM_COMMAND, IDCANCEL, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        if (main) PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
        return 0;
    }
    std::fprintf(stderr, "usage: restavo_shots prepare FOLDER | tick | confirm | close\n");
    return 2;
}
