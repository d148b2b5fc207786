// The guard of one output folder across processes: a named mutex per folder, so that two
// consoles never swap sets in one folder at once and Restavo holds the folder from its
// confirmation until its swaps end. Named mutexes exist on Windows NT 4.0; the "Global\"
// name space only from Windows 2000 (Terminal Services), where it is used.
#pragma once
#include <windows.h>

#include <string>

namespace repairset {

// The mutex name of a folder: the same for every spelling of its letters' case.
std::string FolderGuardName(const std::string& folder);

class FolderGuard {
public:
    FolderGuard() = default;
    ~FolderGuard() { Release(); }
    FolderGuard(const FolderGuard&) = delete;
    FolderGuard& operator=(const FolderGuard&) = delete;

    // Waits at most `milliseconds` for the folder. False with the last error: ERROR_BUSY when
    // another holder kept it that long, or the system's code when the mutex cannot be made.
    bool Acquire(const std::string& folder, DWORD milliseconds);
    void Release() noexcept;
    bool Held() const noexcept { return held_; }

private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};

} // namespace repairset
