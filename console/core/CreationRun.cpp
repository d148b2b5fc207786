// The worker of the creation run: drives the policy (RunPolicy) with what the step threads
// (StepPool) and the outcome watchers (WaitGroup) report through the mailbox, and carries
// out the job steps (CreationSteps) it decides on. Counts and notifications are made here.
#include "CreationRun.h"

#include "ConsoleState.h"
#include "CreationSteps.h"
#include "OutcomeWatch.h"
#include "OutputFolder.h"
#include "RunFiguresInternal.h"
#include "RunMailbox.h"
#include "RunPolicy.h"
#include "Settings.h"
#include "StagedSet.h"
#include "StepPool.h"
#include "Synchronization.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

// A deployment whose target has not answered within this time (typically a computer that
// is switched off, holding its call for the length of a network time-out) stops counting
// against the bound, so that the next deployment starts; at most 2 x bound are set aside.
constexpr DWORD kUnansweredGrace = 1000;

using Jobs = std::vector<std::unique_ptr<CreationJob>>;

void Notify(WPARAM what)
{
    HWND window = TheRunState().progressWindow;
    if (window && !IsUnattended()) PostMessageA(window, kProgressMessage, what, 0);
}

std::string Upper(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

class Scheduler final : public StepRunner, public PolicyActions {
public:
    Scheduler(Jobs& jobs, const std::vector<RunPolicy::Keys>& keys, DWORD bound)
        : jobs_(jobs), policy_(keys, bound), steps_(jobs.size(), JobStep::Deploy),
          limit_(TheConsoleSettings().TimeoutMilliseconds()), alwaysCopy_(TheConsoleSettings().AlwaysCopyFiles != 0),
          abortEvent_(TheRunState().abortEvent), box_(jobs.size(), GroupCount(jobs.size())), pool_(*this, box_, bound),
          groups_(GroupCount(jobs.size()))
    {
    }
    ~Scheduler() override { ShutDownHelpers(); }

    void Run();
    bool RunStep(JobStep step, size_t job) noexcept override;
    void GiveEndingResult(size_t job, RunEnding ending) override;
    void FinishUnstarted(size_t job, RunEnding ending) override;

private:
    static size_t GroupCount(size_t jobs) { return (jobs + kWaitGroupSize - 1) / kWaitGroupSize; }
    void Dispatch();
    void Start(JobStep step, size_t job);
    void Handle(const Report& report);
    void StepEnded(JobStep step, size_t job, bool ok, bool wasSetAside);
    void StartJob(size_t job);
    void ArmOutcomeRead(size_t job);
    void NoticeOutcome(size_t job);
    void CountFinished(size_t job);
    void EndRun(RunEnding ending, DWORD error);
    bool LimitPassed() const;
    DWORD TimeLeft() const;
    DWORD SetAsideUnanswered();
    void StopWatchers() noexcept;
    void ShutDownHelpers() noexcept;

    Jobs& jobs_;
    RunPolicy policy_;
    std::vector<JobStep> steps_; // the step each job is on
    const DWORD limit_;          // ms, 0: none
    const bool alwaysCopy_;
    HANDLE abortEvent_;
    Mailbox box_;
    StepPool pool_;
    std::vector<std::unique_ptr<WaitGroup>> groups_;
    size_t started_ = 0;
    bool limitRunning_ = false;
    DWORD limitStart_ = 0;
    DWORD endError_ = 0;
};

void Scheduler::Run()
{
    if (!box_.IsValid()) EndRun(RunEnding::Failed, GetLastError());
    for (;;) {
        try {
            SetAsideUnanswered(); // makes room for the deployments Dispatch starts
            Dispatch();
            if (policy_.AllCounted()) break;
            HANDLE events[2] = {box_.Event(), abortEvent_};
            DWORD waitCount = !policy_.Cancelled() && abortEvent_ ? 2 : 1;
            DWORD timeout = std::min(TimeLeft(), SetAsideUnanswered());
            DWORD result = box_.IsValid() ? WaitForMultipleObjects(waitCount, events, FALSE, timeout) : WAIT_FAILED;
            if (result == WAIT_FAILED) {
                DWORD error = GetLastError();
                if (!policy_.Ended()) EndRun(RunEnding::Failed, error);
                else Sleep(1); // the in-tray is still read below: the run ends all the same
            }
            if (IsCancelRequested()) EndRun(RunEnding::Cancelled, 0);
            if (LimitPassed()) EndRun(RunEnding::TimedOut, 0);
            for (const Report& report : box_.Take()) Handle(report);
            if (box_.IsBroken()) EndRun(RunEnding::Failed, ERROR_INVALID_DATA);
        } catch (...) {
            // Out of memory in the worker: the run ends; every job still gets a result.
            EndRun(RunEnding::Failed, ERROR_NOT_ENOUGH_MEMORY);
        }
    }
    ShutDownHelpers();
}

void Scheduler::Dispatch()
{
    size_t job;
    while (policy_.NextDeploy(job)) {
        StartJob(job);
        RunFigures& figures = MutableRunFigures();
        figures.peakDeploying = std::max(figures.peakDeploying, policy_.Deploying());
        Start(JobStep::Deploy, job);
    }
    // The run's time limit counts from the moment every deployment has been made.
    if (!limitRunning_ && !policy_.Ended() && policy_.DeploymentsDone()) {
        limitRunning_ = true;
        limitStart_ = GetTickCount();
    }
    JobStep step;
    while (policy_.NextTransfer(step, job)) {
        RunFigures& figures = MutableRunFigures();
        figures.peakFetching = std::max(figures.peakFetching, policy_.Fetching());
        Start(step, job);
    }
}

// On a step thread when one takes it; otherwise here, its end handled at once.
void Scheduler::Start(JobStep step, size_t job)
{
    steps_[job] = step;
    if (!pool_.HandOver(step, job)) StepEnded(step, job, RunStep(step, job), false);
}

bool Scheduler::RunStep(JobStep step, size_t index) noexcept
{
    CreationJob& job = *jobs_[index];
    try {
        switch (step) {
        case JobStep::Deploy:
            return DeployStep(job);
        case JobStep::Fetch:
            return FetchStep(job);
        case JobStep::Finish:
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

void Scheduler::Handle(const Report& report)
{
    switch (report.kind) {
    case Report::WaitFailed:
        EndRun(RunEnding::Failed, report.error);
        return;
    case Report::OutcomeArrived:
        // A job an ending has reached meanwhile is left alone.
        if (policy_.IsWaiting(report.job)) NoticeOutcome(report.job);
        return;
    case Report::StepDone:
        StepEnded(steps_[report.job], report.job, report.ok, pool_.Idle(report.thread));
        return;
    }
}

void Scheduler::StepEnded(JobStep step, size_t job, bool ok, bool wasSetAside)
{
    switch (step) {
    case JobStep::Deploy:
        if (policy_.DeployEnded(job, ok, wasSetAside, *this)) ArmOutcomeRead(job);
        if (!ok) CountFinished(job);
        return;
    case JobStep::Fetch:
        policy_.TransferEnded(job);
        // A fetch that succeeded has put its set in place: a Cancel after that leaves its 11.
        CountFinished(job);
        return;
    case JobStep::Finish:
        policy_.TransferEnded(job);
        CountFinished(job);
        return;
    }
}

void Scheduler::StartJob(size_t job)
{
    CreationRunState& run = TheRunState();
    InterlockedIncrement(&run.startedCount);
    InterlockedIncrement(&run.unattendedStartedCount);
    Notify(0);
    jobs_[job]->entry.inProgress = 1;
    ++started_;
    RunFigures& figures = MutableRunFigures();
    figures.peakInFlight = std::max(figures.peakInFlight, static_cast<DWORD>(started_ - policy_.CountedJobs()));
}

void Scheduler::ArmOutcomeRead(size_t index)
{
    CreationJob& job = *jobs_[index];
    policy_.Waiting(index);
    std::memset(&job.status, 0, sizeof(job.status));
    if (!job.channel.ReadExact(&job.status, sizeof(job.status), false) && GetLastError() != ERROR_IO_PENDING) {
        // Nothing will ever signal this job: it is finished now.
        SetOutcome(job.entry, kJobCommunication, GetLastError());
        policy_.OutcomeArrived(index, false);
        return;
    }
    std::unique_ptr<WaitGroup>& group = groups_[index / kWaitGroupSize];
    if (!group) {
        std::unique_ptr<WaitGroup> made(new (std::nothrow) WaitGroup(box_));
        if (!made || !made->Start()) {
            SetOutcome(job.entry, kJobCommunication, made ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY);
            policy_.OutcomeArrived(index, false);
            return;
        }
        group = std::move(made);
        ++MutableRunFigures().groups;
    }
    if (!group->Add(job.channel.handle, index)) {
        SetOutcome(job.entry, kJobCommunication, ERROR_NOT_ENOUGH_MEMORY);
        policy_.OutcomeArrived(index, false);
    }
}

void Scheduler::NoticeOutcome(size_t job)
{
    MutableRunFigures().noticeTicks[job] = GetTickCount();
    policy_.OutcomeArrived(job, TakeOutcome(*jobs_[job], alwaysCopy_));
}

void Scheduler::CountFinished(size_t job)
{
    // Before the last job is counted, every helper thread has ended: once the progress
    // dialog sees the run complete, nothing of it runs any more.
    if (policy_.CountedJobs() + 1 == jobs_.size()) ShutDownHelpers();
    CreationRunState& run = TheRunState();
    ComputerEntry& entry = jobs_[job]->entry;
    InterlockedIncrement(&run.completedCount);
    if (entry.result != kJobSucceeded) InterlockedIncrement(&run.errorCount);
    Notify(1);
    entry.inProgress = 0;
    policy_.Counted(job);
    MutableRunFigures().lastFinishTick = GetTickCount();
    jobs_[job].reset(); // its pipe buffers are not needed any more
}

void Scheduler::GiveEndingResult(size_t job, RunEnding ending)
{
    ComputerEntry& entry = jobs_[job]->entry;
    switch (ending) {
    case RunEnding::Cancelled:
        SetOutcome(entry, kJobCancelled, kNoErrorCode);
        break;
    case RunEnding::Failed:
        SetOutcome(entry, kJobCommunication, endError_);
        break;
    case RunEnding::TimedOut:
        SetOutcome(entry, kJobTimeout, kNoErrorCode);
        break;
    case RunEnding::None:
        break;
    }
}

void Scheduler::FinishUnstarted(size_t job, RunEnding ending)
{
    StartJob(job);
    GiveEndingResult(job, ending);
    FinishOnTarget(*jobs_[job]); // nothing was opened: no wait
    CountFinished(job);
}

// Cancel, the time limit or a failure. The watchers stop first, so that the pipes of the
// jobs the ending reaches may close; outcomes that arrived before the time limit still
// count as arrived.
void Scheduler::EndRun(RunEnding ending, DWORD error)
{
    if (ending == RunEnding::Cancelled ? policy_.Cancelled() : policy_.Ended()) return;
    if (ending == RunEnding::Failed) endError_ = error;
    StopWatchers();
    if (ending == RunEnding::TimedOut) {
        for (size_t job = 0; job < jobs_.size(); ++job)
            if (policy_.IsWaiting(job) && HasOverlappedIoCompleted(&jobs_[job]->channel.overlapped)) NoticeOutcome(job);
    }
    policy_.End(ending, *this);
}

bool Scheduler::LimitPassed() const
{
    return !policy_.Ended() && limitRunning_ && limit_ && win::TicksSince(limitStart_) > limit_;
}

DWORD Scheduler::TimeLeft() const
{
    if (policy_.Ended() || !limitRunning_ || !limit_) return INFINITE;
    DWORD elapsed = win::TicksSince(limitStart_);
    if (elapsed > limit_) return 0;
    DWORD left = limit_ - elapsed + 1; // the limit is passed when more than it has elapsed
    return left >= INFINITE ? INFINITE - 1 : left;
}

// With a bound above 1, deployments whose target has not answered within the grace time
// make room for the next ones; returns when to look again.
DWORD Scheduler::SetAsideUnanswered()
{
    return pool_.SetAsideUnanswered(
        GetTickCount(), kUnansweredGrace, [this](size_t job) { return !jobs_[job]->targetAnswered; },
        [this](size_t job) {
            if (!policy_.SetAside(job)) return false;
            RunFigures& figures = MutableRunFigures();
            figures.peakSetAside = std::max(figures.peakSetAside, policy_.SetAsideCount());
            return true;
        },
        policy_.SetAsideAllowed());
}

void Scheduler::StopWatchers() noexcept
{
    for (auto& group : groups_)
        if (group) group->Stop();
}

void Scheduler::ShutDownHelpers() noexcept
{
    StopWatchers();
    pool_.Stop();
}

// Out of memory before the run could start: every selected computer is still counted,
// with a result that says so, so that nothing waits for the run.
void FailWholeRun(ComputerList& list)
{
    CreationRunState& run = TheRunState();
    for (const ComputerEntryPtr& entry : list.Entries()) {
        if (!entry->selected) continue;
        InterlockedIncrement(&run.startedCount);
        InterlockedIncrement(&run.unattendedStartedCount);
        Notify(0);
        SetOutcome(*entry, kJobCommunication, ERROR_NOT_ENOUGH_MEMORY);
        entry->inProgress = 0;
        InterlockedIncrement(&run.completedCount);
        InterlockedIncrement(&run.errorCount);
        Notify(1);
    }
}

} // namespace

DWORD RunJobs(ComputerList& list)
{
    CreationRunState& run = TheRunState();
    const ConsoleSettings& settings = TheConsoleSettings();
    // The worker only schedules: it goes before the step threads' transfers, as the
    // waiting threads do.
    HANDLE self = GetCurrentThread();
    int priority = GetThreadPriority(self);
    try {
        run.localAgentPath = settings.InstallPath + "\\" + kAgentFileName;
        run.localAlphaAgentPath = settings.InstallPath + "\\" + kAlphaAgentFileName;
        if (!run.abortEvent) run.abortEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        // A run starts with its abort clear unless Cancel came first (the flag is set before
        // the event, so a cancel racing with this keeps both).
        if (run.abortEvent && !IsCancelRequested()) {
            ResetEvent(run.abortEvent);
            if (IsCancelRequested()) SetEvent(run.abortEvent);
        }
        MutableRunFigures() = RunFigures{};
        ForgetIncompleteTransfers(); // the log's notes on sets not put in place are this run's

        Jobs jobs;
        std::vector<RunPolicy::Keys> keys;
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
            RunPolicy::Keys key;
            key.computer = Upper(entry->name);
            if (ExpandOutputFolder(entry->name.c_str(), job->folder)) key.folder = Upper(job->folder);
            keys.push_back(std::move(key));
            jobs.push_back(std::move(job));
        }
        MutableRunFigures().noticeTicks.assign(jobs.size(), 0);

        if (priority != THREAD_PRIORITY_ERROR_RETURN && priority < THREAD_PRIORITY_ABOVE_NORMAL)
            SetThreadPriority(self, THREAD_PRIORITY_ABOVE_NORMAL);
        Scheduler scheduler(jobs, keys, StepBound(settings.MaxDeployThread));
        scheduler.Run();
    } catch (...) {
        FailWholeRun(list); // nothing was started: the scheduler catches its own
    }
    if (priority != THREAD_PRIORITY_ERROR_RETURN) SetThreadPriority(self, priority);
    if (!MutableRunFigures().lastFinishTick) MutableRunFigures().lastFinishTick = GetTickCount();
    return 0;
}

DWORD WINAPI RunJobsThread(void* list) { return RunJobs(*static_cast<ComputerList*>(list)); }
