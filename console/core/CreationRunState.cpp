// The run state the user-interface thread and the worker share, Cancel, the deployer in
// use, and the figures of the last run.
#include "AgentDeployment.h"
#include "CreationRun.h"
#include "RunFiguresInternal.h"

#include <algorithm>

namespace {

class TargetDeployer final : public AgentDeployer {
public:
    bool Deploy(CreationJob& job) override { return DeployAgent(job.entry, job.channel, &job.targetAnswered); }
    void Remove(CreationJob& job) override
    {
        CloseAgentService(job.entry);
        RemoveAgentFile(job.entry);
    }
};

TargetDeployer g_targetDeployer;
AgentDeployer* volatile g_deployer = nullptr; // set by tests between runs only
RunFigures g_figures;
volatile LONG g_helperThreads = 0; // step and waiting threads alive

} // namespace

CreationRunState& TheRunState()
{
    static CreationRunState state;
    return state;
}

bool IsCancelRequested() noexcept { return TheRunState().cancelRequested != 0; }

void RequestCancel() noexcept
{
    CreationRunState& run = TheRunState();
    // The flag first: whoever sees the event set may read the flag.
    InterlockedExchange(&run.cancelRequested, 1);
    if (run.abortEvent) SetEvent(run.abortEvent);
}

void PrepareRunState(HWND progressWindow)
{
    CreationRunState& run = TheRunState();
    run.progressWindow = progressWindow;
    InterlockedExchange(&run.cancelRequested, 0);
    if (!run.abortEvent) run.abortEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (run.abortEvent) ResetEvent(run.abortEvent);
    InterlockedExchange(&run.errorCount, 0);
    InterlockedExchange(&run.completedCount, 0);
    InterlockedExchange(&run.startedCount, 0);
    InterlockedExchange(&run.unattendedStartedCount, 0);
}

AgentDeployer& Deployer()
{
    AgentDeployer* deployer = g_deployer;
    return deployer ? *deployer : g_targetDeployer;
}

void SetDeployer(AgentDeployer* deployer) { g_deployer = deployer; }

DWORD StepBound(uint32_t maxDeployThread) noexcept { return std::clamp<DWORD>(maxDeployThread, 1, kMaxStepBound); }

const RunFigures& LastRunFigures() noexcept { return g_figures; }
RunFigures& MutableRunFigures() noexcept { return g_figures; }

LONG HelperThreadsAlive() noexcept { return g_helperThreads; }
void HelperThreadStarted() noexcept { InterlockedIncrement(&g_helperThreads); }
void HelperThreadEnded() noexcept { InterlockedDecrement(&g_helperThreads); }
