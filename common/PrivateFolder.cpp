#include "PrivateFolder.h"

#include <cstdlib>
#include <cstring>

#include <wincrypt.h>

#include "Handle.h"
#include "Security.h"
#include "SystemText.h"

namespace win {

namespace {
constexpr int kNameAttempts = 100;
} // namespace

std::string UnpredictableHex()
{
    DWORD words[4] = {};
    HCRYPTPROV provider = 0;
    const bool random = CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
                        CryptGenRandom(provider, sizeof(words), reinterpret_cast<BYTE*>(words));
    if (provider) CryptReleaseContext(provider, 0);
    if (!random) {
        LARGE_INTEGER counter = {};
        QueryPerformanceCounter(&counter);
        FILETIME now = {};
        GetSystemTimeAsFileTime(&now);
        words[0] = counter.LowPart;
        words[1] = static_cast<DWORD>(counter.HighPart) ^ now.dwLowDateTime;
        words[2] = GetTickCount() ^ static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(&counter));
        words[3] = (GetCurrentThreadId() * 2654435761u) ^ now.dwHighDateTime;
    }
    return Format("%08lx%08lx%08lx%08lx", static_cast<unsigned long>(words[0]), static_cast<unsigned long>(words[1]),
                  static_cast<unsigned long>(words[2]), static_cast<unsigned long>(words[3]));
}

bool PrivateFolder::BaseFolder(const std::string& parent, std::string& base)
{
    base = parent;
    if (base.empty()) {
        char temp[MAX_PATH + 1] = {};
        const DWORD length = GetTempPathA(sizeof(temp), temp);
        if (length == 0 || length >= sizeof(temp)) {
            if (length != 0) SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return false;
        }
        base = temp;
    }
    if (!base.empty() && base.back() == '\\') base.pop_back();
    return true;
}

bool PrivateFolder::ProcessIdOfName(const char* prefix, const char* name, DWORD& processId)
{
    const size_t length = std::strlen(prefix);
    if (std::strncmp(name, prefix, length) != 0) return false;
    const char* digits = name + length;
    char* end = nullptr;
    const unsigned long id = std::strtoul(digits, &end, 16);
    if (end == digits || *end != '-') return false;
    processId = static_cast<DWORD>(id);
    return true;
}

bool PrivateFolder::Create(const std::string& parent)
{
    Remove();
    std::string base;
    if (!BaseFolder(parent, base)) return false;
    AdminOnlySecurity security(AdminOnlySecurity::Kind::Folder);
    if (!security.IsValid()) return false;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string path = Format("%s\\%s%lx-%s", base.c_str(), prefix_,
                                        static_cast<unsigned long>(GetCurrentProcessId()), UnpredictableHex().c_str());
        if (CreateDirectoryA(path.c_str(), security.Attributes())) {
            path_ = path;
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    SetLastError(ERROR_ALREADY_EXISTS);
    return false;
}

void PrivateFolder::Remove() noexcept
{
    if (path_.empty()) return;
    const DWORD saved = GetLastError();
    WIN32_FIND_DATAA entry;
    FindHandle find(FindFirstFileA((path_ + "\\*").c_str(), &entry));
    if (find) {
        do {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue; // only files are made here
            const std::string file = path_ + "\\" + entry.cFileName;
            SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(file.c_str());
        } while (FindNextFileA(find.Get(), &entry));
    }
    find.Reset();
    RemoveDirectoryA(path_.c_str());
    path_.clear();
    SetLastError(saved);
}

} // namespace win
