#include "Browse.h"

#include <commdlg.h>
#include <dlgs.h>

#include <cstring>

#include "Handle.h"
#include "Messages.h"
#include "Resource.h"
#include "RestoreEngine.h"
#include "SystemText.h"

namespace restavo {

namespace {

constexpr char kFilter[] = "Emergency Repair Files\0*._\0All Files\0*.*\0";

// Explorer style: beep at the start, and show each folder the user enters in the file-name box.
UINT_PTR CALLBACK ExplorerHook(HWND hook, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        MessageBeep(0xFFFFFFFF);
    } else if (message == WM_NOTIFY) {
        const auto* notify = reinterpret_cast<const OFNOTIFYA*>(lParam);
        if (notify->hdr.code == CDN_FOLDERCHANGE) {
            HWND dialog = GetParent(hook);
            char folder[kPathSize + 2] = {};
            SendMessageA(dialog, CDM_GETFOLDERPATH, kPathSize, reinterpret_cast<LPARAM>(folder));
            size_t length = std::strlen(folder);
            if (length > 0 && folder[length - 1] == '\\') std::strcat(folder, "..");
            // The file-name box: an edit in the older dialogs, a combo box in the newer ones.
            HWND box = GetDlgItem(dialog, edt1);
            if (!box) box = GetDlgItem(dialog, cmb13);
            SetWindowTextA(box, folder);
        }
    }
    return 0;
}

// Classic style: the hidden file-name edit (edt1) and the visible path edit are kept in step.
bool g_firstTextPending = false;
WNDPROC g_fileNameProc = nullptr;
WNDPROC g_pathProc = nullptr;

LRESULT CALLBACK FileNameEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT) {
        const char* text = reinterpret_cast<const char*>(lParam);
        if (!text) text = "";
        HWND path = GetDlgItem(GetParent(edit), IDC_CLASSIC_PATH);
        if (g_firstTextPending) {
            if (std::strcmp(text, "*.") != 0) {
                SetWindowTextA(path, text);
                g_firstTextPending = false;
            }
        } else if (*text) {
            SetWindowTextA(path, text);
        } else {
            g_firstTextPending = false;
            SetWindowTextA(path, "");
            return CallWindowProcA(g_fileNameProc, edit, message, wParam, reinterpret_cast<LPARAM>("*."));
        }
    }
    return CallWindowProcA(g_fileNameProc, edit, message, wParam, lParam);
}

LRESULT CALLBACK PathEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KILLFOCUS) {
        std::string text = win::WindowText(edit);
        g_firstTextPending = text.empty();
        SetDlgItemTextA(GetParent(edit), edt1, text.empty() ? "*." : text.c_str());
    }
    return CallWindowProcA(g_pathProc, edit, message, wParam, lParam);
}

UINT_PTR CALLBACK ClassicHook(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        g_fileNameProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            GetDlgItem(dialog, edt1), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FileNameEditProc)));
        g_pathProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            GetDlgItem(dialog, IDC_CLASSIC_PATH), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PathEditProc)));
        // The dialog may have filled the file-name edit before it called the hook.
        SetDlgItemTextA(dialog, IDC_CLASSIC_PATH, win::WindowText(GetDlgItem(dialog, edt1)).c_str());
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK && GetFocus() == GetDlgItem(dialog, IDC_CLASSIC_PATH)) {
        SetDlgItemTextA(dialog, edt1, win::WindowText(GetDlgItem(dialog, IDC_CLASSIC_PATH)).c_str());
    }
    return FALSE;
}

bool RunOpenDialog(const char* title, HWND owner, const std::string& start, DWORD majorVersion)
{
    char file[kPathSize] = {};
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = kFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof(file);
    ofn.lpstrTitle = title;
    if (majorVersion >= 4) {
        // The starting folder as the initial folder; a folder name in the file buffer would
        // be taken as a file name in its parent folder.
        ofn.lpstrInitialDir = start.c_str();
        ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_HIDEREADONLY | OFN_NOVALIDATE;
        ofn.lpfnHook = &ExplorerHook;
        return GetOpenFileNameA(&ofn) != FALSE;
    }
    std::string initial = start + (!start.empty() && start.back() == '\\' ? "*.*" : "\\*.*");
    win::CopyText(file, sizeof(file), initial.c_str());
    ofn.lpstrInitialDir = start.c_str();
    ofn.hInstance = ResourceInstance();
    ofn.lpTemplateName = MAKEINTRESOURCEA(IDD_OPEN_CLASSIC);
    ofn.Flags = OFN_ENABLEHOOK | OFN_ENABLETEMPLATE | OFN_HIDEREADONLY | OFN_NOVALIDATE;
    ofn.lpfnHook = &ClassicHook;
    g_firstTextPending = true; // the dialog's first text for the file name is the pattern
    return GetOpenFileNameA(&ofn) != FALSE;
}

} // namespace

std::string EnterStartingFolder(const std::string& path)
{
    std::string candidate = path.substr(0, kPathSize);
    while (!SetCurrentDirectoryA(candidate.c_str())) {
        if (candidate.empty()) break;
        size_t cut = candidate.rfind('\\');
        if (cut == std::string::npos || cut == 0) break;
        candidate.resize(cut);
    }
    char current[kPathSize] = {};
    DWORD length = GetCurrentDirectoryA(sizeof(current), current);
    return length > 0 && length < sizeof(current) ? current : "";
}

namespace {

// Puts the current folder back as it was when the guard was made.
class CurrentFolderGuard {
public:
    CurrentFolderGuard()
    {
        DWORD length = GetCurrentDirectoryA(sizeof(saved_), saved_);
        if (length == 0 || length >= sizeof(saved_)) saved_[0] = '\0';
    }
    ~CurrentFolderGuard()
    {
        if (saved_[0]) SetCurrentDirectoryA(saved_);
    }
    CurrentFolderGuard(const CurrentFolderGuard&) = delete;
    CurrentFolderGuard& operator=(const CurrentFolderGuard&) = delete;

private:
    char saved_[kPathSize] = {};
};

} // namespace

bool BrowseErdFolder(const char* title, HWND owner, std::string& path, DWORD majorVersion)
{
    // The browse works through the current folder; left in the chosen folder, which holds
    // files copied from a target, it would be searched for programs and libraries.
    CurrentFolderGuard guard;
    std::string start = EnterStartingFolder(path);
    if (!RunOpenDialog(title, owner, start, majorVersion)) return false;
    // The dialog moved the current directory along as the user went from folder to folder.
    char current[kPathSize] = {};
    DWORD length = GetCurrentDirectoryA(sizeof(current), current);
    if (length == 0 || length >= sizeof(current)) return false;
    path = current;
    return true;
}

bool BrowseComputerName(HWND owner, std::string& name)
{
    char buffer[kPathSize] = {};
    if (win::BrowseComputer(ResourceInstance(), owner, buffer, 256) <= 0) return false;
    if (buffer[0] != '\\' && buffer[1] != '\\') return false;
    char result[257] = {};
    win::CopyText(result, sizeof(result), buffer);
    name = result;
    return true;
}

} // namespace restavo
