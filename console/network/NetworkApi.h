// The LAN Manager calls of the computer enumeration, behind one small interface: the
// product uses NETAPI32 itself, the tests put a simulated network in its place.
#pragma once
#include <windows.h>
#include <lm.h>

class NetworkApi {
public:
    virtual ~NetworkApi() = default;
    virtual NET_API_STATUS ServerEnum(LPCWSTR server, DWORD level, LPBYTE* buffer, DWORD preferredLength,
                                      LPDWORD entriesRead, LPDWORD totalEntries, DWORD serverType,
                                      LPCWSTR domain, LPDWORD resumeHandle) = 0;
    virtual NET_API_STATUS ServerGetInfo(LPWSTR server, DWORD level, LPBYTE* buffer) = 0;
    virtual NET_API_STATUS BufferFree(LPVOID buffer) = 0;
};

// The network in use: NETAPI32 unless another one has been set.
NetworkApi& Network();
// Puts `api` in place of NETAPI32 (nullptr puts NETAPI32 back). Set before any lookup runs.
void SetNetwork(NetworkApi* api);
