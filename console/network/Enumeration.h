// Filling the computer list from the network: all computers of a domain, or the names of a
// list file looked up many at a time on lookup threads.
#pragma once
#include "ComputerList.h"

#include <windows.h>
#include <lm.h>

#include <functional>
#include <string>

constexpr DWORD kNtBit = 0x1000;           // SV_TYPE_NT
constexpr DWORD kEnumServerTypes = 0x1B;   // workstation, server, controller, backup controller
constexpr DWORD kEnumFirstLength = 65000;  // preferred length of the first enumeration call
constexpr int kEnumMaxCalls = 10;
constexpr int kLookupMaxBusyAnswers = 10;
constexpr DWORD kLookupBusyPause = 500;    // ms between two lookups of a busy computer
constexpr DWORD kLoadingWaitLimit = 10000; // ms, longest wait for a lookup slot

// Role and "Type" column text from the type bits and version of a SERVER_INFO_101.
void DescribeServer(DWORD typeBits, DWORD versionMajor, DWORD versionMinor, ComputerRole& role, std::string& typeText);

// UTF-16 text in the ANSI code page, at most `maxCharacters` characters of the source,
// whatever its length (no fixed buffer to overflow).
std::string WideToAnsi(const wchar_t* text, size_t maxCharacters = static_cast<size_t>(-1));

ComputerEntryPtr EntryFromServerInfo(const SERVER_INFO_101& info);
// Two leading backslashes are removed and the name cut to 15 characters; type "Unknown".
ComputerEntryPtr EntryFromName(const char* name);

// The local computer's name (at most 15 characters), or nullptr when it cannot be had.
const char* LocalComputerName();

// The records of the local browser for `serverTypes` (of `domain`, or of no domain named),
// asked for in one buffer that starts at 65000 bytes and doubles while it is too small, at
// most 10 calls; `take` sees each record. False (nothing taken) when the browser fails.
bool EnumerateServers(DWORD serverTypes, const wchar_t* domain, const std::function<void(const SERVER_INFO_101&)>& take);

// Replaces the list by the Windows NT computers of `domain` (nullptr or empty: the local
// computer's domain, and then at least the local computer itself). False only when the list
// cannot be changed because a lookup batch runs.
bool RefreshFromDomain(const char* domain);

// Replaces the list by the names of the list file and looks every one up; returns when all
// lookups have ended. A file that cannot be opened leaves the list as it was. False when it
// could not be opened or a batch already runs.
bool LoadComputerList(const char* path);

// The list-file path last given to LoadComputerList.
const std::string& CurrentListFilePath();
void SetCurrentListFilePath(const char* path);

// Fills role, type text and description of one entry from the network, on the calling
// thread. Returns 0.
DWORD LookupComputer(ComputerEntry& entry);
// Runs LookupComputer on a thread of its own and does not wait for it.
void StartLookup(const ComputerEntryPtr& entry);

// Lookup threads alive now, and the most alive at once since the last reset.
LONG ActiveLookupThreads();
LONG PeakLookupThreads();
void ResetPeakLookupThreads();

// What the enumeration needs of the console's windows. All optional.
struct ComputerListUi {
    HWND owner = nullptr;          // the main window: owner of the loading window
    HINSTANCE resources = nullptr; // module holding dialog 117; the program's own when null
    void (*updateViews)(void* context) = nullptr; // shows the emptied list at once
    // Called after each step of the loading window's bar (tests and diagnostics).
    void (*progressStepped)(HWND loadingWindow, void* context) = nullptr;
    void* context = nullptr;
};
void SetComputerListUi(const ComputerListUi& ui);
