// The creation run's policy: which step of which job may start, and what every ending does
// to each job. A per-job state machine with no thread, wait or clock in it; the worker
// drives it with what happened and carries out what it decides.
//
//   NotStarted --deploy--> Deploying --agent runs--> Waiting --outcome--> Ready --> Busy --> Counted
//        |                     | failed (finished on the target by the step) ------------------^
//        +-- an ending: finished at once with the ending's result -----------------------------^
//
// Rules, each in one place below:
// - Bound: at most `bound` deployments (set-aside ones not counted) and at most `bound`
//   fetches and finishings at once.
// - Holds: from deployment until it is counted a job holds its computer and its output
//   folder (names compared without case); a job needing either waits, whatever its turn.
// - Order: deployments start in list order (held ones skipped); the ready queue hands out
//   the lowest list position first. At a bound of 1 no fetch or finishing starts while a
//   deployment is under way or could start, as one-after-another has it.
// - Endings: Cancel reaches every job that has not started its step (result 5; a fetch
//   under way notices it itself); the time limit and a failed wait reach the jobs whose
//   outcome has not arrived and those never started. Cancel after either still gives 5.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class JobStep : uint8_t { Deploy, Fetch, Finish };
enum class RunEnding : uint8_t { None, Cancelled, TimedOut, Failed };

// What the worker does for the policy.
class PolicyActions {
public:
    virtual ~PolicyActions() = default;
    // The job gets the result `ending` gives (5, 8, or 16 with the run's error code).
    virtual void GiveEndingResult(size_t job, RunEnding ending) = 0;
    // A job never deployed: counted as started, given the ending's result, finished.
    virtual void FinishUnstarted(size_t job, RunEnding ending) = 0;
};

class RunPolicy {
public:
    struct Keys {
        std::string computer; // upper case
        std::string folder;   // upper case; empty: holds no folder
    };
    RunPolicy(const std::vector<Keys>& keys, DWORD bound);

    // The next job to deploy now, or false.
    bool NextDeploy(size_t& job) noexcept;
    // The next fetch or finishing to start now, or false.
    bool NextTransfer(JobStep& step, size_t& job) noexcept;

    // A deployment returned. True when the job's outcome read is to be armed now; a job
    // whose agent runs after an ending gets the ending's result and is made ready to finish.
    bool DeployEnded(size_t job, bool agentRuns, bool wasSetAside, PolicyActions& actions);
    bool SetAside(size_t job) noexcept; // false: no more may be set aside
    void Waiting(size_t job) noexcept;  // its outcome read is armed and watched
    // The outcome arrived (or its read failed at once): to be fetched or finished. False
    // when the job was not waiting for it (an ending reached it first).
    bool OutcomeArrived(size_t job, bool fetch) noexcept;
    void TransferEnded(size_t job) noexcept;
    void Counted(size_t job) noexcept;

    // Applies an ending; `actions` gives the results. Jobs waiting must no longer be watched.
    void End(RunEnding ending, PolicyActions& actions);

    bool IsWaiting(size_t job) const noexcept { return phases_[job] == Phase::Waiting; }
    bool IsDeploying(size_t job) const noexcept { return phases_[job] == Phase::Deploying; }
    bool Cancelled() const noexcept { return cancelled_; }
    RunEnding Ending() const noexcept { return cancelled_ ? RunEnding::Cancelled : ending_; }
    bool Ended() const noexcept { return cancelled_ || ending_ != RunEnding::None; }
    // Every deployment that can be made has been made: the run's time limit counts from here.
    bool DeploymentsDone() noexcept { return !DeploymentsUnderWay() && !FindDeployable(nullptr); }
    bool AllCounted() const noexcept { return counted_ == phases_.size(); }
    size_t CountedJobs() const noexcept { return counted_; }
    DWORD Deploying() const noexcept { return deploying_; }
    DWORD SetAsideCount() const noexcept { return setAside_; }
    DWORD Fetching() const noexcept { return fetching_; }
    bool SetAsideAllowed() const noexcept { return bound_ > 1 && !Ended() && setAside_ < 2 * bound_; }

private:
    enum class Phase : uint8_t { NotStarted, Deploying, Waiting, Ready, Busy, Counted };
    bool DeploymentsUnderWay() const noexcept { return deploying_ != 0 || setAside_ != 0; }
    bool IsHeld(size_t job) const noexcept;
    void Hold(size_t job, bool on) noexcept;
    bool FindDeployable(size_t* job) noexcept;
    void MakeReady(size_t job, JobStep step) noexcept;

    std::vector<Phase> phases_;
    std::vector<JobStep> readyStep_;
    std::vector<uint32_t> computerId_, folderId_; // folder id 0: none
    std::vector<uint8_t> computerHeld_, folderHeld_;
    std::vector<size_t> ready_; // min-heap of list positions; each job enters once
    const DWORD bound_;
    size_t firstUnstarted_ = 0;
    size_t counted_ = 0;
    DWORD deploying_ = 0;
    DWORD setAside_ = 0;
    DWORD transferring_ = 0;
    DWORD fetching_ = 0;
    bool cancelled_ = false;
    RunEnding ending_ = RunEnding::None; // the time limit or a failure, whichever came first
};
