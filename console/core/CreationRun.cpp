#include "CreationRun.h"

#include "AgentDeployment.h"
#include "ConsoleState.h"
#include "ConsoleStrings.h"
#include "Enumeration.h"
#include "Messages.h"
#include "OutputFolder.h"
#include "ResultLog.h"
#include "Settings.h"
#include "StagedSet.h"
#include "UnicenterStatus.h"

#include "Handle.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr DWORD kUnattendedSettlePause = 3000;   // ms after an unattended pass, before logging
constexpr DWORD kUnattendedDrainLimit = 60;      // seconds to wait for jobs still counted as running
constexpr DWORD kStepThreadStack = 256 * 1024;   // reserved, not committed
constexpr DWORD kWaitThreadStack = 64 * 1024;
// A deployment whose target has not answered within this time (typically a computer that
// is switched off, holding its call for the length of a network time-out) stops counting
// against the bound, so that the next deployment starts; at most 2 x bound are set aside.
constexpr DWORD kUnansweredGrace = 1000;

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
std::atomic<AgentDeployer*> g_deployer{nullptr};
RunFigures g_figures;
volatile LONG g_helperThreads = 0; // step and waiting threads alive
SRWLOCK g_folderLock = SRWLOCK_INIT; // output folders are checked and made one at a time

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) noexcept : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& lock_;
};

void Notify(WPARAM what)
{
    HWND window = TheRunState().progressWindow;
    if (window && !IsUnattended()) PostMessageA(window, kProgressMessage, what, 0);
}

void SetOutcome(ComputerEntry& entry, uint32_t result, uint32_t errorCode)
{
    entry.result = result;
    entry.errorCode = errorCode;
}

// A failed fetch: its result, and its error code unless the agent had reported a code of
// its own, which stays the computer's code.
void FailFetch(CreationJob& job, uint32_t result, uint32_t errorCode)
{
    job.entry.result = result;
    if (!job.agentReportedCode) job.entry.errorCode = errorCode;
}

// The job's finishing steps on the target: pipe closed, agent taken off.
void FinishOnTarget(CreationJob& job)
{
    job.channel.Close();
    Deployer().Remove(job);
}

// Reads what the agent's outcome record says into the entry.
void TakeOutcome(CreationJob& job)
{
    DWORD got = 0;
    BOOL ok = GetOverlappedResult(job.channel.handle, &job.channel.overlapped, &got, FALSE);
    if (!ok || got < sizeof(AgentStatus)) {
        SetOutcome(job.entry, kJobCommunication, ok ? ERROR_INVALID_DATA : GetLastError());
        return;
    }
    if (job.status.succeeded) return;
    if (job.status.code == kAgentStatusCode_Timeout) {
        SetOutcome(job.entry, kJobTimeout, kNoErrorCode);
        return;
    }
    SetOutcome(job.entry, kJobCommunication, job.status.code);
    job.agentReportedCode = job.status.code != 0 && job.status.code != kNoErrorCode;
}

// Deploys one job's agent. True: the agent runs and its pipe is open. False: the job is
// finished on the target (its result says why) and only needs counting.
bool DeployStep(CreationJob& job)
{
    bool deployed = false;
    if (!IsCancelRequested()) {
        if (job.entry.Role() == kRoleUndetermined) LookupComputer(job.entry);
        deployed = !IsCancelRequested() && Deployer().Deploy(job);
    }
    if (deployed && !IsCancelRequested()) return true;
    if (IsCancelRequested()) SetOutcome(job.entry, kJobCancelled, kNoErrorCode);
    FinishOnTarget(job);
    return false;
}

// What a step thread or a waiting thread tells the worker.
struct Report {
    enum Kind : uint8_t { StepDone, OutcomeArrived, WaitFailed };
    Kind kind = StepDone;
    bool ok = false;
    size_t job = 0;
    size_t thread = 0; // StepDone: the step thread, now idle
    DWORD error = 0;   // WaitFailed
};

// The worker's in-tray. Its capacity is reserved for every report a run can have pending
// at once (one per job and one per waiting thread), so posting never allocates.
class Mailbox {
public:
    explicit Mailbox(size_t capacity) : event_(CreateEventA(nullptr, FALSE, FALSE, nullptr))
    {
        pending_.reserve(capacity);
        taken_.reserve(capacity);
    }
    bool IsValid() const noexcept { return static_cast<bool>(event_); }
    HANDLE Event() const noexcept { return event_.Get(); }

