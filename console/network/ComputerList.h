// The console's computer list: one per process, an ordered sequence of ComputerEntry
// records kept outside any window, so that the unattended run can use it as well.
#pragma once
#include <windows.h>
#include <winsvc.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Synchronization.h"

// What a computer is; the view's filters and role icons depend on it.
enum ComputerRole : uint32_t {
    kRoleUndetermined = 0,
    kRolePrimaryController = 1,
    kRoleBackupController = 2,
    kRoleServer = 3,
    kRoleWorkstation = 4,
};

// A computer's outcome in a creation run; also the string-table number of its message.
enum JobResult : uint32_t {
    kJobCancelled = 5,
    kJobInstallError = 6,
    kJobTimeout = 8,
    kJobOutputFolderError = 9,
    kJobCopyError = 10,
    kJobSucceeded = 11,
    kJobCommunication = 16,
    kJobUnsupportedPlatform = 19,
};

constexpr size_t kMaxComputerName = 15; // NetBIOS names

// One computer of the list. The name never changes after the entry is built. Role, type
// text and description may be filled by a lookup thread while another thread reads them,
// so they are published under the entry's lock and read as copies.
class ComputerEntry {
public:
    explicit ComputerEntry(std::string computerName);
    ComputerEntry(const ComputerEntry&) = delete;
    ComputerEntry& operator=(const ComputerEntry&) = delete;

    volatile LONG selected = 0; // takes part in the next creation run
    const std::string name;     // at most 15 characters, no leading backslashes

    ComputerRole Role() const;
    std::string TypeText() const;
    std::string Description() const;
    void SetInfo(ComputerRole role, const std::string& typeText, const std::string& description);

    HANDLE lookupThread = nullptr; // only while StartLookup creates the thread
    DWORD lookupThreadId = 0;

    // The creation run's fields, empty until a run uses them.
    volatile LONG inProgress = 0;
    uint32_t result = 0; // JobResult
    uint32_t errorCode = 0; // 0 and 0xFFFFFFFF mean "no code"
    SC_HANDLE scmHandle = nullptr;
    SC_HANDLE serviceHandle = nullptr;
    std::string agentPath;

private:
    mutable win::CriticalSection lock_;
    ComputerRole role_ = kRoleUndetermined;
    std::string typeText_;
    std::string description_;
};

using ComputerEntryPtr = std::shared_ptr<ComputerEntry>;

// The ordered list. It is changed only on the user-interface thread (or the main thread of
// an unattended run); while a lookup batch runs every change is refused, so the lookup
// threads never see the list move. Lookup threads hold their entry themselves, so an entry
// removed from the list lives on until its lookup has ended.
class ComputerList {
public:
    size_t Size() const noexcept { return entries_.size(); }
    bool Empty() const noexcept { return entries_.empty(); }
    const ComputerEntryPtr& At(size_t index) const { return entries_[index]; }
    const std::vector<ComputerEntryPtr>& Entries() const noexcept { return entries_; }

    // Each is refused (false) while a lookup batch runs.
    bool Clear();
    bool Append(ComputerEntryPtr entry);
    bool RemoveAt(size_t index);

    bool IsBatchRunning() const noexcept;

private:
    std::vector<ComputerEntryPtr> entries_;
};

ComputerList& TheComputerList();

// Marks a lookup batch as running for its lifetime (LoadComputerList).
class LookupBatchScope {
public:
    LookupBatchScope();
    ~LookupBatchScope();
    LookupBatchScope(const LookupBatchScope&) = delete;
    LookupBatchScope& operator=(const LookupBatchScope&) = delete;
};
