// The local security authority and LAN Manager behind ScheduleServiceLink::EnsureLogonRight.
#include <windows.h>
#include <lm.h>
#include <ntsecapi.h>

#include <string>

#include "ScheduleServiceLink.h"

namespace schedule {
namespace {

constexpr size_t kRightNameBuffer = 100;
constexpr size_t kMaxRightCharacters = 100;

// A counted wide string over `text`, which must outlive it.
LSA_UNICODE_STRING Counted(std::wstring& text)
{
    LSA_UNICODE_STRING counted = {};
    counted.Buffer = text.empty() ? nullptr : text.data();
    counted.Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
    counted.MaximumLength = counted.Length;
    return counted;
}

std::wstring Wide(const std::string& text, size_t maxCharacters)
{
    if (text.empty()) return std::wstring();
    int count = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (count <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), count);
    wide.resize(static_cast<size_t>(count - 1));
    if (wide.size() > maxCharacters) wide.resize(maxCharacters);
    return wide;
}

// Owner of an open policy handle.
class Policy {
public:
    Policy(const std::string& server, ACCESS_MASK access)
    {
        std::wstring name = Wide(server, 255);
        LSA_UNICODE_STRING counted = Counted(name);
        LSA_OBJECT_ATTRIBUTES attributes = {};
        if (LsaOpenPolicy(server.empty() ? nullptr : &counted, &attributes, access, &handle_) != 0)
            handle_ = nullptr;
    }
    ~Policy()
    {
        if (handle_) LsaClose(handle_);
    }
    Policy(const Policy&) = delete;
    Policy& operator=(const Policy&) = delete;
    LSA_HANDLE Get() const { return handle_; }

private:
    LSA_HANDLE handle_ = nullptr;
};

class LocalAuthority : public SecurityPolicy {
public:
    bool LocalServerType(DWORD& type) override
    {
        BYTE* buffer = nullptr;
        if (NetServerGetInfo(nullptr, 101, &buffer) != NERR_Success || !buffer) return false;
        type = reinterpret_cast<SERVER_INFO_101*>(buffer)->sv101_type;
        NetApiBufferFree(buffer);
        return true;
    }

    bool PrimaryDomainController(std::string& name) override
    {
        BYTE* buffer = nullptr;
        if (NetGetDCName(nullptr, nullptr, &buffer) != NERR_Success || !buffer) return false;
        const wchar_t* wide = reinterpret_cast<const wchar_t*>(buffer);
        while (*wide == L'\\') ++wide;
        char ansi[MAX_PATH] = {};
        WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, sizeof(ansi) - 1, nullptr, nullptr);
        NetApiBufferFree(buffer);
        name = ansi;
        return !name.empty();
    }

    bool HasRight(const std::string& server, PSID sid, const char* right) override
    {
        Policy policy(server, POLICY_LOOKUP_NAMES);
        if (!policy.Get()) return false;
        LSA_UNICODE_STRING* names = nullptr;
        ULONG count = 0;
        if (LsaEnumerateAccountRights(policy.Get(), sid, &names, &count) != 0) return false;
        bool found = false;
        for (ULONG i = 0; i < count && !found; ++i) {
            char ansi[kRightNameBuffer] = {};
            int characters = static_cast<int>(names[i].Length / sizeof(wchar_t));
            int written = WideCharToMultiByte(CP_ACP, 0, names[i].Buffer, characters, ansi, sizeof(ansi) - 1,
                                              nullptr, nullptr);
            if (written > 0 && std::string(ansi, static_cast<size_t>(written)) == right) found = true;
        }
        LsaFreeMemory(names);
        return found;
    }

    bool AddRights(const std::string& server, PSID sid, const std::vector<std::string>& rights) override
    {
        Policy policy(server, POLICY_LOOKUP_NAMES | POLICY_CREATE_ACCOUNT);
        if (!policy.Get()) return false;
        for (const std::string& right : rights) {
            std::wstring wide = Wide(right, kMaxRightCharacters);
            LSA_UNICODE_STRING counted = Counted(wide);
            if (LsaAddAccountRights(policy.Get(), sid, &counted, 1) != 0) return false;
        }
        return true;
    }
};

} // namespace

SecurityPolicy& SystemSecurityPolicy()
{
    static LocalAuthority authority;
    return authority;
}

} // namespace schedule