    void Post(const Report& report) noexcept
    {
        {
            ExclusiveLock hold(lock_);
            if (pending_.size() < pending_.capacity()) pending_.push_back(report);
        }
        SetEvent(event_.Get());
    }
    const std::vector<Report>& Take() noexcept
    {
        taken_.clear();
        ExclusiveLock hold(lock_);
        taken_.swap(pending_);
        return taken_;
    }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
    win::Handle event_;
    std::vector<Report> pending_;
    std::vector<Report> taken_;
};

// One thread watching the pipe handles of up to kWaitGroupSize jobs whose outcome record
// is being read; it reports each completed read at once and stops watching that handle.
class WaitGroup {
public:
    explicit WaitGroup(Mailbox& box) : box_(box) {}
    ~WaitGroup() { Stop(); }
    WaitGroup(const WaitGroup&) = delete;
    WaitGroup& operator=(const WaitGroup&) = delete;

    bool Start()
    {
        wake_.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
        if (!wake_) return false;
        thread_.Reset(CreateThread(nullptr, kWaitThreadStack, Watch, this, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                   nullptr));
        if (thread_) {
            InterlockedIncrement(&g_helperThreads);
            // Noticing an outcome must not wait behind the transfers of the step threads.
            SetThreadPriority(thread_.Get(), THREAD_PRIORITY_ABOVE_NORMAL);
        }
        return static_cast<bool>(thread_);
    }
    // The caller hands each group at most kWaitGroupSize jobs over a run.
    void Add(HANDLE pipe, size_t job) noexcept
    {
        {
            ExclusiveLock hold(lock_);
            handles_[count_] = pipe;
            jobs_[count_] = job;
            ++count_;
        }
        SetEvent(wake_.Get());
    }
    // Ends the watching thread; afterwards the handles it watched may be closed.
    void Stop() noexcept
    {
        if (!thread_) return;
        InterlockedExchange(&stop_, 1);
        SetEvent(wake_.Get());
        WaitForSingleObject(thread_.Get(), INFINITE);
        thread_.Reset();
        InterlockedDecrement(&g_helperThreads);
    }

private:
    static DWORD WINAPI Watch(void* parameter)
    {
        static_cast<WaitGroup*>(parameter)->Loop();
        return 0;
    }
    void Loop() noexcept
    {
        HANDLE waitOn[kWaitGroupSize + 1];
        size_t jobs[kWaitGroupSize];
        for (;;) {
            if (stop_) return;
            DWORD count;
            {
                ExclusiveLock hold(lock_);
                count = count_;
                std::copy(handles_, handles_ + count, waitOn + 1);
                std::copy(jobs_, jobs_ + count, jobs);
            }
            waitOn[0] = wake_.Get();
            DWORD result = WaitForMultipleObjects(count + 1, waitOn, FALSE, INFINITE);
            if (result == WAIT_OBJECT_0) continue;
            if (result > WAIT_OBJECT_0 && result <= WAIT_OBJECT_0 + count) {
                size_t job = jobs[result - WAIT_OBJECT_0 - 1];
                Forget(job);
                box_.Post({Report::OutcomeArrived, true, job, 0, 0});
                continue;
            }
            box_.Post({Report::WaitFailed, false, 0, 0, GetLastError()});
            return;
        }
    }
    void Forget(size_t job) noexcept
    {
        ExclusiveLock hold(lock_);
        for (DWORD i = 0; i < count_; ++i) {
            if (jobs_[i] != job) continue;
            handles_[i] = handles_[count_ - 1];
            jobs_[i] = jobs_[count_ - 1];
            --count_;
            return;
        }
    }

    Mailbox& box_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    HANDLE handles_[kWaitGroupSize] = {};
    size_t jobs_[kWaitGroupSize] = {};
    DWORD count_ = 0;
    volatile LONG stop_ = 0;
    win::Handle wake_;
    win::Handle thread_;
};

enum class Step : uint8_t { Deploy, Fetch, Finish };

class Scheduler;

// A thread that carries out one step of one job at a time for the worker.
struct StepThread {
    Scheduler* owner = nullptr;
    size_t index = 0;
    win::Handle thread;
    win::Handle go; // auto-reset: a step was handed over, or the thread is to end
    Step step = Step::Deploy;
    size_t job = 0;
    volatile LONG stop = 0;
    bool busy = false;
    DWORD since = 0;     // when the step was handed over
    bool setAside = false; // a deployment that no longer counts against the bound
};

