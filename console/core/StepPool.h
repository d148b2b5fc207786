// The step threads: a pool of at most 4 x bound threads, each carrying out one step of one
// job at a time for the worker and posting a StepDone report when it is done.
#pragma once
#include "RunMailbox.h"
#include "RunPolicy.h"
#include "Synchronization.h"
#include "Thread.h"

#include <memory>
#include <vector>

// What a step thread runs; never throws.
class StepRunner {
public:
    virtual ~StepRunner() = default;
    virtual bool RunStep(JobStep step, size_t job) noexcept = 0;
};

class StepPool {
public:
    StepPool(StepRunner& runner, Mailbox& box, DWORD bound);
    ~StepPool() { Stop(); }
    StepPool(const StepPool&) = delete;
    StepPool& operator=(const StepPool&) = delete;

    // Gives the step to an idle thread, making one when none is idle and the pool may grow.
    // False when no thread could take it: the caller runs it itself.
    bool HandOver(JobStep step, size_t job) noexcept;
    // The thread of a StepDone report is idle again; true when it was deploying a job the
    // run had set aside.
    bool Idle(size_t thread) noexcept;

    // Deployments under way longer than `grace` whose target has not answered: set aside
    // (they stop counting against the bound) and passed to `setAside`; the time until the
    // next one is due (INFINITE: none).
    template <class Unanswered, class SetAside>
    DWORD SetAsideUnanswered(DWORD now, DWORD grace, Unanswered unanswered, SetAside setAside, bool act);

    void Stop() noexcept;
    DWORD Size() const noexcept { return static_cast<DWORD>(threads_.size()); }

private:
    struct StepThread {
        StepPool* pool = nullptr;
        size_t index = 0;
        win::Thread thread;
        win::AutoResetEvent go; // a step was handed over, or the thread is to end
        JobStep step = JobStep::Deploy;
        size_t job = 0;
        volatile LONG stop = 0;
        bool busy = false;
        DWORD since = 0;       // when the step was handed over
        bool setAside = false; // a deployment that no longer counts against the bound
    };
    static DWORD WINAPI Main(void* parameter);
    StepThread* MakeThread() noexcept;

    StepRunner& runner_;
    Mailbox& box_;
    const size_t limit_;
    std::vector<std::unique_ptr<StepThread>> threads_;
};

template <class Unanswered, class SetAside>
DWORD StepPool::SetAsideUnanswered(DWORD now, DWORD grace, Unanswered unanswered, SetAside setAside, bool act)
{
    DWORD soonest = INFINITE;
    for (const auto& thread : threads_) {
        if (!act) break;
        if (!thread->busy || thread->step != JobStep::Deploy || thread->setAside || !unanswered(thread->job)) continue;
        DWORD spent = win::TicksBetween(thread->since, now);
        if (spent < grace) {
            soonest = std::min(soonest, grace - spent);
            continue;
        }
        if (!setAside(thread->job)) {
            act = false;
            soonest = INFINITE;
            break;
        }
        thread->setAside = true;
    }
    return soonest;
}
