// The outcome watchers: one thread per group of up to kWaitGroupSize jobs whose outcome
// record is being read, reporting each completed read to the worker at once.
#pragma once
#include "CreationRun.h"
#include "RunMailbox.h"
#include "Synchronization.h"
#include "Thread.h"

class WaitGroup {
public:
    explicit WaitGroup(Mailbox& box) : box_(box) {}
    ~WaitGroup() { Stop(); }
    WaitGroup(const WaitGroup&) = delete;
    WaitGroup& operator=(const WaitGroup&) = delete;

    bool Start();
    // Watches `pipe` for `job`; false (nothing watched) when the group is full.
    bool Add(HANDLE pipe, size_t job) noexcept;
    // Ends the watching thread. Invariant: every group is stopped before any pipe it may
    // still watch is closed; the run stops them all before it finishes a waiting job.
    void Stop() noexcept;

private:
    static DWORD WINAPI Watch(void* parameter);
    void Loop() noexcept;
    void Forget(size_t job) noexcept;

    Mailbox& box_;
    win::CriticalSection lock_;
    HANDLE handles_[kWaitGroupSize] = {};
    size_t jobs_[kWaitGroupSize] = {};
    DWORD count_ = 0;
    volatile LONG stop_ = 0;
    win::AutoResetEvent wake_;
    win::Thread thread_;
};
