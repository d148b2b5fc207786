// The worker's in-tray: what the step threads and the outcome watchers tell it.
#pragma once
#include "Synchronization.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

struct Report {
    enum Kind : uint8_t { StepDone, OutcomeArrived, WaitFailed };
    Kind kind = StepDone;
    bool ok = false;
    size_t job = 0;
    size_t thread = 0; // StepDone: the step thread, now idle
    DWORD error = 0;   // WaitFailed
};

// Invariants, enforced by Post: a job has at most one step report and one outcome report
// pending (it runs on one step thread at a time, and a watcher forgets a handle as it
// reports it), and each watcher reports its failure once and ends. The capacity is made
// for exactly that many, so Post never allocates; a report that would break them is
// refused and marks the mailbox broken, which ends the run.
class Mailbox {
public:
    Mailbox(size_t jobs, size_t watchers);
    bool IsValid() const noexcept { return event_.IsCreated(); }
    HANDLE Event() const noexcept { return event_.Get(); }
    bool IsBroken() const noexcept { return broken_ != 0; }

    void Post(const Report& report) noexcept;
    // The reports posted since the last Take, in the order they came.
    const std::vector<Report>& Take() noexcept;

private:
    static constexpr uint8_t kStepPending = 1;
    static constexpr uint8_t kOutcomePending = 2;
    static uint8_t Flag(Report::Kind kind) noexcept { return kind == Report::OutcomeArrived ? kOutcomePending : kStepPending; }

    win::CriticalSection lock_;
    win::AutoResetEvent event_;
    std::vector<uint8_t> pending_;  // per job: which of its reports is pending
    size_t watchers_;
    size_t failures_ = 0;           // WaitFailed reports pending
    std::vector<Report> posted_;
    std::vector<Report> taken_;
    volatile LONG broken_ = 0;
};
