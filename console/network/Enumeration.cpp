#include "Enumeration.h"

#include "ConsoleState.h"
#include "Handle.h"
#include "NetworkApi.h"
#include "NetworkResource.h"
#include "Settings.h"
#include "SystemText.h"
#include "WaitCursor.h"

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <io.h>
#include <cstring>
#include <new>

namespace {

std::string g_listFilePath;
volatile LONG g_activeLookups = 0;
volatile LONG g_peakLookups = 0;

void CountLookupThread()
{
    LONG now = InterlockedIncrement(&g_activeLookups);
    for (LONG seen = g_peakLookups; now > seen; seen = g_peakLookups)
        if (InterlockedCompareExchange(&g_peakLookups, now, seen) == seen) break;
}
ComputerListUi g_ui;

// The lookups of one LoadComputerList call. Only lookups started by the batch account
// to it, so a lookup started earlier (the local computer of a refresh, Add Computer) can
// never finish the batch early.
struct LookupBatch {
    HANDLE slots = nullptr;
    HANDLE allDone = nullptr;
    LONG total = 0;
    volatile LONG done = 0;
};

struct LookupJob {
    ComputerEntryPtr entry;
    LookupBatch* batch = nullptr;
};

void FinishLookup(LookupBatch* batch)
{
    if (!batch) return;
    if (batch->slots) ReleaseSemaphore(batch->slots, 1, nullptr);
    HANDLE allDone = batch->allDone;
    LONG total = batch->total;
    if (InterlockedIncrement(&batch->done) == total && allDone) SetEvent(allDone);
}

void MarkUnknown(ComputerEntry& entry) { entry.SetInfo(kRoleUndetermined, "Unknown", ""); }

void QueryComputer(ComputerEntry& entry)
{
    std::wstring server = L"\\\\";
    int length = MultiByteToWideChar(CP_ACP, 0, entry.name.c_str(), -1, nullptr, 0);
    if (length > 1) {
        std::wstring wide(static_cast<size_t>(length), L'\0');
        MultiByteToWideChar(CP_ACP, 0, entry.name.c_str(), -1, wide.data(), length);
        wide.resize(static_cast<size_t>(length - 1));
        server += wide.substr(0, kMaxComputerName);
    }
    NetworkApi& network = Network();
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = network.ServerGetInfo(server.data(), 101, &buffer);
    for (int busy = 1; status == RPC_S_SERVER_TOO_BUSY && busy < kLookupMaxBusyAnswers; ++busy) {
        if (buffer) network.BufferFree(buffer), buffer = nullptr;
        Sleep(kLookupBusyPause);
        status = network.ServerGetInfo(server.data(), 101, &buffer);
    }
    if (status == NERR_Success && buffer) {
        const auto* info = reinterpret_cast<const SERVER_INFO_101*>(buffer);
        ComputerRole role = kRoleUndetermined;
        std::string type;
        DescribeServer(info->sv101_type, info->sv101_version_major, info->sv101_version_minor, role, type);
        std::string description = (info->sv101_type & kNtBit) ? WideToAnsi(info->sv101_comment) : std::string();
        entry.SetInfo(role, type, description);
    } else {
        MarkUnknown(entry);
    }
    if (buffer) network.BufferFree(buffer);
}

DWORD WINAPI LookupThread(void* parameter)
{
    LookupJob* job = static_cast<LookupJob*>(parameter);
    QueryComputer(*job->entry);
    LookupBatch* batch = job->batch;
    delete job; // the entry is released before the batch may end
    FinishLookup(batch);
    InterlockedDecrement(&g_activeLookups);
    return 0;
}

void StartLookupIn(const ComputerEntryPtr& entry, LookupBatch* batch)
{
    LookupJob* job = new (std::nothrow) LookupJob{entry, batch};
    CountLookupThread();
    HANDLE thread = job ? CreateThread(nullptr, 0, LookupThread, job, 0, &entry->lookupThreadId) : nullptr;
    if (thread) {
        entry->lookupThread = thread;
        CloseHandle(thread);
        entry->lookupThread = nullptr;
        return;
    }
    InterlockedDecrement(&g_activeLookups);
    delete job;
    MarkUnknown(*entry);
    FinishLookup(batch);
}

std::string CutName(const std::string& name)
{
    return name.size() > kMaxComputerName ? name.substr(0, kMaxComputerName) : name;
}

INT_PTR CALLBACK LoadingProcedure(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

HWND OpenLoadingWindow(LONG total)
{
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    HINSTANCE resources = g_ui.resources ? g_ui.resources : GetModuleHandleA(nullptr);
    HWND window = CreateDialogParamA(resources, MAKEINTRESOURCEA(IDD_LOADING), g_ui.owner, LoadingProcedure, 0);
    if (!window) return nullptr;
    RECT box{};
    GetWindowRect(window, &box);
    RECT area{};
    if (!g_ui.owner || !GetWindowRect(g_ui.owner, &area)) SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    int width = box.right - box.left;
    int height = box.bottom - box.top;
    SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    HWND bar = GetDlgItem(window, IDC_LOADING_PROGRESS);
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, static_cast<WORD>(total)));
    SendMessageA(bar, PBM_SETSTEP, 1, 0);
    SendMessageA(bar, PBM_SETPOS, 0, 0);
    return window;
}

