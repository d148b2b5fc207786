#include "SimulatedAgents.h"

#include "FolderSender.h"
#include "RepairSet.h"
#include "Settings.h"
#include "SmallHive.h"
#include "SystemText.h"

#include <cctype>
#include <cstring>

namespace simagents {

const char* const kRepairFileNames[6] = {"system._", "software._", "sam._", "security._", "default._", "setup.log"};

namespace {

constexpr DWORD kAgentWaitLimit = 60000;    // no simulated wait is unbounded
constexpr DWORD kGoAheadWaitLimit = 900000; // the go-ahead's wait, unbounded in the agent
constexpr DWORD kStopWaitLimit = 5000;      // a service stop's wait for the stopped state
volatile LONG g_pipeCounter = 0;

std::string Bytes(size_t count, unsigned seed)
{
    std::string bytes(count, '\0');
    unsigned value = seed * 2654435761u + 1;
    for (size_t i = 0; i < count; ++i) {
        value = value * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(value >> 16);
    }
    return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

// What a deployment costs: a wait that Cancel ends early. True when it was cancelled.
bool DeploymentCost(DWORD milliseconds)
{
    if (!milliseconds) return IsCancelRequested();
    HANDLE abort = TheRunState().abortEvent;
    if (!abort) {
        Sleep(milliseconds);
    } else {
        DWORD start = GetTickCount();
        for (DWORD spent = 0; spent < milliseconds; spent = GetTickCount() - start) {
            if (WaitForSingleObject(abort, milliseconds - spent) != WAIT_OBJECT_0) break;
            if (IsCancelRequested()) return true;
            Sleep(10); // signalled for another reason (the run's time limit): the cost stands
        }
    }
    return IsCancelRequested();
}

std::string ServiceKey(const std::string& computer)
{
    std::string key = computer;
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return key;
}

bool IsRunning(HANDLE thread) { return thread && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT; }

} // namespace

struct SimulatedDeployer::Agent {
    SimulatedDeployer* owner = nullptr;
    std::string computer;
    std::string pipeName;
    std::string folder;
    Script script;
    bool alwaysCopy = false;
    HANDLE stopEvent = nullptr;
    HANDLE thread = nullptr;
    volatile LONG timedOut = 0;
};

SimulatedDeployer::SimulatedDeployer(std::string repairRoot) : root_(std::move(repairRoot)) {}

SimulatedDeployer::~SimulatedDeployer()
{
    for (auto& agent : agents_)
        if (agent->stopEvent) SetEvent(agent->stopEvent);
    WaitForAgents(kAgentWaitLimit);
    for (auto& agent : agents_) {
        if (agent->thread) CloseHandle(agent->thread);
        if (agent->stopEvent) CloseHandle(agent->stopEvent);
    }
}

void SimulatedDeployer::MakeRepairFolder(const std::string& computer, const Script& script) const
{
    std::string folder = RepairFolder(computer);
    CreateDirectoryA(root_.c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    // A real set: each hive a real saved hive, compressed; the first one padded to about
    // `fileBytes` compressed, the others small and different per computer.
    unsigned count = script.fileCount > 6 ? 6 : script.fileCount;
    for (unsigned i = 0; i < count; ++i) {
        const std::string path = folder + "\\" + kRepairFileNames[i];
        if (std::strcmp(kRepairFileNames[i], repairset::kSetupLog) == 0) {
            WriteFileBytes(path, "[Paths]\r\n" + Bytes(100 + 37 * i, static_cast<unsigned>(computer.size())));
            continue;
        }
        const size_t padding = i == 0 ? script.fileBytes / 3 : 8 * (i + computer.size() % 7);
        WriteFileBytes(path, repairset_testing::CompressedSmallHive(padding));
    }
}

void SimulatedDeployer::SetScript(const std::string& computer, const Script& script)
{
    win::CriticalSectionLock hold(lock_);
    scripts_[computer] = script;
}

DWORD SimulatedDeployer::StatusTick(const std::string& computer) const
{
    win::CriticalSectionLock hold(lock_);
    auto found = statusTicks_.find(computer);
    return found == statusTicks_.end() ? 0 : found->second;
}

std::vector<std::string> SimulatedDeployer::GoAheadOrder() const
{
    win::CriticalSectionLock hold(lock_);
    return goAheads_;
}

bool SimulatedDeployer::Deploy(CreationJob& job)
{
    if (onDeploy) onDeploy(job);
    ComputerEntry& entry = job.entry;
    Script script = defaultScript;
    {
        win::CriticalSectionLock hold(lock_);
        order_.push_back(entry.name);
        auto found = scripts_.find(entry.name);
        if (found != scripts_.end()) script = found->second;
    }
    InterlockedIncrement(&deployed_);
    // A computer that is on answers its service control manager call at once; the cost is
    // what follows (copy, service start).
    if (script.behaviour != Behaviour::Unreachable) InterlockedExchange(&job.targetAnswered, 1);
    LONG now = InterlockedIncrement(&deploying_);
    for (LONG peak = peakDeploying_; now > peak; peak = peakDeploying_)
        InterlockedCompareExchange(&peakDeploying_, now, peak);
    bool cancelled = DeploymentCost(script.deployMs);
    InterlockedDecrement(&deploying_);
    if (cancelled) {
        entry.result = kJobCancelled;
        entry.errorCode = kNoErrorCode;
        return false;
    }
    if (script.behaviour == Behaviour::InstallFailure || script.behaviour == Behaviour::Unreachable) {
        entry.result = kJobInstallError;
        entry.errorCode = script.behaviour == Behaviour::Unreachable ? RPC_S_SERVER_UNAVAILABLE : ERROR_ACCESS_DENIED;
        return false;
    }
    {
        // The computer's service manager: its agent's service exists and runs (another run's),
        // so it is opened and its start fails; as the real deployment does, this job leaves
        // that agent alone: its finishing steps stop nothing.
        win::CriticalSectionLock hold(lock_);
        auto found = services_.find(ServiceKey(entry.name));
        if (found != services_.end() && IsRunning(found->second->thread)) {
            entry.result = kJobInstallError;
            entry.errorCode = ERROR_SERVICE_ALREADY_RUNNING;
            return false;
        }
    }
    if (prepareFolders) MakeRepairFolder(entry.name, script);

    auto agent = std::make_unique<Agent>();
    agent->owner = this;
    agent->computer = entry.name;
    agent->folder = RepairFolder(entry.name);
    agent->script = script;
    agent->alwaysCopy = TheConsoleSettings().AlwaysCopyFiles != 0;
    agent->pipeName = win::Format("\\\\.\\pipe\\SalvoraSim-%lu-%ld", GetCurrentProcessId(),
                                  InterlockedIncrement(&g_pipeCounter));
    agent->stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    agent->thread = CreateThread(nullptr, kAgentStack, AgentThread, agent.get(), STACK_SIZE_PARAM_IS_A_RESERVATION,
                                 nullptr);
    if (!agent->thread) {
        entry.result = kJobInstallError;
        entry.errorCode = GetLastError();
        CloseHandle(agent->stopEvent);
        return false;
    }
    std::string pipeName = agent->pipeName;
    {
        win::CriticalSectionLock hold(lock_);
        services_[ServiceKey(entry.name)] = agent.get();
        opened_[&job] = ServiceKey(entry.name);
        agents_.push_back(std::move(agent));
    }

    job.channel.Close();
    job.channel.name = pipeName;
    job.channel.openAttempts = 500; // the agent thread may not have made its pipe yet
    job.channel.openRetryDelay = 10;
    if (!job.channel.Open()) {
        entry.result = kJobCommunication;
        entry.errorCode = GetLastError();
        return false;
    }
    return true;
}

void SimulatedDeployer::Remove(CreationJob& job)
{
    if (onRemove) onRemove(job);
    InterlockedIncrement(&removed_);
    HANDLE stopping = nullptr;
    {
        win::CriticalSectionLock hold(lock_);
        // The service stop, through the handle this job opened: whichever agent runs there.
        auto opened = opened_.find(&job);
        if (opened == opened_.end()) return;
        auto service = services_.find(opened->second);
        if (service != services_.end()) {
            SetEvent(service->second->stopEvent);
            stopping = service->second->thread;
        }
        opened_.erase(opened);
    }
    // As a service manager's stop does, wait (bounded) until the agent has stopped.
    if (stopping) WaitForSingleObject(stopping, kStopWaitLimit);
}

bool SimulatedDeployer::WaitForAgents(DWORD milliseconds)
{
    std::vector<HANDLE> threads;
    {
        win::CriticalSectionLock hold(lock_);
        for (auto& agent : agents_)
            if (agent->thread) threads.push_back(agent->thread);
    }
    DWORD start = GetTickCount();
    for (HANDLE thread : threads) {
        DWORD spent = GetTickCount() - start;
        DWORD left = spent >= milliseconds ? 0 : milliseconds - spent;
        if (WaitForSingleObject(thread, left) != WAIT_OBJECT_0) return false;
    }
    return true;
}

DWORD WINAPI SimulatedDeployer::AgentThread(void* parameter)
{
    auto* agent = static_cast<Agent*>(parameter);
    SimulatedDeployer& owner = *agent->owner;
    InterlockedIncrement(&owner.alive_);
    owner.RunAgent(*agent);
    InterlockedDecrement(&owner.alive_);
    return 0;
}

namespace {

// What the script does to the agent's sending side, at the file the listing has found.
class FaultInjector final : public FolderSendHook {
public:
    FaultInjector(SimulatedDeployer::Agent& agent, PipeChannel& channel) : agent_(agent), channel_(channel) {}
    DWORD BeforeFile(unsigned index, const char* fileName) override;
    void BeforeTerminator() override
    {
        if (agent_.script.breakAt == Break::BeforeFinish) channel_.Disconnect(); // every file whole, no terminator
    }

private:
    SimulatedDeployer::Agent& agent_;
    PipeChannel& channel_;
};

} // namespace

DWORD FaultInjector::BeforeFile(unsigned index, const char* fileName)
{
    const Script& script = agent_.script;
    if (index == script.breakFile && script.breakAt != Break::None && script.breakAt != Break::BeforeFinish) {
        // The transfer breaks at this file: its name (and for MidFile a first block) goes out
        // through the channel's own framing, then the agent is gone and the file's send fails.
        const int32_t nameLength = static_cast<int32_t>(std::strlen(fileName) + 1);
        if (script.breakAt != Break::BetweenFiles && channel_.Transact(0, fileName, nameLength) &&
            script.breakAt == Break::MidFile)
            channel_.Transact(1, fileName, nameLength - 1);
        channel_.Disconnect();
        return 0;
    }
    switch (agent_.script.behaviour) {
    case Behaviour::HalfTransfer:
        if (index == 0) channel_.Disconnect(); // the agent is gone: its first file cannot go out
        break;
    case Behaviour::TimeLimitHalf:
        // The agent's time limit: the flag turns the file under way into a cancelled one,
        // and the limit's stop ends the listing at the next look.
        if (index == 0) InterlockedExchange(&agent_.timedOut, 1);
        if (index == 1) SetEvent(agent_.stopEvent);
        break;
    case Behaviour::StopMidTransfer:
        if (index == 1) SetEvent(agent_.stopEvent);
        break;
    case Behaviour::VanishedFile:
        if (index == 1) DeleteFileA((agent_.folder + "\\" + fileName).c_str());
        break;
    case Behaviour::ErrorListing: {
        unsigned count = agent_.script.fileCount > 6 ? 6 : agent_.script.fileCount;
        if (index + 1 == count) return ERROR_NETNAME_DELETED; // the listing breaks before the last file
        break;
    }
    default:
        break;
    }
    return 0;
}

void SimulatedDeployer::RunAgent(Agent& agent)
{
    PipeChannel channel;
    channel.name = agent.pipeName;
    channel.timeout = kAgentWaitLimit;
    channel.cancelEvent = agent.stopEvent;
    channel.abortFlag = &agent.timedOut;
    if (!channel.Listen(agent.stopEvent)) return;

    const Script& script = agent.script;
    if (WaitForSingleObject(agent.stopEvent, script.workMs) == WAIT_OBJECT_0 ||
        script.behaviour == Behaviour::Vanish) {
        channel.Disconnect();
        return;
    }

    AgentStatus status = {};
    status.succeeded = 1;
    const char* text = "Success";
    if (script.behaviour == Behaviour::FailureStatus) {
        status.succeeded = 0;
        status.code = script.failureCode;
        text = "Unable to load rdisk.exe";
    } else if (script.behaviour == Behaviour::AgentTimeout) {
        status.succeeded = 0;
        status.code = kAgentStatusCode_Timeout;
        text = "Timeout";
    }
    std::strcpy(status.text, text);
    DWORD sentTick = GetTickCount();
    bool sent = channel.WriteExact(&status, sizeof(status), true);
    InterlockedExchange(&lastStatusTick_, static_cast<LONG>(sentTick));
    {
        win::CriticalSectionLock hold(lock_);
        statusTicks_[agent.computer] = sentTick;
    }
    if (onStatusSent) onStatusSent(agent.computer);
    if (sent && script.endsAfterStatus) {
        // Gone before the go-ahead: the console's status read has completed by now, so
        // only what comes after it finds the pipe broken.
        channel.Disconnect();
        return;
    }
    if (!sent || script.behaviour == Behaviour::AgentTimeout) {
        // Disconnecting now would throw away a status the console has not read yet: the
        // agent ends when the console closes the pipe or stops the service.
        char ignored = 0;
        channel.ReadExact(&ignored, 1, true);
        channel.Disconnect();
        return;
    }

    // The agent waits for its go-ahead as long as the console takes to come to it (a run
    // that deploys one target after another fetches only after the last deployment).
    unsigned char goAhead = 0;
    channel.timeout = kGoAheadWaitLimit;
    bool goAheadRead = channel.ReadExact(&goAhead, 1, true);
    channel.timeout = kAgentWaitLimit;
    if (goAheadRead) {
        win::CriticalSectionLock hold(lock_);
        goAheads_.push_back(agent.computer);
    }
    if (!goAheadRead || (!status.succeeded && !agent.alwaysCopy)) {
        channel.Disconnect();
        return;
    }

    FaultInjector faults(agent, channel);
    FolderSendOptions options;
    options.stopCheckMs = script.perFileDelayMs;
    options.hook = &faults;
    if (!SendFolderFiles(channel, agent.stopEvent, agent.folder, options)) {
        channel.Disconnect();
        return;
    }
    // The agent ends when the console closes the pipe or the service is stopped.
    char ignored = 0;
    channel.timeout = 5000;
    channel.ReadExact(&ignored, 1, true);
    channel.Disconnect();
}

} // namespace simagents
