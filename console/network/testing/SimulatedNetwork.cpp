#include "SimulatedNetwork.h"

#include <cstdlib>
#include <cstring>
#include <cwctype>

namespace {

std::wstring Upper(std::wstring text)
{
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

size_t RecordBytes(const SimulatedComputer& c)
{
    size_t bytes = sizeof(SERVER_INFO_101) + (c.name.size() + 1) * sizeof(wchar_t);
    if (c.comment) bytes += (std::wcslen(c.comment) + 1) * sizeof(wchar_t);
    return bytes;
}

// Writes one record and its strings (placed at `strings`, which moves on).
void FillRecord(SERVER_INFO_101& record, const SimulatedComputer& c, wchar_t*& strings)
{
    record = SERVER_INFO_101{};
    record.sv101_platform_id = (c.type & 0x1000) ? PLATFORM_ID_NT : PLATFORM_ID_DOS;
    record.sv101_type = c.type;
    record.sv101_version_major = c.versionMajor;
    record.sv101_version_minor = c.versionMinor;
    record.sv101_name = strings;
    std::wmemcpy(strings, c.name.c_str(), c.name.size() + 1);
    strings += c.name.size() + 1;
    if (c.comment) {
        size_t length = std::wcslen(c.comment);
        record.sv101_comment = strings;
        std::wmemcpy(strings, c.comment, length + 1);
        strings += length + 1;
    }
}

} // namespace

SimulatedNetwork::SimulatedNetwork() { SetNetwork(this); }

SimulatedNetwork::~SimulatedNetwork()
{
    SetNetwork(nullptr);
    for (void* buffer : buffers_) std::free(buffer);
}

void SimulatedNetwork::Add(const SimulatedComputer& computer, const std::wstring& domain)
{
    win::CriticalSectionLock guard(lock_);
    computers_.emplace_back(Upper(domain), computer);
}

std::vector<DWORD> SimulatedNetwork::EnumLengths() const
{
    win::CriticalSectionLock guard(lock_);
    return enumLengths_;
}

std::vector<DWORD> SimulatedNetwork::EnumTypeMasks() const
{
    win::CriticalSectionLock guard(lock_);
    return enumMasks_;
}

std::vector<std::wstring> SimulatedNetwork::EnumDomains() const
{
    win::CriticalSectionLock guard(lock_);
    return enumDomains_;
}

int SimulatedNetwork::LookupCount(const std::wstring& name) const
{
    win::CriticalSectionLock guard(lock_);
    auto found = lookups_.find(Upper(name));
    return found == lookups_.end() ? 0 : found->second;
}

size_t SimulatedNetwork::OutstandingBuffers() const
{
    win::CriticalSectionLock guard(lock_);
    return buffers_.size();
}

LPBYTE SimulatedNetwork::Allocate(size_t bytes)
{
    void* buffer = std::calloc(1, bytes ? bytes : 1);
    win::CriticalSectionLock guard(lock_);
    buffers_.insert(buffer);
    return static_cast<LPBYTE>(buffer);
}

const SimulatedComputer* SimulatedNetwork::Find(const std::wstring& name) const
{
    std::wstring wanted = Upper(name);
    for (const auto& [domain, computer] : computers_)
        if (Upper(computer.name) == wanted) return &computer;
    return nullptr;
}

NET_API_STATUS SimulatedNetwork::ServerEnum(LPCWSTR, DWORD level, LPBYTE* buffer, DWORD preferredLength,
                                            LPDWORD entriesRead, LPDWORD totalEntries, DWORD serverType,
                                            LPCWSTR domain, LPDWORD)
{
    *buffer = nullptr;
    *entriesRead = 0;
    *totalEntries = 0;
    std::vector<SimulatedComputer> members;
    {
        win::CriticalSectionLock guard(lock_);
        enumLengths_.push_back(preferredLength);
        enumMasks_.push_back(serverType);
        enumDomains_.push_back(domain ? domain : L"<none>");
        if (enumFailure_) return enumFailure_;
        if (level != 101) return ERROR_INVALID_LEVEL;
        std::wstring wanted = Upper(domain ? domain : L"");
        for (const auto& [memberOf, computer] : computers_)
            if (memberOf == wanted && (computer.type & serverType)) members.push_back(computer);
    }
    size_t bytes = 0;
    for (const auto& c : members) bytes += RecordBytes(c);
    bool tooSmall = preferredLength < requiredLength_ || preferredLength < bytes;
    // Like the browser, a buffer that is too small carries the records that fit.
    std::vector<SimulatedComputer> sent;
    size_t used = 0;
    for (const auto& c : members) {
        if (tooSmall && used + RecordBytes(c) > preferredLength) break;
        used += RecordBytes(c);
        sent.push_back(c);
    }
    LPBYTE block = Allocate(used);
    auto* records = reinterpret_cast<SERVER_INFO_101*>(block);
    auto* strings = reinterpret_cast<wchar_t*>(block + sent.size() * sizeof(SERVER_INFO_101));
    for (size_t i = 0; i < sent.size(); ++i) FillRecord(records[i], sent[i], strings);
    *buffer = block;
    *entriesRead = static_cast<DWORD>(sent.size());
    *totalEntries = static_cast<DWORD>(members.size());
    return tooSmall ? ERROR_MORE_DATA : NERR_Success;
}

NET_API_STATUS SimulatedNetwork::ServerGetInfo(LPWSTR server, DWORD level, LPBYTE* buffer)
{
    *buffer = nullptr;
    std::wstring name = server ? server : L"";
    while (!name.empty() && name[0] == L'\\') name.erase(0, 1);
    int now = ++current_;
    for (int seen = peak_.load(); now > seen && !peak_.compare_exchange_weak(seen, now);) {
    }
    SimulatedComputer computer;
    bool known = false;
    int askedBefore = 0;
    {
        win::CriticalSectionLock guard(lock_);
        askedBefore = lookups_[Upper(name)]++;
        if (const SimulatedComputer* found = Find(name)) {
            computer = *found;
            known = true;
        }
    }
    if (known && computer.delayMs) Sleep(computer.delayMs);
    NET_API_STATUS status = NERR_Success;
    if (level != 101) status = ERROR_INVALID_LEVEL;
    else if (!known || computer.unreachable) status = ERROR_BAD_NETPATH;
    else if (computer.busyAnswers < 0 || askedBefore < computer.busyAnswers) status = RPC_S_SERVER_TOO_BUSY;
    if (status == NERR_Success) {
        LPBYTE block = Allocate(RecordBytes(computer));
        auto* strings = reinterpret_cast<wchar_t*>(block + sizeof(SERVER_INFO_101));
        FillRecord(*reinterpret_cast<SERVER_INFO_101*>(block), computer, strings);
        *buffer = block;
    }
    --current_;
    return status;
}

NET_API_STATUS SimulatedNetwork::BufferFree(LPVOID buffer)
{
    if (!buffer) return NERR_Success;
    win::CriticalSectionLock guard(lock_);
    if (!buffers_.erase(buffer)) return ERROR_INVALID_PARAMETER;
    std::free(buffer);
    return NERR_Success;
}