// Waits up to 10 s for a free slot, waking for input: one message is dispatched (a WM_QUIT
// is kept to be posted again once the batch has ended).
void WaitForSlot(HANDLE slots, bool& quitSeen, WPARAM& quitCode)
{
    DWORD wait = MsgWaitForMultipleObjects(1, &slots, FALSE, kLoadingWaitLimit, QS_ALLINPUT);
    if (wait != WAIT_OBJECT_0 + 1) return;
    MSG message{};
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return;
    if (message.message == WM_QUIT) {
        quitSeen = true;
        quitCode = message.wParam;
        return;
    }
    DispatchMessageA(&message);
    if (message.message == WM_PAINT && message.hwnd)
        RedrawWindow(message.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

} // namespace

void DescribeServer(DWORD typeBits, DWORD versionMajor, DWORD versionMinor, ComputerRole& role, std::string& typeText)
{
    if (!(typeBits & kNtBit)) {
        role = kRoleUndetermined;
        typeText = "Unknown";
        return;
    }
    std::string suffix = win::Format(" (%li.%li)", static_cast<long>(versionMajor & MAJOR_VERSION_MASK),
                                     static_cast<long>(versionMinor));
    const char* kind = nullptr;
    if (typeBits & SV_TYPE_DOMAIN_CTRL) {
        role = kRolePrimaryController;
        kind = "Primary Domain Controller";
    } else if (typeBits & SV_TYPE_DOMAIN_BAKCTRL) {
        role = kRoleBackupController;
        kind = "Backup Domain Controller";
    } else if (typeBits & SV_TYPE_SERVER_NT) {
        role = kRoleServer;
        kind = "Server";
    } else if (typeBits & SV_TYPE_WORKSTATION) {
        role = kRoleWorkstation;
        kind = "Workstation";
    }
    if (!kind) {
        role = kRoleUndetermined;
        typeText = "Unknown";
        return;
    }
    typeText = std::string("Windows NT ") + kind + suffix;
}

std::string WideToAnsi(const wchar_t* text, size_t maxCharacters)
{
    if (!text) return std::string();
    size_t length = wcslen(text);
    if (length > maxCharacters) length = maxCharacters;
    if (length == 0 || length > 0x7FFFFFF) return std::string();
    int wide = static_cast<int>(length);
    int needed = WideCharToMultiByte(CP_ACP, 0, text, wide, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::string();
    std::string result(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, wide, result.data(), needed, nullptr, nullptr);
    return result;
}

ComputerEntryPtr EntryFromServerInfo(const SERVER_INFO_101& info)
{
    auto entry = std::make_shared<ComputerEntry>(CutName(WideToAnsi(info.sv101_name, kMaxComputerName)));
    ComputerRole role = kRoleUndetermined;
    std::string type;
    DescribeServer(info.sv101_type, info.sv101_version_major, info.sv101_version_minor, role, type);
    std::string description = (info.sv101_type & kNtBit) ? WideToAnsi(info.sv101_comment) : std::string();
    entry->SetInfo(role, type, description);
    return entry;
}

ComputerEntryPtr EntryFromName(const char* name)
{
    std::string text = name ? name : "";
    if (text.size() >= 2 && text[0] == '\\' && text[1] == '\\') text.erase(0, 2);
    auto entry = std::make_shared<ComputerEntry>(CutName(text));
    MarkUnknown(*entry);
    return entry;
}

const char* LocalComputerName()
{
    // Read once, on first use; the compiler guards the initialisation of the static.
    struct Name {
        char text[kMaxComputerName + 1];
        bool known;
    };
    static const Name local = [] {
        Name name = {};
        DWORD size = sizeof(name.text);
        name.known = GetComputerNameA(name.text, &size) != FALSE;
        name.text[kMaxComputerName] = '\0';
        return name;
    }();
    return local.known ? local.text : nullptr;
}

bool EnumerateServers(DWORD serverTypes, const wchar_t* domain, const std::function<void(const SERVER_INFO_101&)>& take)
{
    NetworkApi& network = Network();
    DWORD preferred = kEnumFirstLength;
    LPBYTE buffer = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    NET_API_STATUS status = ERROR_MORE_DATA;
    for (int call = 0; call < kEnumMaxCalls && status == ERROR_MORE_DATA; ++call) {
        if (buffer) network.BufferFree(buffer), buffer = nullptr;
        if (call) preferred *= 2;
        read = 0;
        status = network.ServerEnum(nullptr, 101, &buffer, preferred, &read, &total, serverTypes, domain, nullptr);
    }
    bool succeeded = status == NERR_Success && buffer;
    if (succeeded) {
        const auto* records = reinterpret_cast<const SERVER_INFO_101*>(buffer);
        for (DWORD i = 0; i < read; ++i) take(records[i]);
    }
    if (buffer) network.BufferFree(buffer);
    return succeeded;
}

bool RefreshFromDomain(const char* domain)
{
    ComputerList& list = TheComputerList();
    if (list.IsBatchRunning()) return false;
    win::WaitCursor wait;

    bool named = domain && *domain;
    std::wstring wideDomain;
    if (named) {
        int length = MultiByteToWideChar(CP_ACP, 0, domain, -1, nullptr, 0);
        if (length > 1) {
            wideDomain.assign(static_cast<size_t>(length), L'\0');
            MultiByteToWideChar(CP_ACP, 0, domain, -1, wideDomain.data(), length);
            wideDomain.resize(static_cast<size_t>(length - 1));
            if (wideDomain.size() > kMaxComputerName) wideDomain.resize(kMaxComputerName);
        }
    }
    list.Clear();

    size_t appended = 0;
    EnumerateServers(kEnumServerTypes, named ? wideDomain.c_str() : nullptr, [&](const SERVER_INFO_101& record) {
        if (!(record.sv101_type & kNtBit)) return;
        list.Append(EntryFromServerInfo(record));
        ++appended;
    });

    if (appended == 0 && !named) {
        if (const char* local = LocalComputerName()) {
            ComputerEntryPtr entry = EntryFromName(local);
            list.Append(entry);
            StartLookup(entry);
        }
    }
    return true;
}

namespace {

// The lines of a list file, as `fgets` gives them (a longer line in pieces), but only from
// the bytes the file held when it was opened: a file that another program keeps appending
// to would otherwise never reach its end, and the list never be loaded.
class ListFileLines {
public:
    explicit ListFileLines(FILE* file) : file_(file)
    {
        DWORD high = 0;
        DWORD low = GetFileSize(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))), &high);
        if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) low = 0;
        left_ = high ? ~static_cast<DWORD>(0) : low;
    }

    // The next line with its line feed, terminated; its length, 0 at the end.
    size_t Next(char* line, size_t size)
    {
        size_t length = 0;
        while (length + 1 < size) {
            if (at_ == have_ && !Fill()) break;
            const char c = block_[at_++];
            line[length++] = c;
            if (c == '\n') break;
        }
        line[length] = '\0';
        return length;
    }

    void Stop() { left_ = 0, at_ = have_ = 0; }

