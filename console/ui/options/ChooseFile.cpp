#include "ChooseFile.h"

#include <commdlg.h>
#include <shlobj.h>

#include "Settings.h"
#include "SystemText.h"
#include "WindowsVersion.h"

namespace {

constexpr char kListFilter[] = "Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
constexpr char kLogFilter[] = "Text Files (*.txt;*.log)\0*.txt;*.log\0All Files (*.*)\0*.*\0";

bool ChooseFileName(HWND owner, const char* title, char* buffer, int kind)
{
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = kind == kChooseLogFile ? kLogFilter : kListFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = buffer;
    dialog.nMaxFile = kPathBufferSize;
    dialog.lpstrTitle = title;
    dialog.lpstrDefExt = "txt";
    if (kind == kChooseListToSave) {
        dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
        return GetSaveFileNameA(&dialog) != FALSE;
    }
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    return GetOpenFileNameA(&dialog) != FALSE;
}

// Selects the starting path when the browser opens; shows the selection (for a file, its
// folder) in the status line.
int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM lParam, LPARAM data)
{
    if (message == BFFM_INITIALIZED) {
        const char* start = reinterpret_cast<const char*>(data);
        if (start && *start) SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(start));
    } else if (message == BFFM_SELCHANGED) {
        char path[MAX_PATH] = {};
        if (SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(lParam), path)) {
            std::string shown = FolderOfChoice(path);
            SendMessageA(browser, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(shown.c_str()));
        }
    }
    return 0;
}

bool ChooseFolder(HWND owner, const char* title, char* buffer)
{
    LPITEMIDLIST root = nullptr;
    SHGetSpecialFolderLocation(owner, CSIDL_DRIVES, &root);
    std::string start = buffer;
    BROWSEINFOA browse = {};
    browse.hwndOwner = owner;
    browse.pidlRoot = root;
    browse.lpszTitle = title;
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
    // The edit box and the files beside the folders need shell32 4.71 (Internet Explorer 4.0's
    // desktop update); shell32 4.00 of a plain Windows NT 4.0 shows the folders alone.
    if (win::LoadedDllVersion("shell32.dll") >= win::PackedVersion(4, 71))
        browse.ulFlags |= BIF_EDITBOX | BIF_VALIDATE | BIF_BROWSEINCLUDEFILES; // NT 4.0 guard: shell32 4.71
    browse.lpfn = &BrowseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(start.c_str());
    LPITEMIDLIST chosen = SHBrowseForFolderA(&browse);
    bool ok = false;
    if (chosen) {
        char path[MAX_PATH] = {};
        if (SHGetPathFromIDListA(chosen, path)) ok = win::CopyText(buffer, kPathBufferSize, FolderOfChoice(path).c_str());
        CoTaskMemFree(chosen);
    }
    if (root) CoTaskMemFree(root);
    return ok;
}

} // namespace

std::string FolderOfChoice(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return path;
    size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return path;
    // "C:\file" keeps the root's backslash.
    if (slash == 2 && path[1] == ':') return path.substr(0, 3);
    return path.substr(0, slash);
}

bool ChooseFile(HWND owner, const char* title, char* buffer, int kind)
{
    if (kind == kChooseOutputFolder) return ChooseFolder(owner, title, buffer);
    return ChooseFileName(owner, title, buffer, kind);
}
