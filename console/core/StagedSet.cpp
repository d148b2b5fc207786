#include "StagedSet.h"

#include "ConsoleStrings.h"
#include "FolderGuard.h"
#include "Handle.h"
#include "Messages.h"
#include "Security.h"
#include "Settings.h"
#include "Synchronization.h"
#include "SystemText.h"

#include <cstring>
#include <map>
#include <vector>

namespace {

constexpr unsigned kNameAttempts = 4096;
constexpr DWORD kRetryPause = 100;
constexpr size_t kPathLimit = MAX_PATH - 1;
// Where the console records its swaps and the sets it keeps aside, under its settings key:
// only administrators may write there.
constexpr char kRecordKey[] = "Staging";

win::CriticalSection g_notesLock;
std::map<std::string, std::string> g_notes;
volatile LONG g_stopAfterStep = 0;

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

std::string LastComponent(const std::string& path)
{
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The names of the plain files directly in `folder` (a repair set has no subfolders).
std::vector<std::string> PlainFiles(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    win::FindHandle search(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!search) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search.Get(), &found));
    return names;
}

void DeletePlainFiles(const std::string& folder)
{
    for (const std::string& name : PlainFiles(folder)) {
        std::string path = folder + "\\" + name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
}

// The files, then the folder; a folder holding anything but files stays.
void RemoveSet(const std::string& folder)
{
    DeletePlainFiles(folder);
    RemoveDirectoryA(folder.c_str());
}

// Subfolders are no part of a repair set (another template's dated sets, say): they go back
// into the folder with the new set before the previous set is removed.
void RemovePreviousSet(const std::string& aside, const std::string& folder)
{
    WIN32_FIND_DATAA found;
    win::FindHandle search(FindFirstFileA((aside + "\\*").c_str(), &found));
    if (search) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || std::strcmp(found.cFileName, ".") == 0 ||
                std::strcmp(found.cFileName, "..") == 0)
                continue;
            MoveFileA((aside + "\\" + found.cFileName).c_str(), (folder + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(search.Get(), &found));
    }
    search.Reset();
    RemoveSet(aside);
}

// Every plain file of `folder` administrators-only on the file itself: a received file takes
// its folder's inheritable entries on Windows, but not on every system.
void ProtectFiles(const std::string& folder)
{
    win::AdminOnlySecurity security(win::AdminOnlySecurity::Kind::File);
    for (const std::string& name : PlainFiles(folder)) security.ApplyTo((folder + "\\" + name).c_str());
}

// Moves the plain files of `from` into `to` (only those named like a file of `namesOf` when
// it is given: a drive's root keeps what is not part of the set); false with the system's
// code at the first that fails (those moved stay moved).
bool MoveFiles(const std::string& from, const std::string& to, const std::string& namesOf = std::string())
{
    for (const std::string& name : PlainFiles(namesOf.empty() ? from : namesOf)) {
        if (!namesOf.empty() && !Exists(from + "\\" + name)) continue;
        if (!RenameWithRetry(from + "\\" + name, to + "\\" + name)) return false;
    }
    return true;
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
        size_t serverEnd = folder.find('\\', 2); // "\\server\share": the share is the root
        return serverEnd == slash;
    }
    return slash + 1 == folder.size();
}

// Where the staging and previous-set folders of `folder` are made.
std::string StagingParent(const std::string& folder, bool root)
{
    if (root) return folder;
    size_t slash = folder.rfind('\\');
    if (slash == std::string::npos) return ".";
    return folder.substr(0, slash);
}

std::string StagingName(const std::string& parent, unsigned number)
{
    return parent + "\\" + kStagingMark + win::Format("%x", number);
}

// A folder made new under `parent`, administrators-only; a name that exists is skipped.
bool MakeStagingFolder(const std::string& parent, std::string& made)
{
    win::AdminOnlySecurity security(win::AdminOnlySecurity::Kind::Folder);
    if (!security.IsValid()) return false;
    for (unsigned number = 0; number < kNameAttempts; ++number) {
        const std::string path = StagingName(parent, number);
        if (CreateDirectoryA(path.c_str(), security.Attributes())) {
            made = path;
            return true;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS && error != ERROR_ACCESS_DENIED) return false;
    }
    SetLastError(ERROR_ALREADY_EXISTS);
    return false;
}

// The console's records ---------------------------------------------------------------------

bool OpenRecords(win::RegKey& key)
{
    const std::string path = std::string(kSettingsKey) + kRecordKey;
    win::AdminOnlySecurity security(win::AdminOnlySecurity::Kind::Folder);
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                  security.Attributes(), key.Receive(), nullptr);
    SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

