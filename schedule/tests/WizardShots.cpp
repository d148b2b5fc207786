// Shows each page of the Scheduler wizard in turn and saves a picture of the wizard's
// frame as page1.bmp, page2.bmp and page3.bmp in the folder given as the argument.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ScheduleMessages.h"
#include "SchedulerWizard.h"
#include "resource.h"

namespace {

void Pump(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    } while (GetTickCount() - start < milliseconds);
}

int SilentBox(HWND, const char* text, const char* caption, UINT)
{
    std::fprintf(stderr, "box %s: %s\n", caption ? caption : "", text ? text : "");
    return IDOK;
}

bool SaveWindow(HWND window, const std::string& path)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(rowBytes * static_cast<DWORD>(height));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    std::fwrite(&file, sizeof(file), 1, out);
    std::fwrite(&info, sizeof(info), 1, out);
    std::fwrite(pixels.data(), 1, pixels.size(), out);
    std::fclose(out);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : ".";
    schedule::SetMessageBoxProc(SilentBox);
    schedule::ScheduleServiceLink link;
    if (!link.Open()) return 1;
    schedule::StartupValues startup = schedule::ParseStartupValues(
        "\"C:\\Ostrel\\Salvora.exe\" \"-S -n=0 -r=30\" \"C:\\Ostrel\\servers.txt\"");
    schedule::SchedulerWizard wizard(GetModuleHandleA(nullptr), link, startup);
    HWND frame = wizard.CreateModeless();
    if (!frame) return 2;
    SetWindowPos(frame, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    int saved = 0;
    for (int page = 0; page < 3; ++page) {
        PropSheet_SetCurSel(frame, nullptr, page);
        Pump(300);
        if (page == 2) {
            HWND current = PropSheet_GetCurrentPageHwnd(frame);
            SendDlgItemMessageA(current, IDC_NEXT, BM_CLICK, 0, 0);
            SendDlgItemMessageA(current, IDC_DAYS, LB_SETSEL, TRUE, 0);
            SendDlgItemMessageA(current, IDC_DAYS, LB_SETSEL, TRUE, 4);
            SetDlgItemTextA(current, IDC_HOURS, "10");
            SetDlgItemTextA(current, IDC_MINUTES, "30");
            CheckDlgButton(current, IDC_PM, BST_CHECKED);
        }
        RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Pump(500);
        std::string path = folder + "\\page" + std::to_string(page + 1) + ".bmp";
        if (SaveWindow(frame, path)) ++saved;
    }
    DestroyWindow(frame);
    return saved == 3 ? 0 : 3;
}