// The worker's schedule of one run. Deployments start in list order, at most `bound` at
// once; each deployed job's outcome record is read overlapped and watched by the waiting
// thread of its group; a job whose outcome arrived is fetched (or finished) on a step
// thread, at most `bound` at once. Counts and notifications are made here only.
class Scheduler {
public:
    Scheduler(std::vector<std::unique_ptr<CreationJob>>& jobs, DWORD bound);
    ~Scheduler() { ShutDownHelpers(); }
    Scheduler(const Scheduler&) = delete;
    Scheduler& operator=(const Scheduler&) = delete;

    void Run();

    // On step threads.
    bool RunStep(Step step, size_t index) noexcept;
    Mailbox& Box() noexcept { return box_; }

private:
    enum class Phase : uint8_t { NotStarted, Deploying, Waiting, Queued, Busy, Left, Finished };
    enum class Ending : uint8_t { None, Cancelled, TimedOut, WaitFailed };
    struct Queued {
        Step step;
        size_t job;
        bool dropped;
    };

    static DWORD WINAPI StepMain(void* parameter);
    void Handle(const Report& report);
    void StepEnded(Step step, size_t index, bool ok);
    void Dispatch();
    bool HandOver(Step step, size_t index);
    void StartJob(size_t index);
    void ArmOutcomeRead(size_t index);
    void Enqueue(Step step, size_t index);
    void CountFinished(size_t index);
    void EndEarly(Ending ending, DWORD error);
    void FinishLeftJobs();
    void SetRunReason(ComputerEntry& entry) const;
    DWORD TimeLeft() const;
    DWORD SetAsideCheckIn() const;
    void SetAsideUnanswered();
    bool DeploymentsUnderWay() const { return deploying_ != 0 || setAside_ != 0; }
    void ShutDownHelpers() noexcept;

    std::vector<std::unique_ptr<CreationJob>>& jobs_;
    std::vector<Phase> phases_;
    const DWORD bound_;
    const DWORD limit_; // ms, 0: none
    const bool alwaysCopy_;
    HANDLE abortEvent_;
    Mailbox box_;
    std::vector<std::unique_ptr<StepThread>> threads_;
    std::vector<std::unique_ptr<WaitGroup>> groups_;
    std::vector<Queued> queue_; // fetches and finishings waiting for a step thread
    size_t queueHead_ = 0;
    size_t nextDeploy_ = 0;
    size_t finished_ = 0;
    DWORD deploying_ = 0;
    DWORD transferring_ = 0; // fetches and finishings on step threads
    DWORD fetching_ = 0;
    DWORD setAside_ = 0; // deployments set aside while their target does not answer
    bool limitRunning_ = false;
    DWORD limitStart_ = 0;
    Ending ending_ = Ending::None;
    DWORD endError_ = 0;
    bool leftFinished_ = false;
};

Scheduler::Scheduler(std::vector<std::unique_ptr<CreationJob>>& jobs, DWORD bound)
    : jobs_(jobs), phases_(jobs.size(), Phase::NotStarted), bound_(bound),
      limit_(TheConsoleSettings().TimeoutMilliseconds()), alwaysCopy_(TheConsoleSettings().AlwaysCopyFiles != 0),
      abortEvent_(TheRunState().abortEvent),
      box_(jobs.size() + (jobs.size() + kWaitGroupSize - 1) / kWaitGroupSize + 2 * bound + 8)
{
    threads_.reserve(4 * static_cast<size_t>(bound));
    groups_.resize((jobs.size() + kWaitGroupSize - 1) / kWaitGroupSize);
    queue_.reserve(2 * jobs.size());
}

DWORD WINAPI Scheduler::StepMain(void* parameter)
{
    StepThread& self = *static_cast<StepThread*>(parameter);
    for (;;) {
        WaitForSingleObject(self.go.Get(), INFINITE);
        if (self.stop) return 0;
        bool ok = self.owner->RunStep(self.step, self.job);
        self.owner->Box().Post({Report::StepDone, ok, self.job, self.index, 0});
    }
}

