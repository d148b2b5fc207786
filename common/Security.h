// Security descriptors of what holds the repair data: only the local Administrators group and
// LocalSystem may touch a hive copy, a pipe that carries one, or a folder that keeps one.
// Everything here exists on Windows NT 4.0 (no SetSecurityDescriptorControl, no
// AddAccessAllowedAceEx, no CheckTokenMembership).
#pragma once
#include <windows.h>

namespace win {

// The two well-known SIDs the suite trusts, allocated once per object.
class TrustedSids {
public:
    TrustedSids() noexcept;
    ~TrustedSids();
    TrustedSids(const TrustedSids&) = delete;
    TrustedSids& operator=(const TrustedSids&) = delete;

    bool IsValid() const noexcept { return admins_ && system_; }
    PSID Administrators() const noexcept { return admins_; }
    PSID LocalSystem() const noexcept { return system_; }
    // True when `sid` is the Administrators group or LocalSystem.
    bool IsTrusted(PSID sid) const noexcept;

private:
    PSID admins_ = nullptr;
    PSID system_ = nullptr;
};

// True on Windows 2000 and later, which know SE_DACL_PROTECTED (NT 4.0 has no inheritance
// from parents to block, and leaves the bit unused).
bool SystemKnowsProtectedDacl() noexcept;
// Windows 2000 or a later Windows NT-family version (GetVersionExA).
bool IsWindows2000OrLater() noexcept;

// An absolute descriptor whose DACL grants Administrators and LocalSystem full control and
// nothing else, protected from the parent's inheritable entries. For folders the entries are
// inherited by what is made inside (objects and subfolders).
class AdminOnlySecurity {
public:
    enum class Kind { File, Folder };
    // `access` is the right each entry grants (GENERIC_ALL, or FILE_ALL_ACCESS for pipes).
    explicit AdminOnlySecurity(Kind kind = Kind::File, DWORD access = GENERIC_ALL) noexcept;
    AdminOnlySecurity(const AdminOnlySecurity&) = delete;
    AdminOnlySecurity& operator=(const AdminOnlySecurity&) = delete;

    // False when the descriptor could not be built; the last error is kept.
    bool IsValid() const noexcept { return ok_; }
    // The owner: the Administrators group, which an ordinary account cannot give what it makes.
    bool SetAdministratorsOwner() noexcept;
    void ClearOwner() noexcept;

    SECURITY_DESCRIPTOR* Descriptor() noexcept { return &descriptor_; }
    // For CreateFileA, CreateDirectoryA, CreateNamedPipeA; null when the descriptor is not valid.
    SECURITY_ATTRIBUTES* Attributes() noexcept { return ok_ ? &attributes_ : nullptr; }
    const TrustedSids& Sids() const noexcept { return sids_; }

    // Puts the descriptor's DACL on an existing file or folder (SetFileSecurityA). False with
    // the last error kept.
    bool ApplyTo(const char* path) noexcept;

private:
    TrustedSids sids_;
    alignas(DWORD) BYTE acl_[128] = {};
    SECURITY_DESCRIPTOR descriptor_ = {};
    SECURITY_ATTRIBUTES attributes_ = {};
    bool ok_ = false;
};

// Gives a file or folder that this process made the administrators-only DACL (a folder's
// entries inherited by its contents). False with the last error kept.
bool MakeAdminOnly(const char* path, bool folder) noexcept;

// True when the kernel object's owner is the Administrators group or LocalSystem. A
// descriptor naming no owner, or one that cannot be read, is not trusted.
bool IsOwnedByAdministrators(HANDLE object) noexcept;

// True when the token's groups hold the Administrators group enabled (a group kept only to
// deny access does not count). Reads TokenGroups, as Windows NT 4.0 can.
bool TokenHasAdministrators(HANDLE token) noexcept;

// True when the client connected to the server end `pipe` is an administrator: its token,
// taken by impersonating it (identification is enough), holds the Administrators group.
// The thread reverts to its own token before returning. False with the last error kept.
bool IsPipeClientAdministrator(HANDLE pipe) noexcept;

} // namespace win
