// Drives Restavo for the screenshot script:
//   restavo_shots prepare FOLDER   writes repair files fetched from PC01, 45 days old, and
//                                  leaves a SECURITY backup that cannot be deleted in the
//                                  temporary folder, as an earlier restore waiting for its
//                                  restart does
//   restavo_shots tick             ticks SAM, SECURITY, SOFTWARE and SYSTEM in Restavo's main dialog
//   restavo_shots confirm          presses Restore and waits for the confirmation
//   restavo_shots report           accepts the confirmation, answers Yes to its questions and
//                                  waits for the report
//   restavo_shots close            dismisses what is open, closes Restavo and removes the backup
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

std::string WaitingBackup()
{
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    return restavo::JoinPath(temp, "SECURITYx");
}

// Saves a key holding `value` under `subKey` as a hive and compresses it into `target`.
bool SaveCompressedHive(const std::string& subKey, const char* value, const std::string& target)
{
    HKEY key = nullptr;
    std::string path = std::string(kShotKey) + "\\" + subKey;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
        return false;
    RegSetValueExA(key, subKey.find('\\') == std::string::npos ? "Hive" : "ComputerName", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(value), static_cast<DWORD>(std::strlen(value) + 1));
    RegCloseKey(key);
    restavo::EnablePrivilege(SE_BACKUP_NAME, nullptr);
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kShotKey, 0, KEY_READ, &key)) return false;
    std::string saved = target + ".hiv";
    DeleteFileA(saved.c_str());
    LONG result = RegSaveKeyA(key, saved.c_str(), nullptr);
    RegCloseKey(key);
    RegDeleteTreeA(HKEY_CURRENT_USER, kShotKey);
    bool compressed = result == ERROR_SUCCESS && szdd::CompressFile(saved.c_str(), target.c_str(), 0);
    DeleteFileA(saved.c_str());
    return compressed;
}

bool Prepare(const std::string& folder)
{
    std::string path;
    for (size_t at = 0; at != std::string::npos;) {
        at = folder.find('\\', at + 1);
        path = folder.substr(0, at);
        CreateDirectoryA(path.c_str(), nullptr);
    }
    for (const char* name : {"SAM", "SECURITY", "SOFTWARE", "DEFAULT"})
        if (!SaveCompressedHive(name, name, folder + "\\" + name + "._")) return false;
    if (!SaveCompressedHive("ControlSet001\\Control\\ComputerName\\ComputerName", "PC01", folder + "\\system._"))
        return false;

    // An earlier restore's backup of SECURITY that cannot be deleted.
    std::string backup = WaitingBackup();
    SetFileAttributesA(backup.c_str(), FILE_ATTRIBUTE_NORMAL);
    {
        win::Handle held(CreateFileA(backup.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        if (!held) return false;
    }
    SetFileAttributesA(backup.c_str(), FILE_ATTRIBUTE_READONLY);

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
        for (int id : {IDC_HIVE_SAM, IDC_HIVE_SECURITY, IDC_HIVE_SOFTWARE, IDC_HIVE_SYSTEM})
            SendMessageA(GetDlgItem(main, id), BM_SETCHECK, BST_CHECKED, 0);
        return 0;
    }
    if (command == "confirm") {
        if (!main) return 1;
        PostMessageA(main, WM_COMMAND, IDOK, 0);
        return WaitForWindow("Warning", IDC_IGNORE_WARNING) ? 0 : 1;
    }
    if (command == "report") {
        HWND confirm = WaitForWindow("Warning", IDC_IGNORE_WARNING);
        if (!confirm) return 1;
        SendMessageTimeoutA(GetDlgItem(confirm, IDC_IGNORE_WARNING), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        PostMessageA(confirm, WM_COMMAND, IDOK, 0);
        // The age and computer questions (message boxes with a Yes button), then the report.
        DWORD start = GetTickCount();
        do {
            if (HWND question = WaitForWindow("Warning", IDYES, 200)) PostMessageA(question, WM_COMMAND, IDYES, 0);
            if (WaitForWindow(restavo::kWarningReportCaption, IDOK, 200)) return 0;
        } while (GetTickCount() - start < 30000);
        return 1;
    }
    if (command == "close") {
        if (HWND report = WaitForWindow(restavo::kWarningReportCaption, IDOK, 1000))
            SendMessageTimeoutA(report, WM_COMMAND, IDOK, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        if (HWND confirm = WaitForWindow("Warning", IDC_IGNORE_WARNING, 1000))
            SendMessageTimeoutA(confirm, WM_COMMAND, IDCANCEL, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        if (main) PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
        std::string backup = WaitingBackup();
        SetFileAttributesA(backup.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(backup.c_str());
        return 0;
    }
    std::fprintf(stderr, "usage: restavo_shots prepare FOLDER | tick | confirm | report | close\n");
    return 2;
}