bool Scheduler::RunStep(Step step, size_t index) noexcept
{
    CreationJob& job = *jobs_[index];
    try {
        switch (step) {
        case Step::Deploy:
            return DeployStep(job);
        case Step::Fetch: {
            bool fetched = FetchRepairFiles(job);
            FinishOnTarget(job);
            return fetched;
        }
        case Step::Finish:
            FinishOnTarget(job);
            return true;
        }
    } catch (...) {
        // Out of memory somewhere in the step: the job fails, its target is still cleaned.
        SetOutcome(job.entry, kJobCommunication, ERROR_NOT_ENOUGH_MEMORY);
        try {
            FinishOnTarget(job);
        } catch (...) {
        }
    }
    return false;
}

void Scheduler::Run()
{
    if (!box_.IsValid()) {
        EndEarly(Ending::WaitFailed, GetLastError());
    }
    const size_t count = jobs_.size();
    for (;;) {
        Dispatch();
        if (finished_ == count) break;
        HANDLE events[2] = {box_.Event(), abortEvent_};
        DWORD waitCount = ending_ == Ending::None && abortEvent_ ? 2 : 1;
        DWORD timeout = std::min(TimeLeft(), SetAsideCheckIn());
        DWORD result = box_.IsValid() ? WaitForMultipleObjects(waitCount, events, FALSE, timeout) : WAIT_FAILED;
        if (result == WAIT_FAILED) {
            DWORD error = GetLastError();
            if (ending_ == Ending::None) EndEarly(Ending::WaitFailed, error);
            else Sleep(1); // the in-tray is still read below: the run ends all the same
        }
        if (ending_ == Ending::None && IsCancelRequested()) EndEarly(Ending::Cancelled, 0);
        if (ending_ == Ending::None && limitRunning_ && limit_ && GetTickCount() - limitStart_ > limit_)
            EndEarly(Ending::TimedOut, 0);
        for (const Report& report : box_.Take()) Handle(report);
        SetAsideUnanswered();
        if (ending_ != Ending::None && !leftFinished_ && !DeploymentsUnderWay() && fetching_ == 0) FinishLeftJobs();
    }
    ShutDownHelpers();
    // The time limit's own abort ends with the run, so that the event means "cancel" again.
    if ((ending_ == Ending::TimedOut || ending_ == Ending::WaitFailed) && abortEvent_ && !IsCancelRequested())
        ResetEvent(abortEvent_);
}

DWORD Scheduler::SetAsideCheckIn() const
{
    if (bound_ <= 1 || ending_ != Ending::None || setAside_ >= 2 * bound_) return INFINITE;
    DWORD now = GetTickCount();
    DWORD soonest = INFINITE;
    for (const auto& thread : threads_) {
        if (!thread->busy || thread->step != Step::Deploy || thread->setAside) continue;
        if (jobs_[thread->job]->targetAnswered) continue;
        DWORD spent = now - thread->since;
        soonest = std::min(soonest, spent >= kUnansweredGrace ? 0 : kUnansweredGrace - spent);
    }
    return soonest;
}

// With a bound above 1, deployments whose target has not answered within the grace time
// make room for the next ones (a bound of 1 keeps one deployment after another).
void Scheduler::SetAsideUnanswered()
{
    if (bound_ <= 1 || ending_ != Ending::None) return;
    DWORD now = GetTickCount();
    for (const auto& thread : threads_) {
        if (setAside_ >= 2 * bound_) return;
        if (!thread->busy || thread->step != Step::Deploy || thread->setAside) continue;
        if (jobs_[thread->job]->targetAnswered || now - thread->since < kUnansweredGrace) continue;
        thread->setAside = true;
        ++setAside_;
        --deploying_;
        g_figures.peakSetAside = std::max(g_figures.peakSetAside, setAside_);
    }
}

DWORD Scheduler::TimeLeft() const
{
    if (ending_ != Ending::None || !limitRunning_ || !limit_) return INFINITE;
    DWORD elapsed = GetTickCount() - limitStart_;
    if (elapsed > limit_) return 0;
    DWORD left = limit_ - elapsed + 1; // the limit is passed when more than it has elapsed
    return left >= INFINITE ? INFINITE - 1 : left;
}

