// The creation run: the agent on every selected computer, their outcomes awaited on one
// worker thread, the repair files fetched into each computer's output folder, the run
// logged.
#pragma once
#include "CreationJob.h"

#include <windows.h>

#include <memory>
#include <vector>

constexpr DWORD kWaitGroupSize = MAXIMUM_WAIT_OBJECTS; // handles per wait
constexpr DWORD kIdleGroupPause = 1000;               // ms an idle group of handles costs

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

// Tuning of the wait loop (benchmarks); the product keeps the defaults.
void SetIdleGroupPause(DWORD milliseconds) noexcept;

// The worker procedure over the selected entries of `list`; returns 0 when every selected
// job has been finished.
DWORD RunJobs(ComputerList& list);
DWORD WINAPI RunJobsThread(void* list);

// One unattended pass over the selected computers of the process's list, on the calling
// thread; returns when the pass has been logged.
void RunJobsUnattended();

// Receives the agent's repair files for one computer into its output folder.
bool FetchRepairFiles(CreationJob& job);

// One session of the result log for the run.
void LogRunResults(const ComputerList& list, HWND owner, bool cancelled);

// The wait loop's figures of the last run (benchmarks): the most handles polled at once in
// one wait, and the tick when the last job was finished.
struct RunFigures {
    DWORD groups = 0;
    DWORD lastFinishTick = 0;
};
const RunFigures& LastRunFigures() noexcept;
