#include "StepPool.h"

#include "RunFiguresInternal.h"

#include <new>

namespace {
constexpr DWORD kStepThreadStack = 256 * 1024; // reserved, not committed
}

StepPool::StepPool(StepRunner& runner, Mailbox& box, DWORD bound)
    : runner_(runner), box_(box), limit_(4 * static_cast<size_t>(bound))
{
    threads_.reserve(limit_);
}

DWORD WINAPI StepPool::Main(void* parameter)
{
    StepThread& self = *static_cast<StepThread*>(parameter);
    for (;;) {
        self.go.Wait();
        if (self.stop) return 0;
        bool ok = self.pool->runner_.RunStep(self.step, self.job);
        self.pool->box_.Post({Report::StepDone, ok, self.job, self.index, 0});
    }
}

StepPool::StepThread* StepPool::MakeThread() noexcept
{
    if (threads_.size() >= limit_) return nullptr;
    std::unique_ptr<StepThread> thread(new (std::nothrow) StepThread);
    if (!thread) return nullptr;
    thread->pool = this;
    thread->index = threads_.size();
    if (!thread->go.Create() || !thread->thread.Create(Main, thread.get(), kStepThreadStack)) return nullptr;
    HelperThreadStarted();
    threads_.push_back(std::move(thread)); // reserved: does not allocate
    MutableRunFigures().stepThreads = static_cast<DWORD>(threads_.size());
    return threads_.back().get();
}

bool StepPool::HandOver(JobStep step, size_t job) noexcept
{
    StepThread* idle = nullptr;
    for (auto& thread : threads_) {
        if (!thread->busy) {
            idle = thread.get();
            break;
        }
    }
    if (!idle) idle = MakeThread();
    if (!idle) return false;
    idle->busy = true;
    idle->since = GetTickCount();
    idle->step = step;
    idle->job = job;
    idle->setAside = false;
    idle->go.Set();
    return true;
}

bool StepPool::Idle(size_t thread) noexcept
{
    StepThread& done = *threads_[thread];
    done.busy = false;
    bool wasSetAside = done.setAside;
    done.setAside = false;
    return wasSetAside;
}

void StepPool::Stop() noexcept
{
    for (auto& thread : threads_) {
        if (!thread->thread.IsCreated()) continue;
        InterlockedExchange(&thread->stop, 1);
        thread->go.Set();
        thread->thread.Wait();
        HelperThreadEnded();
    }
}