void Scheduler::Handle(const Report& report)
{
    if (report.kind == Report::WaitFailed) {
        if (ending_ == Ending::None) EndEarly(Ending::WaitFailed, report.error);
        return;
    }
    size_t index = report.job;
    if (report.kind == Report::OutcomeArrived) {
        // A job the run has already finished (its group was stopped meanwhile) is left alone.
        if (phases_[index] != Phase::Waiting) return;
        g_figures.noticeTicks[index] = GetTickCount();
        CreationJob& job = *jobs_[index];
        TakeOutcome(job);
        if (ending_ != Ending::None) {
            phases_[index] = Phase::Left;
            return;
        }
        Enqueue(job.entry.result == kJobSucceeded || alwaysCopy_ ? Step::Fetch : Step::Finish, index);
        return;
    }

    StepThread& thread = *threads_[report.thread];
    thread.busy = false;
    if (thread.setAside) {
        thread.setAside = false;
        --setAside_;
        ++deploying_; // counted out again below
    }
    StepEnded(thread.step, index, report.ok);
}

void Scheduler::StepEnded(Step step, size_t index, bool ok)
{
    switch (step) {
    case Step::Deploy:
        --deploying_;
        if (!ok) {
            CountFinished(index);
        } else if (ending_ != Ending::None) {
            phases_[index] = Phase::Left;
        } else {
            ArmOutcomeRead(index);
        }
        return;
    case Step::Fetch: {
        --fetching_;
        --transferring_;
        ComputerEntry& entry = jobs_[index]->entry;
        if (ok && ending_ == Ending::Cancelled) SetOutcome(entry, kJobCancelled, kNoErrorCode);
        // A fetch that the time limit (or a failed wait) broke off gets the run's reason.
        if (!ok && (ending_ == Ending::TimedOut || ending_ == Ending::WaitFailed)) SetRunReason(entry);
        CountFinished(index);
        return;
    }
    case Step::Finish:
        --transferring_;
        CountFinished(index);
        return;
    }
}

void Scheduler::Dispatch()
{
    while (ending_ == Ending::None && deploying_ < bound_ && nextDeploy_ < jobs_.size()) {
        size_t index = nextDeploy_++;
        StartJob(index);
        phases_[index] = Phase::Deploying;
        ++deploying_;
        g_figures.peakDeploying = std::max(g_figures.peakDeploying, deploying_);
        HandOver(Step::Deploy, index);
    }
    // The run's time limit counts from the moment every deployment has been made.
    if (!limitRunning_ && ending_ == Ending::None && nextDeploy_ == jobs_.size() && !DeploymentsUnderWay()) {
        limitRunning_ = true;
        limitStart_ = GetTickCount();
    }
    // A bound of 1 keeps the whole of the one-after-another order: every deployment first,
    // then the outcomes fetched one at a time.
    bool transfersOpen = bound_ > 1 || ending_ != Ending::None ||
                         (nextDeploy_ == jobs_.size() && !DeploymentsUnderWay());
    while (transfersOpen && transferring_ < bound_ && queueHead_ < queue_.size()) {
        Queued next = queue_[queueHead_++];
        if (next.dropped) continue;
        ++transferring_;
        if (next.step == Step::Fetch) {
            ++fetching_;
            g_figures.peakFetching = std::max(g_figures.peakFetching, fetching_);
        }
        phases_[next.job] = Phase::Busy;
        HandOver(next.step, next.job);
    }
}

