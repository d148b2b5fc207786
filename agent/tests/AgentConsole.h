// The console's side of an agent run, for tests: the agent installed and started as a
// real service under the Service Control Manager, and one conversation over its pipe.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "Handle.h"
#include "PipeChannel.h"

namespace agent_console {

constexpr char kServiceName[] = "Vantoro.exe";
constexpr char kImagePath[] = "%SystemRoot%\\System32\\Vantoro.exe";

// Copies the build's Vantoro.exe into the system folder.
bool InstallAgentFile();

// Waits (up to `timeoutMs`) until no service of the computer is start-pending for a
// while: Wine's own services start in the background after a new prefix is made, and a
// start of ours in that time can fail. Returns the milliseconds waited.
DWORD WaitForServicesToSettle(DWORD timeoutMs);

// Ends every rdisk.exe process still running; returns how many there were.
int EndRepairTools();
// Running processes whose image is `image`.
int CountProcesses(const char* image);

class AgentService {
public:
    AgentService();
    ~AgentService() { Remove(); }
    AgentService(const AgentService&) = delete;
    AgentService& operator=(const AgentService&) = delete;

    // Creates the service as the console does (own process, demand start, LocalSystem),
    // removing one left from before.
    bool Create();
    // Starts it with `arguments` (retrying while the database is locked).
    bool Start(const std::vector<std::string>& arguments);
    SERVICE_STATUS Status();
    bool WaitForState(DWORD state, DWORD timeoutMs);
    // Stops it (if it runs) and deletes it, waiting until it is gone.
    void Remove();
    SC_HANDLE Handle() const { return service_.Get(); }

private:
    win::ServiceHandle manager_;
    win::ServiceHandle service_;
};

// One conversation with the agent, as the console holds it.
class Conversation {
public:
    bool Open();
    bool ReadStatus(AgentStatus& status);
    bool SendGoAhead();
    // ReceiveFile until a terminator name, -1 or -3; the names in arrival order.
    std::vector<std::string> ReceiveAll(const std::string& folder, int& lastResult);
    void Close() { channel.Close(); }

    PipeChannel channel;
};

} // namespace agent_console
