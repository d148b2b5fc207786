#include "Security.h"

#include <memory>

#include "Handle.h"
#include "WindowsVersion.h"

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
    return IsNtVersionAtLeast(5, 0);
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
    // NT 4.0 guard: SystemKnowsProtectedDacl (Windows 2000 and later).
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

bool TokenHasAdministrators(HANDLE token) noexcept
{
    DWORD needed = 0;
    if (!token || GetTokenInformation(token, TokenGroups, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
        return false;
    // DWORD-aligned, as the groups' SIDs and attributes are read in place.
    std::unique_ptr<DWORD[]> buffer(new (std::nothrow) DWORD[needed / sizeof(DWORD) + 1]);
    if (!buffer || !GetTokenInformation(token, TokenGroups, buffer.get(), needed, &needed)) return false;
    const TrustedSids sids;
    if (!sids.IsValid()) return false;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.get());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        const SID_AND_ATTRIBUTES& group = groups->Groups[i];
        if (!group.Sid || !IsValidSid(group.Sid) || !EqualSid(group.Sid, sids.Administrators())) continue;
        if ((group.Attributes & SE_GROUP_ENABLED) && !(group.Attributes & SE_GROUP_USE_FOR_DENY_ONLY)) return true;
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

bool IsPipeClientAdministrator(HANDLE pipe) noexcept
{
    // CheckTokenMembership is Windows 2000's: the client's token is read instead.
    if (!ImpersonateNamedPipeClient(pipe)) return false;
    HANDLE raw = nullptr;
    // As the service itself: the client's token may not grant it the right to be opened.
    const BOOL opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &raw);
    const DWORD openError = GetLastError();
    Handle token(opened ? raw : nullptr);
    const bool administrator = opened && TokenHasAdministrators(token.Get());
    const DWORD error = opened ? GetLastError() : openError;
    // Nothing else may run under the client's identity.
    if (!RevertToSelf()) return false;
    SetLastError(administrator ? ERROR_SUCCESS : error);
    return administrator;
}

} // namespace win
