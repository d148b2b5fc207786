#include "RepairTool.h"

#include <winternl.h>

#include <cstddef>
#include <cstring>
#include <cwctype>
#include <new>

HANDLE StartRepairTool(DWORD& processId)
{
    processId = 0;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    char commandLine[] = "rdisk.exe -s";
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE | NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    processId = process.dwProcessId;
    return process.hProcess;
}

bool RepairToolWatch::FindProcessQuery()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (!ntdll) return false;
    query_ = reinterpret_cast<QueryFunction>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation")));
    return query_ != nullptr;
}

namespace {

constexpr int kSystemProcessInformation = 5;
constexpr size_t kFirstBufferSize = 65536;
constexpr int kQueryAttempts = 5;

bool IsRepairToolImage(const UNICODE_STRING& image, const unsigned char* begin, const unsigned char* end)
{
    static const wchar_t kName[] = L"rdisk.exe";
    constexpr size_t kLength = sizeof(kName) / sizeof(kName[0]) - 1;
    if (!image.Buffer || image.Length != kLength * sizeof(wchar_t)) return false;
    // The name lives in the same buffer; a pointer outside it is not followed.
    const auto* text = reinterpret_cast<const unsigned char*>(image.Buffer);
    if (text < begin || text + image.Length > end) return false;
    for (size_t i = 0; i < kLength; ++i) {
        if (std::towlower(image.Buffer[i]) != kName[i]) return false;
    }
    return true;
}

} // namespace

int RepairToolWatch::CountRepairToolThreads(DWORD processId)
{
    if (!query_) return -1;
    if (!buffer_) {
        bufferSize_ = kFirstBufferSize;
        buffer_.reset(new (std::nothrow) unsigned char[bufferSize_]);
        if (!buffer_) return -1;
    }
    bool listed = false;
    for (int attempt = 0; attempt < kQueryAttempts; ++attempt) {
        if (query_(kSystemProcessInformation, buffer_.get(), static_cast<ULONG>(bufferSize_), nullptr) == 0) {
            listed = true;
            break;
        }
        std::unique_ptr<unsigned char[]> larger(new (std::nothrow) unsigned char[bufferSize_ * 2]);
        if (!larger) return -1;
        buffer_ = std::move(larger);
        bufferSize_ *= 2;
    }
    if (!listed) return -1;

    const unsigned char* begin = buffer_.get();
    const unsigned char* end = begin + bufferSize_;
    size_t offset = 0;
    for (;;) {
        if (offset + sizeof(SYSTEM_PROCESS_INFORMATION) > bufferSize_) break;
        SYSTEM_PROCESS_INFORMATION record;
        std::memcpy(&record, begin + offset, sizeof(record));
        if (IsRepairToolImage(record.ImageName, begin, end) &&
            reinterpret_cast<ULONG_PTR>(record.UniqueProcessId) == processId)
            return static_cast<int>(record.NumberOfThreads);
        if (record.NextEntryOffset == 0) break;
        offset += record.NextEntryOffset;
    }
    return 0;
}

bool RepairToolWatch::WatchRepairTool(DWORD processId, HANDLE process, HANDLE stopEvent)
{
    // One thread: not yet at work. More: at work. Back to one (or no longer listed):
    // finished, if it is still alive a second later.
    while (CountRepairToolThreads(processId) == 1) {
        if (WaitForSingleObject(process, 500) != WAIT_TIMEOUT) break;
        if (WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0) return true;
    }
    while (CountRepairToolThreads(processId) > 1) {
        if (WaitForSingleObject(process, 500) != WAIT_TIMEOUT) break;
        if (WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0) return true;
    }
    return WaitForSingleObject(process, 1000) == WAIT_TIMEOUT;
}
