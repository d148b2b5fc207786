#include "OutcomeWatch.h"

#include "RunFiguresInternal.h"

#include <algorithm>

namespace {
constexpr DWORD kWaitThreadStack = 64 * 1024;
}

bool WaitGroup::Start()
{
    if (!wake_.Create()) return false;
    if (!thread_.Create(Watch, this, kWaitThreadStack)) return false;
    HelperThreadStarted();
    // Noticing an outcome must not wait behind the transfers of the step threads.
    SetThreadPriority(thread_.Get(), THREAD_PRIORITY_ABOVE_NORMAL);
    return true;
}

bool WaitGroup::Add(HANDLE pipe, size_t job) noexcept
{
    {
        win::CriticalSectionLock hold(lock_);
        if (count_ >= kWaitGroupSize) return false;
        handles_[count_] = pipe;
        jobs_[count_] = job;
        ++count_;
    }
    wake_.Set();
    return true;
}

void WaitGroup::Stop() noexcept
{
    if (!thread_.IsCreated()) return;
    InterlockedExchange(&stop_, 1);
    wake_.Set();
    thread_.Wait();
    HelperThreadEnded();
}

DWORD WINAPI WaitGroup::Watch(void* parameter)
{
    static_cast<WaitGroup*>(parameter)->Loop();
    return 0;
}

void WaitGroup::Loop() noexcept
{
    HANDLE waitOn[kWaitGroupSize + 1];
    size_t jobs[kWaitGroupSize];
    for (;;) {
        if (stop_) return;
        DWORD count;
        {
            win::CriticalSectionLock hold(lock_);
            count = count_;
            std::copy(handles_, handles_ + count, waitOn + 1);
            std::copy(jobs_, jobs_ + count, jobs);
        }
        waitOn[0] = wake_.Get();
        DWORD result = WaitForMultipleObjects(count + 1, waitOn, FALSE, INFINITE);
        if (result == WAIT_OBJECT_0) continue;
        if (result > WAIT_OBJECT_0 && result <= WAIT_OBJECT_0 + count) {
            size_t job = jobs[result - WAIT_OBJECT_0 - 1];
            Forget(job); // one outcome report per job
            box_.Post({Report::OutcomeArrived, true, job, 0, 0});
            continue;
        }
        box_.Post({Report::WaitFailed, false, 0, 0, GetLastError()});
        return;
    }
}

void WaitGroup::Forget(size_t job) noexcept
{
    win::CriticalSectionLock hold(lock_);
    for (DWORD i = 0; i < count_; ++i) {
        if (jobs_[i] != job) continue;
        handles_[i] = handles_[count_ - 1];
        jobs_[i] = jobs_[count_ - 1];
        --count_;
        return;
    }
}
