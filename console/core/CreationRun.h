// The creation run: the agent on every selected computer, their outcomes awaited and their
// repair files fetched into each computer's output folder, the run logged. One worker
// thread schedules the run (CreationRun.cpp, by the rules of RunPolicy.h); a bounded set of
// step threads (StepPool.h) deploys agents and fetches files side by side (CreationSteps.h),
// and one waiting thread per group of pipe handles (OutcomeWatch.h) reports outcomes as they
// arrive, through the worker's mailbox (RunMailbox.h). Whatever the bound, every computer
// gets the result the one-after-another run gives it; only the order of work changes.
#pragma once
#include "CreationJob.h"

#include <windows.h>

#include <memory>
#include <vector>

// Pipe handles one waiting thread watches, beside the event that tells it of changes.
constexpr DWORD kWaitGroupSize = MAXIMUM_WAIT_OBJECTS - 1;
// The most deployments (and fetches) at once, whatever the settings ask for.
constexpr DWORD kMaxStepBound = 256;

// Where the run puts the agent on a computer and takes it off again. The product uses the
// target's service control manager and share; tests and benchmarks put simulated agents
// in its place.
class AgentDeployer {
public:
    virtual ~AgentDeployer() = default;
    // DeployAgent: true when the agent runs and job.channel is open; otherwise the entry's
    // result and errorCode say why.
    virtual bool Deploy(CreationJob& job) = 0;
    // The job's finishing steps on the target: the service stopped and closed and, unless
    // LeaveAgent is on, the agent file deleted.
    virtual void Remove(CreationJob& job) = 0;
};

AgentDeployer& Deployer();
void SetDeployer(AgentDeployer* deployer); // nullptr puts the real deployment back

// The bound of deployments at once (and of fetches at once) from MaxDeployThread: at least
// 1, at most kMaxStepBound.
DWORD StepBound(uint32_t maxDeployThread) noexcept;

// The worker procedure over the selected entries of `list`; returns 0 when every selected
// job has been finished.
DWORD RunJobs(ComputerList& list);
DWORD WINAPI RunJobsThread(void* list);

// One unattended pass over the selected computers of the process's list, on the calling
// thread; returns when the pass has been logged.
void RunJobsUnattended();

// Receives the agent's repair files for one computer into its output folder.
bool FetchRepairFiles(CreationJob& job);

// The text a failed computer's record carries: its result's message, the system's text of
// its code, and what became of a transfer cut short. False when the result has no message.
bool JobResultText(const ComputerEntry& entry, std::string& text);

// One session of the result log for the run.
void LogRunResults(const ComputerList& list, HWND owner, bool cancelled);

// Figures of the last run (tests and benchmarks), written by the worker.
struct RunFigures {
    DWORD groups = 0;          // waiting threads, one per group of kWaitGroupSize jobs
    DWORD stepThreads = 0;     // threads that deployed, fetched and finished
    DWORD peakInFlight = 0;    // most jobs started and not yet finished at once
    DWORD peakDeploying = 0;   // most deployments at once
    DWORD peakFetching = 0;    // most fetches at once
    DWORD peakSetAside = 0;    // most deployments set aside at once (target not answering)
    DWORD lastFinishTick = 0;  // when the last job was finished
    // Per selected entry in list order: the tick at which its outcome record was noticed
    // (0: never).
    std::vector<DWORD> noticeTicks;
};
const RunFigures& LastRunFigures() noexcept;
// Step and waiting threads of the run alive now, beside its worker (benchmarks).
LONG HelperThreadsAlive() noexcept;
