// Simulated target computers for the creation run's tests and benchmark: each "deployed"
// agent is a thread of this process that runs the agent's side of the real protocol (the
// real PipeChannel and the agent's own SendFolderFiles), on a pipe name of its own, sending
// the files of a repair folder of its own; its script only injects faults. Each computer
// has one service manager: a second deployment to a computer whose agent still runs fails
// as the real one does (the service exists and is running, 1056), and that job's finishing
// steps leave the running agent alone. The repair folders hold real sets: real saved hives,
// compressed.
#pragma once
#include "CreationRun.h"
#include "Synchronization.h"

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace simagents {

enum class Behaviour {
    Success,        // status "Success", then every file and "<Finish>"
    FailureStatus,  // status failed with `failureCode`; files only after a go-ahead
    AgentTimeout,   // status failed with -3, then the agent ends
    HalfTransfer,   // success, then the agent vanishes as its first file goes out
    TimeLimitHalf,  // success, then the agent's time limit cancels the rest of the first file
    StopMidTransfer, // success, then the service is stopped after the first file
    VanishedFile,   // success, then the second file disappears before it is sent
    Vanish,         // the agent ends without any status
    ErrorListing,   // success, all files but the last, then the listing fails: "<Error>"
    InstallFailure, // the agent cannot be installed: "Agent install error", access denied
    Unreachable,    // the computer never answers: the deployment costs `deployMs`, then
                    // "Agent install error", RPC server unavailable
};

// Where a transfer that succeeded so far breaks: the agent disconnects there.
enum class Break {
    None,
    AfterName,    // file `breakFile`'s name message, then nothing
    MidFile,      // file `breakFile`'s name and first data message, then nothing
    BetweenFiles, // every file before `breakFile` whole, then nothing
    BeforeFinish, // every file whole, no terminator name
};

struct Script {
    Behaviour behaviour = Behaviour::Success;
    DWORD workMs = 0;          // rdisk.exe's work before the status goes out
    DWORD failureCode = ERROR_FILE_NOT_FOUND;
    size_t fileBytes = 3000;   // about the size of the first repair file (a real hive, padded)
    unsigned fileCount = 6;    // repair files, of the whole set's six; fewer: a set cut short
    DWORD perFileDelayMs = 0; // the look at the stop event before each file (slow transfers)
    DWORD deployMs = 0;        // what deploying costs (copy, service start); Cancel ends it
    bool endsAfterStatus = false; // the agent ends right after its status, before the go-ahead
    Break breakAt = Break::None;
    unsigned breakFile = 1;
};

class SimulatedDeployer final : public AgentDeployer {
public:
    // Each agent's repair folder is `repairRoot` + "\" + its computer's name.
    explicit SimulatedDeployer(std::string repairRoot);
    ~SimulatedDeployer() override;
    SimulatedDeployer(const SimulatedDeployer&) = delete;
    SimulatedDeployer& operator=(const SimulatedDeployer&) = delete;

    Script defaultScript;
    // False: every repair folder was made beforehand (MakeRepairFolder), not at deployment.
    bool prepareFolders = true;
    void SetScript(const std::string& computer, const Script& script);
    // Called at the start of every Deploy (tests cancel from here).
    std::function<void(CreationJob&)> onDeploy;
    // Called at the start of every Remove (the job's finishing steps, after its fetch).
    std::function<void(CreationJob&)> onRemove;
    // Called by an agent thread right after its status went out.
    std::function<void(const std::string&)> onStatusSent;
    // The stack each agent thread reserves.
    static constexpr DWORD kAgentStack = 64 * 1024;

    bool Deploy(CreationJob& job) override;
    void Remove(CreationJob& job) override;

    std::string RepairFolder(const std::string& computer) const { return root_ + "\\" + computer; }
    LONG DeployedCount() const noexcept { return deployed_; }
    LONG RemovedCount() const noexcept { return removed_; }
    const std::vector<std::string>& DeployOrder() const noexcept { return order_; }
    // The computers in the order their agents read the console's go-ahead (a fetch began).
    std::vector<std::string> GoAheadOrder() const;
    // Waits (bounded) until every agent thread has ended; true when all did.
    bool WaitForAgents(DWORD milliseconds);
    // Tick at which the last agent's status went out (0: none), and a computer's (0: none).
    DWORD LastStatusTick() const noexcept { return lastStatusTick_; }
    DWORD StatusTick(const std::string& computer) const;
    // Agent threads running now.
    LONG AliveAgents() const noexcept { return alive_; }
    // Deployments under way now, and the most under way at once.
    LONG Deploying() const noexcept { return deploying_; }
    LONG PeakDeploying() const noexcept { return peakDeploying_; }
    // Makes the repair folder of a computer with the files of its script.
    void MakeRepairFolder(const std::string& computer, const Script& script) const;

    struct Agent;

private:
    static DWORD WINAPI AgentThread(void* parameter);
    void RunAgent(Agent& agent);

    std::string root_;
    mutable win::CriticalSection lock_; // deployments run side by side
    std::map<std::string, Agent*> services_; // per computer (upper case): its agent's service
    std::map<CreationJob*, std::string> opened_; // jobs holding a computer's service open
    std::map<std::string, Script> scripts_;
    std::map<std::string, DWORD> statusTicks_;
    std::vector<std::unique_ptr<Agent>> agents_;
    std::vector<std::string> order_;
    std::vector<std::string> goAheads_;
    volatile LONG deployed_ = 0;
    volatile LONG removed_ = 0;
    volatile LONG lastStatusTick_ = 0;
    volatile LONG deploying_ = 0;
    volatile LONG alive_ = 0;
    volatile LONG peakDeploying_ = 0;
};

// The names a simulated repair folder's files get, in order.
extern const char* const kRepairFileNames[6];

} // namespace simagents
