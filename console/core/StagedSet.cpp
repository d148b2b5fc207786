#include "StagedSet.h"

#include "Synchronization.h"

#include <cstring>
#include <map>

namespace {

// Swaps and repairs run one at a time: two computers may share one folder.
win::CriticalSection g_swapLock;
win::CriticalSection g_notesLock;
std::map<std::string, std::string> g_notes;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string Upper(std::string text)
{
    if (!text.empty()) CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// Deletes the plain files directly in `folder` (a repair set has no subfolders). True when
// every one went.
bool DeletePlainFiles(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool all = true;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::string path = folder + "\\" + found.cFileName;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA(path.c_str())) all = false;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return all;
}

// The files, then the folder; a folder holding anything but files stays.
bool RemoveSet(const std::string& folder)
{
    DeletePlainFiles(folder);
    return RemoveDirectoryA(folder.c_str()) != FALSE;
}

// Subfolders are no part of a repair set (another template's dated sets, say): they go
// back into the folder with the new set before the previous set is removed.
void MoveSubfoldersBack(const std::string& aside, const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((aside + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || std::strcmp(found.cFileName, ".") == 0 ||
            std::strcmp(found.cFileName, "..") == 0)
            continue;
        MoveFileA((aside + "\\" + found.cFileName).c_str(), (folder + "\\" + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void RemovePreviousSet(const std::string& aside, const std::string& folder)
{
    MoveSubfoldersBack(aside, folder);
    RemoveSet(aside);
}

bool IsEmptyFolder(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool empty = true;
    do {
        if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0) empty = false;
    } while (empty && FindNextFileA(search, &found));
    FindClose(search);
    return empty;
}

void RecoverLocked(const std::string& folder)
{
    std::string aside = folder + kPreviousSuffix;
    if (!IsFolder(aside)) return;
    // Ended between the two renames: the set goes back. The folder may have been made
    // again, empty, since (the fetch makes a missing output folder).
    if (IsFolder(folder) && IsEmptyFolder(folder)) RemoveDirectoryA(folder.c_str());
    if (!Exists(folder))
        MoveFileA(aside.c_str(), folder.c_str());
    else
        RemovePreviousSet(aside, folder); // ended before the previous set was removed
}

std::string WithoutTrailingBackslashes(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '\\') folder.pop_back();
    return folder;
}

// A drive's or share's root has nothing beside it to swap with.
bool IsRoot(const std::string& folder)
{
    size_t slash = folder.rfind('\\');
    if (slash == std::string::npos) return folder.size() == 2 && folder[1] == ':';
    if (slash == 2 && folder[1] == ':') return folder.size() == 3;
    if (folder.compare(0, 2, "\\\\") == 0) {
        // "\\server\share": the share is the root
        size_t serverEnd = folder.find('\\', 2);
        return serverEnd == slash;
    }
    return slash + 1 == folder.size();
}

// True when a component of `folder` is, or (for names of three characters or more)
// contains, the computer's name: the folder is that computer's own.
bool NamesComputer(const std::string& folder, const std::string& computer)
{
    if (computer.empty()) return true;
    std::string name = Upper(computer);
    std::string path = Upper(folder);
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        std::string component = path.substr(start, end - start);
        if (component == name || (name.size() >= 3 && component.find(name) != std::string::npos)) return true;
        start = end + 1;
    }
    return false;
}

} // namespace

StagedSet::StagedSet(const std::string& folder, const std::string& computer)
    : computer_(computer), folder_(WithoutTrailingBackslashes(folder))
{
    if (IsRoot(folder_)) {
        receive_ = folder_;
        return;
    }
    // A folder of its own when the template gives several computers the same one.
    receive_ = folder_ + (NamesComputer(folder_, computer) ? std::string() : "." + computer) + kIncompleteSuffix;
}

StagedSet::~StagedSet()
{
    if (!begun_ || committed_ || !IsStaged()) return;
    size_t slash = receive_.rfind('\\');
    std::string shown = slash == std::string::npos ? receive_ : receive_.substr(slash + 1);
    std::string note = " (not put in place; the files received are in " + shown + ")";
    win::CriticalSectionLock hold(g_notesLock);
    g_notes[Upper(computer_)] = note;
}

bool StagedSet::Begin()
{
    begun_ = true;
    if (!IsStaged()) return true;
    {
        win::CriticalSectionLock hold(g_swapLock);
        RecoverLocked(folder_);
    }
    // The partial files of an earlier failed transfer make way for this one.
    if (IsFolder(receive_)) {
        if (!DeletePlainFiles(receive_)) return false;
        return true;
    }
    if (CreateDirectoryA(receive_.c_str(), nullptr)) return true;
    // A file in the way: the system's code for it.
    if (GetLastError() == ERROR_ALREADY_EXISTS) SetLastError(ERROR_DIRECTORY);
    return false;
}

bool StagedSet::Commit()
{
    if (!IsStaged()) {
        committed_ = true;
        return true;
    }
    win::CriticalSectionLock hold(g_swapLock);
    RecoverLocked(folder_);
    std::string aside = folder_ + kPreviousSuffix;
    if (Exists(aside)) {
        // Something there could not be removed: the previous set stays where it is.
        SetLastError(ERROR_ALREADY_EXISTS);
        return false;
    }
    bool hadPrevious = Exists(folder_);
    if (hadPrevious && !MoveFileA(folder_.c_str(), aside.c_str())) return false;
    if (!MoveFileA(receive_.c_str(), folder_.c_str())) {
        DWORD error = GetLastError();
        if (hadPrevious) MoveFileA(aside.c_str(), folder_.c_str());
        SetLastError(error);
        return false;
    }
    committed_ = true;
    if (hadPrevious) RemovePreviousSet(aside, folder_); // what stays is removed by the next repair
    return true;
}

void RecoverStagedSet(const std::string& folder)
{
    std::string name = WithoutTrailingBackslashes(folder);
    if (name.empty() || IsRoot(name)) return;
    win::CriticalSectionLock hold(g_swapLock);
    RecoverLocked(name);
}

void ForgetIncompleteTransfers()
{
    win::CriticalSectionLock hold(g_notesLock);
    g_notes.clear();
}

std::string IncompleteTransferNote(const std::string& computer)
{
    win::CriticalSectionLock hold(g_notesLock);
    auto found = g_notes.find(Upper(computer));
    return found == g_notes.end() ? std::string() : found->second;
}
