#include "TestSupport.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "Handle.h"
#include "Security.h"
#include "SystemText.h"

namespace testing_support {

TempFolder::TempFolder(const char* prefix)
{
    static std::atomic<unsigned> counter{0};
    char base[MAX_PATH] = {};
    GetTempPathA(sizeof(base), base);
    for (;;) {
        std::string candidate = win::Format("%s%s%lu_%u", base, prefix, GetCurrentProcessId(), counter++);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate;
            break;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            path_ = candidate;
            break;
        }
    }
}

TempFolder::~TempFolder()
{
    RemoveTree(path_);
}

bool RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA data;
    win::FindHandle find(FindFirstFileA((path + "\\*").c_str(), &data));
    if (find) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = path + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(find.Get(), &data));
    }
    find.Reset();
    return RemoveDirectoryA(path.c_str()) || GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
    win::Handle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool ReadWholeFile(const std::string& path, std::string& bytes)
{
    bytes.clear();
    win::Handle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    char block[65536];
    DWORD got = 0;
    while (ReadFile(file.Get(), block, sizeof(block), &got, nullptr) && got > 0) bytes.append(block, got);
    return true;
}

bool FileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

std::vector<std::string> ListNames(const std::string& folder, const char* pattern, bool folders)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    win::FindHandle find(FindFirstFileA((folder + "\\" + pattern).c_str(), &data));
    if (!find) return names;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        if (folders || !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(name);
    } while (FindNextFileA(find.Get(), &data));
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

std::vector<std::string> ListFiles(const std::string& folder) { return ListNames(folder, "*", false); }

std::vector<std::string> ListEntries(const std::string& folder, const char* pattern)
{
    return ListNames(folder, pattern, true);
}

std::string PatternBytes(size_t count, unsigned seed)
{
    std::string bytes(count, '\0');
    unsigned state = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::string BinFolder()
{
    return win::ModuleFolder();
}

int RunProgram(const std::string& commandLine, DWORD timeoutMs)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return -1;
    win::Handle process(info.hProcess);
    win::Handle thread(info.hThread);
    if (WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 1);
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    return static_cast<int>(code);
}

DaclReadBack ReadDacl(const std::string& path)
{
    DaclReadBack back;
    DWORD needed = 0;
    GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed ? needed : 1);
    BOOL present = FALSE, defaulted = FALSE;
    ACL* acl = nullptr;
    if (!GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, buffer.data(), needed, &needed) ||
        !GetSecurityDescriptorDacl(buffer.data(), &present, &acl, &defaulted) || !present || !acl)
        return back;
    back.read = true;
    back.entries = acl->AceCount;
    back.inheritable = acl->AceCount > 0;

    std::vector<BYTE> user;
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
        user.resize(needed ? needed : 1);
        if (!GetTokenInformation(token, TokenUser, user.data(), needed, &needed)) user.clear();
        CloseHandle(token);
    }
    const PSID self = user.empty() ? nullptr : reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    const win::TrustedSids sids;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(acl, i, &ace)) continue;
        auto* header = static_cast<ACE_HEADER*>(ace);
        if ((header->AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) !=
            (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE))
            back.inheritable = false;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
        if (!sids.IsTrusted(sid) && !(self && EqualSid(sid, self))) ++back.othersGranted;
    }
    return back;
}

} // namespace testing_support