bool WriteRecord(const std::string& name, const std::string& text)
{
    win::RegKey key;
    if (!OpenRecords(key)) return false;
    LONG status = RegSetValueExA(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1));
    SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

std::string ReadRecord(const std::string& name)
{
    win::RegKey key;
    if (!OpenRecords(key)) return std::string();
    char text[3 * MAX_PATH + 8] = {};
    DWORD size = sizeof(text) - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::string();
    return text;
}

void DeleteRecord(const std::string& name)
{
    win::RegKey key;
    if (OpenRecords(key)) RegDeleteValueA(key.Get(), name.c_str());
}

std::string SwapRecordName(const std::string& folder) { return "Swap " + Upper(folder); }
std::string AsideRecordName(const std::string& folder, const std::string& computer)
{
    return "Aside " + Upper(folder) + "|" + Upper(computer);
}

// A swap's record: its phase (1: the folder going aside, 2: the new set going in place, 3:
// the previous set going), the previous-set folder and the staging folder.
struct SwapRecord {
    int phase = 0;
    std::string aside;
    std::string incoming;
};

bool WriteSwap(const std::string& folder, const SwapRecord& record)
{
    return WriteRecord(SwapRecordName(folder), win::Format("%d|", record.phase) + record.aside + "|" + record.incoming);
}

SwapRecord ReadSwap(const std::string& folder)
{
    SwapRecord record;
    const std::string text = ReadRecord(SwapRecordName(folder));
    const size_t first = text.find('|');
    const size_t second = first == std::string::npos ? first : text.find('|', first + 1);
    if (second == std::string::npos || first != 1 || text[0] < '1' || text[0] > '3') return record;
    record.phase = text[0] - '0';
    record.aside = text.substr(first + 1, second - first - 1);
    record.incoming = text.substr(second + 1);
    return record;
}

// Completes (the new set was in its place or going there) or undoes (the folder was going
// aside) the recorded swap of `folder`. Only the folders the record names are touched.
void RecoverLocked(const std::string& folder, bool root, bool keepIncoming = false)
{
    const SwapRecord record = ReadSwap(folder);
    if (record.phase == 0) return;
    if (record.phase == 1) {
        if (root) {
            if (IsFolder(record.aside)) MoveFiles(record.aside, folder);
            RemoveDirectoryA(record.aside.c_str());
        } else if (!Exists(folder) && IsFolder(record.aside)) {
            RenameWithRetry(record.aside, folder);
        }
        // The console's own staging folder of a swap it did not finish; a swap that failed
        // now keeps it aside instead.
        if (!keepIncoming && IsFolder(record.incoming)) RemoveSet(record.incoming);
    } else {
        if (record.phase == 2 && IsFolder(record.incoming)) {
            if (root) {
                if (MoveFiles(record.incoming, folder)) RemoveDirectoryA(record.incoming.c_str());
            } else if (!Exists(folder)) {
                RenameWithRetry(record.incoming, folder);
            }
        }
        if (IsFolder(record.aside)) {
            if (root)
                RemoveSet(record.aside);
            else
                RemovePreviousSet(record.aside, folder);
        }
    }
    DeleteRecord(SwapRecordName(folder));
}

bool StopHere(int step) { return g_stopAfterStep == step && InterlockedExchange(&g_stopAfterStep, 0) == step; }

} // namespace

bool RenameWithRetry(const std::string& from, const std::string& to, DWORD limit)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (MoveFileA(from.c_str(), to.c_str())) return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION && error != ERROR_ACCESS_DENIED) ||
            win::TicksSince(start) >= limit) {
            SetLastError(error);
            return false;
        }
        Sleep(kRetryPause);
    }
}

void StopNextSwapAfterStep(int steps) { InterlockedExchange(&g_stopAfterStep, steps); }

StagedSet::StagedSet(const std::string& folder, const std::string& computer)
    : computer_(computer), folder_(WithoutTrailingBackslashes(folder)), root_(IsRoot(folder_)),
      parent_(StagingParent(folder_, root_))
{
}

StagedSet::~StagedSet()
{
    if (begun_ && !committed_ && !receive_.empty()) KeepAside();
}

