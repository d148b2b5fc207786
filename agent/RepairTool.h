// The platform's repair-disk utility as the agent runs it: "rdisk.exe -s", started with
// the ordinary executable search and watched through the system's process list. The
// utility does not end by itself once it has written the repair data, so its end of
// work is judged from its thread count.
#pragma once
#include <windows.h>

#include <memory>

// Starts "rdisk.exe -s". Returns its process handle and id, or nullptr with the id 0 and
// the last-error code of the failed start.
HANDLE StartRepairTool(DWORD& processId);
// True for the start failures that mean the system has no rdisk.exe (Windows 2000 and later).
inline bool RepairToolMissing(DWORD startError)
{
    return startError == ERROR_FILE_NOT_FOUND || startError == ERROR_PATH_NOT_FOUND;
}

class RepairToolWatch {
public:
    // Finds NtQuerySystemInformation in ntdll.dll; false when it is missing.
    bool FindProcessQuery();

    // The thread count of the process `processId` when its image is rdisk.exe; 0 when
    // there is no such process, -1 when the process list cannot be read.
    int CountRepairToolThreads(DWORD processId);

    // True when the utility has finished its work (back to one thread and still alive a
    // second later) or `stopEvent` was set; false when it ended by itself.
    bool WatchRepairTool(DWORD processId, HANDLE process, HANDLE stopEvent);

    // Bytes of the process-information buffer (65536 at first, doubled while too small).
    size_t BufferSize() const noexcept { return bufferSize_; }

private:
    using QueryFunction = LONG(WINAPI*)(int, void*, ULONG, ULONG*);

    QueryFunction query_ = nullptr;
    std::unique_ptr<unsigned char[]> buffer_;
    size_t bufferSize_ = 0;
};
