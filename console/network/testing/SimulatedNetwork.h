// A network made up in memory behind the NetworkApi seam: domains of computers with the
// type bits and versions of Windows NT servers, workstations and controllers, non-NT
// machines, computers that are busy for a while or always, computers that never answer,
// and slow answers. It counts what it was asked and how many lookups ran at once.
#pragma once
#include "NetworkApi.h"
#include "Synchronization.h"

#include <atomic>
#include <map>
#include <set>
#include <string>
#include <vector>

struct SimulatedComputer {
    std::wstring name;
    DWORD type = 0;
    DWORD versionMajor = 4;
    DWORD versionMinor = 0;
    const wchar_t* comment = nullptr; // nullptr: the record carries no comment
    int busyAnswers = 0;              // answers 1723 this many times first; -1: always
    bool unreachable = false;         // never answers: 53 after the delay
    DWORD delayMs = 0;                // time each lookup takes
};

// Type bits of common machines.
constexpr DWORD kSimPrimaryController = 0x1000 | 0x8 | 0x2 | 0x1;
constexpr DWORD kSimBackupController = 0x1000 | 0x10 | 0x2 | 0x1;
constexpr DWORD kSimNtServer = 0x1000 | 0x8000 | 0x2 | 0x1;
constexpr DWORD kSimNtWorkstation = 0x1000 | 0x1;
constexpr DWORD kSimWindows95 = 0x400000 | 0x1;
constexpr DWORD kSimLanManServer = 0x2 | 0x1;

class SimulatedNetwork final : public NetworkApi {
public:
    SimulatedNetwork();
    ~SimulatedNetwork() override;

    // A computer in `domain` (empty: the local computer's own domain).
    void Add(const SimulatedComputer& computer, const std::wstring& domain = L"");
    // Every NetServerEnum answers this status (for example 6118: no browse servers).
    void FailEnumeration(NET_API_STATUS status) { enumFailure_ = status; }
    // NetServerEnum answers 234 as long as the preferred length is below this many bytes.
    void RequireEnumLength(DWORD bytes) { requiredLength_ = bytes; }

    // What was asked.
    std::vector<DWORD> EnumLengths() const;
    std::vector<DWORD> EnumTypeMasks() const;
    std::vector<std::wstring> EnumDomains() const;
    int LookupCount(const std::wstring& name) const;
    int PeakConcurrentLookups() const { return peak_.load(); }
    int ConcurrentLookups() const { return current_.load(); }
    size_t OutstandingBuffers() const;

private:
    NET_API_STATUS ServerEnum(LPCWSTR server, DWORD level, LPBYTE* buffer, DWORD preferredLength,
                              LPDWORD entriesRead, LPDWORD totalEntries, DWORD serverType, LPCWSTR domain,
                              LPDWORD resumeHandle) override;
    NET_API_STATUS ServerGetInfo(LPWSTR server, DWORD level, LPBYTE* buffer) override;
    NET_API_STATUS BufferFree(LPVOID buffer) override;

    LPBYTE Allocate(size_t bytes);
    const SimulatedComputer* Find(const std::wstring& name) const;

    mutable win::CriticalSection lock_;
    std::vector<std::pair<std::wstring, SimulatedComputer>> computers_; // (domain, computer)
    std::map<std::wstring, int> lookups_;
    std::set<void*> buffers_;
    std::vector<DWORD> enumLengths_;
    std::vector<DWORD> enumMasks_;
    std::vector<std::wstring> enumDomains_;
    NET_API_STATUS enumFailure_ = 0;
    DWORD requiredLength_ = 0;
    std::atomic<int> current_{0};
    std::atomic<int> peak_{0};
};
