#include "Security.h"

namespace win {

TrustedSids::TrustedSids() noexcept
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &admins_))
        admins_ = nullptr;
    if (!AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system_))
        system_ = nullptr;
}

TrustedSids::~TrustedSids()
{
    if (admins_) FreeSid(admins_);
    if (system_) FreeSid(system_);
}

bool TrustedSids::IsTrusted(PSID sid) const noexcept
{
    if (!IsValid() || !sid || !IsValidSid(sid)) return false;
    return EqualSid(sid, admins_) || EqualSid(sid, system_);
}

bool SystemKnowsProtectedDacl() noexcept { return IsWindows2000OrLater(); }

bool IsWindows2000OrLater() noexcept
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExA(&version)) return false;
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5;
}

AdminOnlySecurity::AdminOnlySecurity(Kind kind, DWORD access) noexcept
{
    if (!sids_.IsValid()) return;
    auto* acl = reinterpret_cast<ACL*>(acl_);
    const DWORD size = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) +
                       GetLengthSid(sids_.Administrators()) + GetLengthSid(sids_.LocalSystem());
    if (size > sizeof(acl_) || !InitializeAcl(acl, size, ACL_REVISION)) return;
    if (!AddAccessAllowedAce(acl, ACL_REVISION, access, sids_.Administrators()) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, access, sids_.LocalSystem()))
        return;
    if (kind == Kind::Folder) {
        // AddAccessAllowedAceEx is newer than Windows NT 4.0: the inheritance flags go into
        // the entries' headers instead.
        for (DWORD i = 0; i < acl->AceCount; ++i) {
            void* ace = nullptr;
            if (!GetAce(acl, i, &ace)) return;
            static_cast<ACE_HEADER*>(ace)->AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
        }
    }
    if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE))
        return;
    // SetSecurityDescriptorControl is Windows 2000's: the bit is set in the declared record.
    if (SystemKnowsProtectedDacl()) descriptor_.Control |= SE_DACL_PROTECTED;
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    ok_ = true;
}

bool AdminOnlySecurity::SetAdministratorsOwner() noexcept
{
    return ok_ && SetSecurityDescriptorOwner(&descriptor_, sids_.Administrators(), FALSE);
}

void AdminOnlySecurity::ClearOwner() noexcept
{
    SetSecurityDescriptorOwner(&descriptor_, nullptr, FALSE);
}

bool AdminOnlySecurity::ApplyTo(const char* path) noexcept
{
    if (!ok_) {
        if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return false;
    }
    return SetFileSecurityA(path, DACL_SECURITY_INFORMATION, &descriptor_) != FALSE;
}

bool MakeAdminOnly(const char* path, bool folder) noexcept
{
    AdminOnlySecurity security(folder ? AdminOnlySecurity::Kind::Folder : AdminOnlySecurity::Kind::File);
    return security.ApplyTo(path);
}

bool IsOwnedByAdministrators(HANDLE object) noexcept
{
    alignas(DWORD) BYTE buffer[512];
    DWORD needed = 0;
    if (!GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, buffer, sizeof(buffer), &needed)) return false;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(buffer, &owner, &defaulted) || !owner) return false;
    const TrustedSids sids;
    return sids.IsTrusted(owner);
}

} // namespace win