void StagedSet::KeepAside()
{
    try {
        ProtectFiles(receive_);
        // Only the latest set kept aside per folder and computer, and only one the console made.
        const std::string recordName = AsideRecordName(folder_, computer_);
        const std::string earlier = ReadRecord(recordName);
        if (!earlier.empty() && Upper(earlier) != Upper(receive_) && IsFolder(earlier)) RemoveSet(earlier);
        WriteRecord(recordName, receive_);

        std::string format, note;
        const std::string& shown = receive_;
        if (!rejection_.Passed() && LoadConsoleString(IDS_SET_REJECTED, format))
            note = win::Format(format.c_str(), repairset::Describe(rejection_).c_str(), shown.c_str());
        else if (LoadConsoleString(IDS_SET_INCOMPLETE, format))
            note = win::Format(format.c_str(), shown.c_str());
        win::CriticalSectionLock hold(g_notesLock);
        g_notes[Upper(computer_)] = note;
    } catch (...) {
        // Out of memory: the files stay where they are, without a note.
    }
}

bool StagedSet::Begin()
{
    begun_ = true;
    const std::string name = root_ ? std::string() : LastComponent(folder_);
    if (name.compare(0, sizeof(kStagingMark) - 1, kStagingMark) == 0) {
        SetLastError(ERROR_INVALID_NAME); // no output folder can be one of the staging folders
        return false;
    }
    if (Exists(folder_) && !IsFolder(folder_)) {
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    RecoverStagedSet(folder_);
    std::string made;
    if (!MakeStagingFolder(parent_, made)) return false;
    // The set's files must fit under the staging folder wherever they fit under the folder.
    if (made.size() > folder_.size() && made.size() + 1 + 12 > kPathLimit) {
        RemoveDirectoryA(made.c_str());
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    receive_ = made;
    return true;
}

bool StagedSet::Commit()
{
    if (receive_.empty()) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return false;
    }
    ProtectFiles(receive_);
    rejection_ = repairset::CheckSet(receive_);
    if (!rejection_.Passed()) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    repairset::FolderGuard guard;
    if (!guard.Acquire(folder_, kFolderGuardWait)) return false;
    RecoverLocked(folder_, root_);
    return Swap();
}

bool StagedSet::Swap()
{
    SwapRecord record;
    record.phase = 1;
    record.incoming = receive_;
    const bool hadPrevious = !root_ && Exists(folder_);
    if (root_) {
        if (!MakeStagingFolder(parent_, record.aside) || !WriteSwap(folder_, record)) {
            DWORD error = GetLastError();
            if (!record.aside.empty()) RemoveDirectoryA(record.aside.c_str());
            SetLastError(error);
            return false;
        }
        if (!MoveFiles(folder_, record.aside, receive_)) {
            DWORD error = GetLastError();
            RecoverLocked(folder_, root_, true);
            SetLastError(error);
            return false;
        }
    } else if (hadPrevious) {
        // The previous set goes to a name that does not exist: a rename never merges into
        // a folder someone else made.
        bool moved = false;
        for (unsigned number = 0; number < kNameAttempts && !moved; ++number) {
            record.aside = StagingName(parent_, number);
            if (Exists(record.aside)) continue;
            if (!WriteSwap(folder_, record)) return false;
            moved = RenameWithRetry(folder_, record.aside);
            if (!moved && GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) {
                DWORD error = GetLastError();
                DeleteRecord(SwapRecordName(folder_));
                SetLastError(error);
                return false;
            }
        }
        if (!moved) {
            DeleteRecord(SwapRecordName(folder_));
            SetLastError(ERROR_ALREADY_EXISTS);
            return false;
        }
    }
    if (StopHere(1)) {
        committed_ = true; // as if the console had ended here: nothing more is done
        return false;
    }
    record.phase = 2;
    if (hadPrevious || root_) WriteSwap(folder_, record);
    const bool placed = root_ ? MoveFiles(receive_, folder_) : RenameWithRetry(receive_, folder_);
    if (!placed) {
        const DWORD error = GetLastError();
        if (root_) MoveFiles(folder_, receive_); // what arrived goes back aside, the old set returns
        record.phase = 1;
        WriteSwap(folder_, record);
        RecoverLocked(folder_, root_, true);
        SetLastError(error);
        return false;
    }
    if (root_) RemoveDirectoryA(receive_.c_str());
    committed_ = true;
    // A set kept aside earlier for this computer is of no use beside a good one.
    const std::string recordName = AsideRecordName(folder_, computer_);
    const std::string earlier = ReadRecord(recordName);
    if (!earlier.empty() && IsFolder(earlier)) RemoveSet(earlier);
    DeleteRecord(recordName);
    if (StopHere(2)) return true;
    RecoverLocked(folder_, root_); // phase 2 done: the previous set is removed, the record goes
    return true;
}

void RecoverStagedSet(const std::string& folder)
{
    const std::string name = WithoutTrailingBackslashes(folder);
    if (name.empty()) return;
    repairset::FolderGuard guard;
    if (!guard.Acquire(name, kFolderGuardWait)) return;
    RecoverLocked(name, IsRoot(name));
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
