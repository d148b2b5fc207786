// The account browser of the Schedule Service page: the system's picker from NETUI2.DLL,
// or, where that library is missing, a small chooser of this computer's accounts.
#include <windows.h>
#include <lm.h>

#include <cstring>
#include <string>
#include <vector>

#include "AccountChooser.h"
#include "Handle.h"
#include "ScheduleMessages.h"
#include "ScheduleServiceLink.h"
#include "SystemText.h"

namespace schedule {
namespace {

// The request of OpenUserBrowser: nine fields, 36 bytes on the 32-bit system.
struct UserBrowserRequest {
    ULONG size;
    ULONG_PTR reserved1;
    ULONG_PTR reserved2;
    HWND owner;
    const wchar_t* caption;
    ULONG_PTR reserved3;
    ULONG flags;
    ULONG helpContext;
    ULONG_PTR reserved4;
};
#if !defined(_WIN64)
static_assert(sizeof(UserBrowserRequest) == 36, "the browser request is nine 32-bit fields");
#endif

// One entry of EnumUserBrowserSelection's answer: the account and domain pointers follow
// five fields (bytes 20 and 24 on the 32-bit system).
struct UserBrowserEntry {
    ULONG_PTR reserved[5];
    const wchar_t* account;
    const wchar_t* domain;
};
#if !defined(_WIN64)
static_assert(offsetof(UserBrowserEntry, account) == 20 && offsetof(UserBrowserEntry, domain) == 24,
              "the browser entry's name pointers");
#endif

using OpenUserBrowserProc = HANDLE(WINAPI*)(UserBrowserRequest*);
using EnumUserBrowserSelectionProc = BOOL(WINAPI*)(HANDLE, void*, ULONG*);
using CloseUserBrowserProc = BOOL(WINAPI*)(HANDLE);

constexpr ULONG kBrowserFlags = 0x1004;
constexpr ULONG kBrowserHelpContext = 8001;
constexpr ULONG kSelectionBuffer = 4096;

std::string Ansi(const wchar_t* wide)
{
    if (!wide) return std::string();
    char buffer[512] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, sizeof(buffer) - 1, nullptr, nullptr);
    return buffer;
}

class Netui2Browser : public AccountBrowser {
public:
    std::optional<std::string> Browse(HWND owner) override
    {
        if (!loaded_) {
            loaded_ = true;
            library_.Reset(win::LoadSystemLibrary("NETUI2.DLL"));
            if (library_) {
                open_ = reinterpret_cast<OpenUserBrowserProc>(
                    reinterpret_cast<void*>(GetProcAddress(library_.Get(), "OpenUserBrowser")));
                if (open_)
                    enumerate_ = reinterpret_cast<EnumUserBrowserSelectionProc>(
                        reinterpret_cast<void*>(GetProcAddress(library_.Get(), "EnumUserBrowserSelection")));
                if (enumerate_)
                    close_ = reinterpret_cast<CloseUserBrowserProc>(
                        reinterpret_cast<void*>(GetProcAddress(library_.Get(), "CloseUserBrowser")));
            }
        }
        // Without the system's picker this computer's own accounts are offered instead.
        if (!library_) return ChooseLocalAccount(owner);
        if (!open_ || !enumerate_ || !close_) {
            ShowMessage(kError, owner, IDS_INCORRECT_DLL_VERSION);
            return std::nullopt;
        }

        UserBrowserRequest request = {};
        request.size = 36;
        request.owner = owner;
        request.caption = L"Select User";
        request.flags = kBrowserFlags;
        request.helpContext = kBrowserHelpContext;
        SetLastError(0);
        HANDLE browser = open_(&request);
        if (!browser) {
            if (GetLastError() != 0) ShowMessage(kError, owner, IDS_SERVER_UNAVAILABLE);
            return std::nullopt;
        }

        std::vector<ULONG_PTR> buffer(kSelectionBuffer / sizeof(ULONG_PTR));
        ULONG size = kSelectionBuffer;
        std::optional<std::string> result;
        if (enumerate_(browser, buffer.data(), &size)) {
            const auto* entry = reinterpret_cast<const UserBrowserEntry*>(buffer.data());
            std::string name = Ansi(entry->account);
            std::string domain = Ansi(entry->domain);
            if (name.find('\\') != std::string::npos)
                result = name;
            else if (!domain.empty())
                result = domain + "\\" + name;
            else
                result = "\\" + name;
        }
        if (!close_(browser)) {
            ShowMessage(kError, owner, IDS_UNKNOWN_ERROR);
            return std::nullopt;
        }
        return result;
    }

private:
    bool loaded_ = false;
    win::Library library_;
    OpenUserBrowserProc open_ = nullptr;
    EnumUserBrowserSelectionProc enumerate_ = nullptr;
    CloseUserBrowserProc close_ = nullptr;
};

} // namespace

AccountBrowser& SystemAccountBrowser()
{
    static Netui2Browser browser;
    return browser;
}

} // namespace schedule