// Gives a step to an idle step thread, making one if none is idle; without one the step
// runs here and its report is handled at once.
bool Scheduler::HandOver(Step step, size_t index)
{
    StepThread* idle = nullptr;
    for (auto& thread : threads_) {
        if (!thread->busy) {
            idle = thread.get();
            break;
        }
    }
    if (!idle && threads_.size() < 4 * static_cast<size_t>(bound_)) {
        auto thread = std::make_unique<StepThread>();
        thread->owner = this;
        thread->index = threads_.size();
        thread->go.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
        if (thread->go)
            thread->thread.Reset(CreateThread(nullptr, kStepThreadStack, StepMain, thread.get(),
                                              STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
        if (thread->thread) {
            InterlockedIncrement(&g_helperThreads);
            threads_.push_back(std::move(thread));
            idle = threads_.back().get();
            g_figures.stepThreads = static_cast<DWORD>(threads_.size());
        }
    }
    if (!idle) {
        StepEnded(step, index, RunStep(step, index));
        return false;
    }
    idle->busy = true;
    idle->since = GetTickCount();
    idle->step = step;
    idle->job = index;
    SetEvent(idle->go.Get());
    return true;
}

void Scheduler::StartJob(size_t index)
{
    CreationRunState& run = TheRunState();
    InterlockedIncrement(&run.startedCount);
    InterlockedIncrement(&run.unattendedStartedCount);
    Notify(0);
    jobs_[index]->entry.inProgress = 1;
    DWORD inFlight = static_cast<DWORD>(nextDeploy_ - finished_);
    g_figures.peakInFlight = std::max(g_figures.peakInFlight, inFlight);
}

void Scheduler::ArmOutcomeRead(size_t index)
{
    CreationJob& job = *jobs_[index];
    std::memset(&job.status, 0, sizeof(job.status));
    if (!job.channel.ReadExact(&job.status, sizeof(job.status), false) && GetLastError() != ERROR_IO_PENDING) {
        // Nothing will ever signal this job: it is finished now.
        SetOutcome(job.entry, kJobCommunication, GetLastError());
        Enqueue(Step::Finish, index);
        return;
    }
    std::unique_ptr<WaitGroup>& group = groups_[index / kWaitGroupSize];
    if (!group) {
        auto made = std::make_unique<WaitGroup>(box_);
        if (!made->Start()) {
            SetOutcome(job.entry, kJobCommunication, GetLastError());
            Enqueue(Step::Finish, index);
            return;
        }
        group = std::move(made);
        ++g_figures.groups;
    }
    phases_[index] = Phase::Waiting;
    group->Add(job.channel.handle, index);
}

void Scheduler::Enqueue(Step step, size_t index)
{
    phases_[index] = Phase::Queued;
    queue_.push_back({step, index, false});
}

void Scheduler::CountFinished(size_t index)
{
    // Before the last job is counted, every helper thread has ended: once the progress
    // dialog sees the run complete, nothing of it runs any more.
    if (finished_ + 1 == jobs_.size()) ShutDownHelpers();
    CreationRunState& run = TheRunState();
    ComputerEntry& entry = jobs_[index]->entry;
    InterlockedIncrement(&run.completedCount);
    if (entry.result != kJobSucceeded) InterlockedIncrement(&run.errorCount);
    Notify(1);
    entry.inProgress = 0;
    phases_[index] = Phase::Finished;
    ++finished_;
    g_figures.lastFinishTick = GetTickCount();
    jobs_[index].reset(); // its pipe buffers are not needed any more
}

void Scheduler::SetRunReason(ComputerEntry& entry) const
{
    switch (ending_) {
    case Ending::Cancelled:
        SetOutcome(entry, kJobCancelled, kNoErrorCode);
        break;
    case Ending::WaitFailed:
        SetOutcome(entry, kJobCommunication, endError_);
        break;
    case Ending::TimedOut:
        SetOutcome(entry, kJobTimeout, kNoErrorCode);
        break;
    case Ending::None:
        break;
    }
}

// Cancel, the time limit or a failed wait: no deployment or fetch starts any more, those
// under way are broken off (the abort event ends their pipe waits), and jobs not yet
// started are counted as started and finished at once.
void Scheduler::EndEarly(Ending ending, DWORD error)
{
    ending_ = ending;
    endError_ = error;
    if (ending != Ending::Cancelled && abortEvent_) SetEvent(abortEvent_);
    for (size_t i = queueHead_; i < queue_.size(); ++i) {
        if (queue_[i].step != Step::Fetch || queue_[i].dropped) continue;
        queue_[i].dropped = true;
        phases_[queue_[i].job] = Phase::Left;
    }
    while (nextDeploy_ < jobs_.size()) {
        size_t index = nextDeploy_++;
        StartJob(index);
        SetRunReason(jobs_[index]->entry);
        FinishOnTarget(*jobs_[index]); // nothing was opened: no wait
        CountFinished(index);
    }
}

// Once no deployment or fetch runs any more: the waiting threads end, and every job still
// in flight gets the run's reason and its finishing steps.
void Scheduler::FinishLeftJobs()
{
    leftFinished_ = true;
    for (auto& group : groups_)
        if (group) group->Stop();
    for (size_t i = 0; i < jobs_.size(); ++i) {
        if (phases_[i] != Phase::Waiting && phases_[i] != Phase::Left) continue;
        SetRunReason(jobs_[i]->entry);
        Enqueue(Step::Finish, i);
    }
}

void Scheduler::ShutDownHelpers() noexcept
{
    for (auto& group : groups_)
        if (group) group->Stop();
    for (auto& thread : threads_) {
        if (!thread->thread) continue;
        InterlockedExchange(&thread->stop, 1);
        SetEvent(thread->go.Get());
        WaitForSingleObject(thread->thread.Get(), INFINITE);
        thread->thread.Reset();
        InterlockedDecrement(&g_helperThreads);
    }
}

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
    InterlockedExchange(&run.cancelRequested, 1);
    if (run.abortEvent) SetEvent(run.abortEvent);
}

void PrepareRunState(HWND progressWindow)
{
    CreationRunState& run = TheRunState();
    run.progressWindow = progressWindow;
    InterlockedExchange(&run.cancelRequested, 0);
    if (!run.abortEvent) run.abortEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // A run starts with its abort clear unless Cancel came first (the flag is set before
    // the event, so a cancel racing with this keeps both).
    if (run.abortEvent && !IsCancelRequested()) {
        ResetEvent(run.abortEvent);
        if (IsCancelRequested()) SetEvent(run.abortEvent);
    }
    if (run.abortEvent) ResetEvent(run.abortEvent);
    InterlockedExchange(&run.errorCount, 0);
    InterlockedExchange(&run.completedCount, 0);
    InterlockedExchange(&run.startedCount, 0);
    InterlockedExchange(&run.unattendedStartedCount, 0);
}

AgentDeployer& Deployer()
{
    AgentDeployer* deployer = g_deployer.load();
    return deployer ? *deployer : g_targetDeployer;
}

void SetDeployer(AgentDeployer* deployer) { g_deployer.store(deployer); }

DWORD StepBound(uint32_t maxDeployThread) noexcept
{
    return std::clamp<DWORD>(maxDeployThread, 1, kMaxStepBound);
}

const RunFigures& LastRunFigures() noexcept { return g_figures; }

LONG HelperThreadsAlive() noexcept { return g_helperThreads; }

bool FetchRepairFiles(CreationJob& job)
{
    ComputerEntry& entry = job.entry;
    std::string folder;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    {
        // Two fetches making the same missing parent folder must not fail each other.
        ExclusiveLock hold(g_folderLock);
        if (!ExpandOutputFolder(entry.name.c_str(), folder)) {
            FailFetch(job, kJobOutputFolderError, GetLastError()); // too long, or a name that is no folder
            return false;
        }
        attributes = GetFileAttributesA(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            CreateFolderPath(folder);
            // The folder's own test decides, with its error code.
            attributes = GetFileAttributesA(folder.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES) {
                FailFetch(job, kJobOutputFolderError, GetLastError());
                return false;
            }
        }
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        FailFetch(job, kJobOutputFolderError, ERROR_DIRECTORY);
        return false;
    }

    // Staged receive (StagedSet.h): the previous set stays whole until "<Finish>".
    StagedSet staged(folder, entry.name);
    if (!staged.Begin()) {
        FailFetch(job, kJobOutputFolderError, GetLastError());
        return false;
    }

    // The go-ahead; its value means nothing. A go-ahead that cannot be written has no
    // outcome of its own: the reception that follows fails.
    unsigned char goAhead = static_cast<unsigned char>(attributes & 0xFF);
    job.channel.WriteExact(&goAhead, 1, true);

    std::string fileName;
    for (;;) {
        if (IsCancelRequested()) {
            SetOutcome(entry, kJobCancelled, kNoErrorCode);
            return false;
        }
        int received = job.channel.ReceiveFile(fileName, staged.ReceiveFolder().c_str());
        if (received == -3) {
            FailFetch(job, kJobTimeout, kNoErrorCode);
            return false;
        }
        if (received != 0) {
            DWORD error = GetLastError();
            if (IsCancelRequested())
                SetOutcome(entry, kJobCancelled, kNoErrorCode);
            else
                FailFetch(job, kJobCopyError, error);
            return false;
        }
        if (fileName == kFinishName) {
            if (staged.Commit()) return true; // staged receive: the set in place whole
            FailFetch(job, kJobOutputFolderError, GetLastError());
            return false;
        }
        if (fileName == kErrorName) {
            FailFetch(job, kJobCopyError, kNoErrorCode);
            return false;
        }
    }
}

DWORD RunJobs(ComputerList& list)
{
    CreationRunState& run = TheRunState();
    const ConsoleSettings& settings = TheConsoleSettings();
    run.localAgentPath = settings.InstallPath + "\\" + kAgentFileName;
    run.localAlphaAgentPath = settings.InstallPath + "\\" + kAlphaAgentFileName;
    if (!run.abortEvent) run.abortEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // A run starts with its abort clear unless Cancel came first (the flag is set before
    // the event, so a cancel racing with this keeps both).
    if (run.abortEvent && !IsCancelRequested()) {
        ResetEvent(run.abortEvent);
        if (IsCancelRequested()) SetEvent(run.abortEvent);
    }
    g_figures = RunFigures{};
    ForgetIncompleteTransfers(); // staged receive: the log notes are this run's

    std::vector<std::unique_ptr<CreationJob>> jobs;
    for (const ComputerEntryPtr& entry : list.Entries()) {
        if (!entry->selected) continue;
        entry->inProgress = 0;
        entry->errorCode = 0;
        entry->result = kJobSucceeded;
        entry->scmHandle = nullptr;
        entry->serviceHandle = nullptr;
        entry->agentPath.clear(); // a file of an earlier run is not this run's to delete
        auto job = std::make_unique<CreationJob>(*entry);
        job->channel.timeout = kChannelTimeout;
        job->channel.retryCount = kChannelRetryCount;
        job->channel.cancelEvent = run.abortEvent;
        jobs.push_back(std::move(job));
    }
    g_figures.noticeTicks.assign(jobs.size(), 0);

    // The worker only schedules: it goes before the step threads' transfers, as the
    // waiting threads do.
    HANDLE self = GetCurrentThread();
    int priority = GetThreadPriority(self);
    if (priority != THREAD_PRIORITY_ERROR_RETURN && priority < THREAD_PRIORITY_ABOVE_NORMAL)
        SetThreadPriority(self, THREAD_PRIORITY_ABOVE_NORMAL);
    {
        Scheduler scheduler(jobs, StepBound(settings.MaxDeployThread));
        scheduler.Run();
    }
    if (priority != THREAD_PRIORITY_ERROR_RETURN) SetThreadPriority(self, priority);
    if (!g_figures.lastFinishTick) g_figures.lastFinishTick = GetTickCount();
    return 0;
}

DWORD WINAPI RunJobsThread(void* list)
{
    try {
        return RunJobs(*static_cast<ComputerList*>(list));
    } catch (...) {
        return 1; // out of memory before the run could be scheduled
    }
}

void RunJobsUnattended()
{
    CreationRunState& run = TheRunState();
    PrepareRunState(nullptr);
    RunJobs(TheComputerList());
    for (DWORD waited = 0; run.unattendedStartedCount != 0 && run.unattendedStartedCount != run.completedCount &&
                           waited < kUnattendedDrainLimit;
         ++waited)
        Sleep(1000);
    Sleep(kUnattendedSettlePause);
    LogRunResults(TheComputerList(), nullptr, false);
    WriteUnicenterStatus(TheComputerList(), false);
}

void LogRunResults(const ComputerList& list, HWND owner, bool cancelled)
{
    ResultLog& log = TheResultLog();
    if (!log.BeginSession(owner, kSessionCreateErd)) return;
    bool anyFailed = false;
    for (const ComputerEntryPtr& entry : list.Entries()) {
        if (!entry->selected) continue;
        if (entry->result == kJobSucceeded) {
            log.LogItemById(false, entry->name.c_str(), nullptr, IDS_CREATE_ER_DISK, nullptr, 0);
            continue;
        }
        anyFailed = true;
        std::string text;
        int32_t code = static_cast<int32_t>(entry->errorCode);
        if (LoadConsoleString(entry->result, text)) {
            if (entry->errorCode != 0 && entry->errorCode != kNoErrorCode)
                text += " - " + NetErrorText(entry->errorCode);
            text += IncompleteTransferNote(entry->name); // staged receive: the set kept
            log.LogItemById(true, entry->name.c_str(), nullptr, IDS_CREATE_ER_DISK, text.c_str(), code);
        } else {
            log.LogItem(true, entry->name.c_str(), nullptr, TEXT_CREATE_ER_DISK, nullptr, code);
        }
    }
    std::string finalText;
    LoadConsoleString(cancelled ? IDS_CANCELLED_BY_USER : IDS_OPERATION_COMPLETED, finalText);
    log.EndSession(finalText.c_str(), !cancelled && !anyFailed);
}