private:
    bool Fill()
    {
        const DWORD want = left_ < sizeof(block_) ? left_ : static_cast<DWORD>(sizeof(block_));
        have_ = want ? std::fread(block_, 1, want, file_) : 0;
        at_ = 0;
        left_ = have_ ? left_ - static_cast<DWORD>(have_) : 0;
        return have_ != 0;
    }

    FILE* file_;
    DWORD left_ = 0;
    char block_[4096];
    size_t have_ = 0;
    size_t at_ = 0;
};

} // namespace

bool LoadComputerList(const char* path)
{
    ComputerList& list = TheComputerList();
    if (list.IsBatchRunning()) return false;
    SetCurrentListFilePath(path);
    // Read as bytes: the line ends' carriage returns are blanks to the word scan, and a
    // Ctrl-Z ends the names as the runtime's text mode would.
    FILE* file = path ? std::fopen(path, "rb") : nullptr;
    if (!file) return false;
    ListFileLines lines(file);

    list.Clear();
    bool interactive = !IsUnattended();
    if (interactive && g_ui.updateViews) g_ui.updateViews(g_ui.context);

    char line[kPathBufferSize];
    size_t length = 0;
    while ((length = lines.Next(line, sizeof(line))) != 0) {
        if (char* end = static_cast<char*>(std::memchr(line, 0x1A, length))) {
            *end = '\0';
            lines.Stop();
        }
        char word[18] = {};
        if (std::sscanf(line, "%17s", word) != 1) continue;
        list.Append(EntryFromName(word));
    }
    if (list.Empty()) {
        std::fclose(file);
        return true;
    }

    LookupBatch batch;
    batch.total = static_cast<LONG>(list.Size());
    batch.done = 0;
    HWND loading = interactive ? OpenLoadingWindow(batch.total) : nullptr;
    HWND bar = loading ? GetDlgItem(loading, IDC_LOADING_PROGRESS) : nullptr;
    long slots = LookupSlotCount();
    win::Handle slotSemaphore(CreateSemaphoreA(nullptr, slots, slots, nullptr));
    win::Handle allDone(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    batch.slots = slotSemaphore.Get();
    batch.allDone = allDone.Get();

    bool quitSeen = false;
    WPARAM quitCode = 0;
    {
        LookupBatchScope running;
        // The entries are taken before the first lookup starts; the list cannot change now.
        std::vector<ComputerEntryPtr> entries = list.Entries();
        for (const ComputerEntryPtr& entry : entries) {
            StartLookupIn(entry, &batch);
            if (batch.slots) WaitForSlot(batch.slots, quitSeen, quitCode);
            else Sleep(0);
            if (bar) SendMessageA(bar, PBM_STEPIT, 0, 0);
            if (loading && g_ui.progressStepped) g_ui.progressStepped(loading, g_ui.context);
        }
        if (batch.allDone) {
            WaitForSingleObject(batch.allDone, INFINITE);
        } else {
            // Without an event the count itself is watched.
            while (InterlockedCompareExchange(&batch.done, 0, 0) != batch.total) Sleep(10);
        }
    }
    batch.slots = nullptr;
    batch.allDone = nullptr;
    if (loading) DestroyWindow(loading);
    std::fclose(file);
    if (quitSeen) PostQuitMessage(static_cast<int>(quitCode));
    return true;
}

const std::string& CurrentListFilePath() { return g_listFilePath; }
void SetCurrentListFilePath(const char* path) { g_listFilePath = path ? path : ""; }

DWORD LookupComputer(ComputerEntry& entry)
{
    QueryComputer(entry);
    return 0;
}

void StartLookup(const ComputerEntryPtr& entry)
{
    if (entry) StartLookupIn(entry, nullptr);
}

LONG ActiveLookupThreads() { return InterlockedCompareExchange(&g_activeLookups, 0, 0); }
LONG PeakLookupThreads() { return InterlockedCompareExchange(&g_peakLookups, 0, 0); }
void ResetPeakLookupThreads() { InterlockedExchange(&g_peakLookups, ActiveLookupThreads()); }

void SetComputerListUi(const ComputerListUi& ui) { g_ui = ui; }
