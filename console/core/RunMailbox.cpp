#include "RunMailbox.h"

Mailbox::Mailbox(size_t jobs, size_t watchers) : pending_(jobs, 0), watchers_(watchers)
{
    posted_.reserve(2 * jobs + watchers);
    taken_.reserve(2 * jobs + watchers);
    event_.Create();
}

void Mailbox::Post(const Report& report) noexcept
{
    {
        win::CriticalSectionLock hold(lock_);
        bool fits;
        if (report.kind == Report::WaitFailed) {
            fits = failures_ < watchers_;
            if (fits) ++failures_;
        } else {
            fits = report.job < pending_.size() && !(pending_[report.job] & Flag(report.kind));
            if (fits) pending_[report.job] |= Flag(report.kind);
        }
        if (fits && posted_.size() < posted_.capacity())
            posted_.push_back(report);
        else
            InterlockedExchange(&broken_, 1);
    }
    event_.Set();
}

const std::vector<Report>& Mailbox::Take() noexcept
{
    taken_.clear();
    win::CriticalSectionLock hold(lock_);
    taken_.swap(posted_);
    for (const Report& report : taken_) {
        if (report.kind == Report::WaitFailed)
            --failures_;
        else
            pending_[report.job] &= static_cast<uint8_t>(~Flag(report.kind));
    }
    return taken_;
}
