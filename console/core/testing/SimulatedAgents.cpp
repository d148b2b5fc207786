#include "SimulatedAgents.h"

#include "Settings.h"
#include "SystemText.h"

#include <cstring>

namespace simagents {

const char* const kRepairFileNames[6] = {"system._", "software._", "sam._", "security._", "default._", "setup.log"};

namespace {

constexpr DWORD kAgentWaitLimit = 60000; // no simulated wait is unbounded
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
    CreationJob* job = nullptr;
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
    unsigned count = script.fileCount > 6 ? 6 : script.fileCount;
    for (unsigned i = 0; i < count; ++i) {
        size_t size = i == 0 ? script.fileBytes : 100 + 37 * i;
        WriteFileBytes(folder + "\\" + kRepairFileNames[i], Bytes(size, i + static_cast<unsigned>(computer.size())));
    }
}

bool SimulatedDeployer::Deploy(CreationJob& job)
{
    if (onDeploy) onDeploy(job);
    ComputerEntry& entry = job.entry;
    order_.push_back(entry.name);
    InterlockedIncrement(&deployed_);
    if (IsCancelRequested()) {
        entry.result = kJobCancelled;
        entry.errorCode = kNoErrorCode;
        return false;
    }
    auto found = scripts_.find(entry.name);
    Script script = found == scripts_.end() ? defaultScript : found->second;
    if (script.behaviour == Behaviour::InstallFailure) {
        entry.result = kJobInstallError;
        entry.errorCode = ERROR_ACCESS_DENIED;
        return false;
    }
    MakeRepairFolder(entry.name, script);

    auto agent = std::make_unique<Agent>();
    agent->owner = this;
    agent->computer = entry.name;
    agent->folder = RepairFolder(entry.name);
    agent->script = script;
    agent->alwaysCopy = TheConsoleSettings().AlwaysCopyFiles != 0;
    agent->job = &job;
    agent->pipeName = win::Format("\\\\.\\pipe\\SalvoraSim-%lu-%ld", GetCurrentProcessId(),
                                  InterlockedIncrement(&g_pipeCounter));
    agent->stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    agent->thread = CreateThread(nullptr, 64 * 1024, AgentThread, agent.get(), STACK_SIZE_PARAM_IS_A_RESERVATION,
                                 nullptr);
    if (!agent->thread) {
        entry.result = kJobInstallError;
        entry.errorCode = GetLastError();
        return false;
    }
    agents_.push_back(std::move(agent));

    job.channel.Close();
    job.channel.name = agents_.back()->pipeName;
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
    InterlockedIncrement(&removed_);
    for (auto& agent : agents_) {
        if (agent->job == &job) {
            SetEvent(agent->stopEvent); // the service stop
            agent->job = nullptr;
        }
    }
}

bool SimulatedDeployer::WaitForAgents(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    for (auto& agent : agents_) {
        if (!agent->thread) continue;
        DWORD spent = GetTickCount() - start;
        DWORD left = spent >= milliseconds ? 0 : milliseconds - spent;
        if (WaitForSingleObject(agent->thread, left) != WAIT_OBJECT_0) return false;
    }
    return true;
}

DWORD WINAPI SimulatedDeployer::AgentThread(void* parameter)
{
    auto* agent = static_cast<Agent*>(parameter);
    agent->owner->RunAgent(*agent);
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
    bool sent = channel.WriteExact(&status, sizeof(status), true);
    InterlockedExchange(&lastStatusTick_, static_cast<LONG>(GetTickCount()));
    if (onStatusSent) onStatusSent(agent.computer);
    if (!sent || script.behaviour == Behaviour::AgentTimeout) {
        // Disconnecting now would throw away a status the console has not read yet: the
        // agent ends when the console closes the pipe or stops the service.
        char ignored = 0;
        channel.ReadExact(&ignored, 1, true);
        channel.Disconnect();
        return;
    }

    unsigned char goAhead = 0;
    if (!channel.ReadExact(&goAhead, 1, true) || (!status.succeeded && !agent.alwaysCopy)) {
        channel.Disconnect();
        return;
    }

    unsigned count = script.fileCount > 6 ? 6 : script.fileCount;
    for (unsigned i = 0; i < count; ++i) {
        if (WaitForSingleObject(agent.stopEvent, 0) == WAIT_OBJECT_0) break;
        const char* name = kRepairFileNames[i];
        if (script.behaviour == Behaviour::HalfTransfer || script.behaviour == Behaviour::TimeLimitHalf) {
            std::string bytes;
            std::string path = agent.folder + "\\" + name;
            HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                char block[kMaxPayload];
                DWORD got = 0;
                ReadFile(file, block, sizeof(block), &got, nullptr);
                CloseHandle(file);
                bytes.assign(block, got);
            }
            if (!channel.Transact(0, name, static_cast<int32_t>(std::strlen(name) + 1)) ||
                !channel.Transact(1, bytes.data(), static_cast<int32_t>(bytes.size()))) {
                break;
            }
            if (script.behaviour == Behaviour::TimeLimitHalf) {
                InterlockedExchange(&agent.timedOut, 1);
                channel.Transact(2, bytes.data(), static_cast<int32_t>(bytes.size()));
            }
            channel.Disconnect();
            return;
        }
        if (script.perFileDelayMs && WaitForSingleObject(agent.stopEvent, script.perFileDelayMs) == WAIT_OBJECT_0)
            break;
        if (!channel.SendFile(name, agent.folder.c_str())) {
            channel.Disconnect();
            return;
        }
    }
    channel.SendFile(script.behaviour == Behaviour::ErrorListing ? kErrorName : kFinishName, "");
    // The agent ends when the console closes the pipe or the service is stopped.
    char ignored = 0;
    channel.timeout = 5000;
    channel.ReadExact(&ignored, 1, true);
    channel.Disconnect();
}

} // namespace simagents
