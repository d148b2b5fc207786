// Shows the Options sheet's two pages and then a control's popup help, one after the other,
// for options-screenshots.sh to take pictures of. Before each picture it writes
// <folder>\<name>.ready and waits for <folder>\<name>.done (or 30 seconds).
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>

#include "OptionsSheet.h"
#include "Settings.h"
#include "SystemText.h"
#include "Window.h"

namespace {

void Pump(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    do {
        win::PumpMessages();
        Sleep(20);
    } while (GetTickCount() - start < milliseconds);
}

void Picture(const std::string& folder, const char* name)
{
    Pump(1500);
    std::string ready = folder + "\\" + name + ".ready";
    std::string done = folder + "\\" + name + ".done";
    HANDLE file = CreateFileA(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    DWORD start = GetTickCount();
    while (GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 30000) Pump(100);
    DeleteFileA(ready.c_str());
    DeleteFileA(done.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    const std::string folder = argv[1];
    ConsoleSettings& settings = TheConsoleSettings();
    settings.InstallPath = "C:\\Program Files\\Ostrel\\Salvora";
    settings.OutDir = "D:\\ERD\\%COMPUTERNAME%\\%YYYY%-%MM%-%DD%";
    settings.ERDtimeout = 15 * 60;
    settings.CheckRegQuota = 1;
    settings.SaveHivesWithoutRdisk = 1;
    settings.HelpFilePath = win::ModuleFolder() + "\\Salvora.chm";

    OptionsSheet options(GetModuleHandleA(nullptr), settings);
    HWND sheet = options.CreateModeless(nullptr);
    if (!sheet) return 1;
    Picture(folder, "options-common");
    PropSheet_SetCurSel(sheet, nullptr, 1);
    Picture(folder, "options-log");

    // Right click on the output folder's label: its popup help at the click.
    PropSheet_SetCurSel(sheet, nullptr, 0);
    Pump(300);
    HWND page = PropSheet_GetCurrentPageHwnd(sheet);
    RECT field = {};
    GetWindowRect(GetDlgItem(page, IDC_OUTPUT_FOLDER), &field);
    POINT at = {field.left + 20, field.top - 6};
    SendMessageA(page, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(page), MAKELPARAM(at.x, at.y));
    Picture(folder, "options-popup");
    DestroyWindow(sheet);
    return 0;
}
