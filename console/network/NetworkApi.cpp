#include "NetworkApi.h"

#include <atomic>

namespace {

class Netapi32 final : public NetworkApi {
public:
    NET_API_STATUS ServerEnum(LPCWSTR server, DWORD level, LPBYTE* buffer, DWORD preferredLength,
                              LPDWORD entriesRead, LPDWORD totalEntries, DWORD serverType, LPCWSTR domain,
                              LPDWORD resumeHandle) override
    {
        return NetServerEnum(server, level, buffer, preferredLength, entriesRead, totalEntries, serverType, domain,
                             resumeHandle);
    }
    NET_API_STATUS ServerGetInfo(LPWSTR server, DWORD level, LPBYTE* buffer) override
    {
        return NetServerGetInfo(server, level, buffer);
    }
    NET_API_STATUS BufferFree(LPVOID buffer) override { return NetApiBufferFree(buffer); }
};

Netapi32 g_netapi32;
std::atomic<NetworkApi*> g_network{nullptr};

} // namespace

NetworkApi& Network()
{
    NetworkApi* api = g_network.load();
    return api ? *api : g_netapi32;
}

void SetNetwork(NetworkApi* api) { g_network.store(api); }
