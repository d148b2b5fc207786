#include "FolderGuard.h"

#include "Security.h"
#include "SystemText.h"

#include <cstdint>

namespace repairset {
namespace {

bool HasGlobalNamespace()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    return GetVersionExA(&version) && version.dwMajorVersion >= 5;
}

} // namespace

std::string FolderGuardName(const std::string& folder)
{
    std::string upper = folder;
    while (upper.size() > 3 && (upper.back() == '\\' || upper.back() == '/')) upper.pop_back();
    if (!upper.empty()) CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
    // FNV-1a over the name: a mutex name holds no backslash and has a bounded length.
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : upper) {
        hash ^= c == '/' ? '\\' : c;
        hash *= 1099511628211ull;
    }
    return win::Format("%sOstrelRepairSet-%08lx%08lx-%lu", HasGlobalNamespace() ? "Global\\" : "",
                       static_cast<unsigned long>(hash >> 32), static_cast<unsigned long>(hash & 0xFFFFFFFFu),
                       static_cast<unsigned long>(upper.size()));
}

bool FolderGuard::Acquire(const std::string& folder, DWORD milliseconds)
{
    Release();
    win::AdminOnlySecurity security(win::AdminOnlySecurity::Kind::File, MUTEX_ALL_ACCESS);
    mutex_ = CreateMutexA(security.Attributes(), FALSE, FolderGuardName(folder).c_str());
    if (!mutex_) return false;
    const DWORD waited = WaitForSingleObject(mutex_, milliseconds);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        held_ = true;
        return true;
    }
    const DWORD error = waited == WAIT_TIMEOUT ? ERROR_BUSY : GetLastError();
    CloseHandle(mutex_);
    mutex_ = nullptr;
    SetLastError(error);
    return false;
}

void FolderGuard::Release() noexcept
{
    if (held_) ReleaseMutex(mutex_);
    held_ = false;
    if (mutex_) CloseHandle(mutex_);
    mutex_ = nullptr;
}

} // namespace repairset
