#include "ComputerList.h"

#include <atomic>

namespace {
std::atomic<bool> g_batchRunning{false};
}

LookupBatchScope::LookupBatchScope() { g_batchRunning.store(true); }
LookupBatchScope::~LookupBatchScope() { g_batchRunning.store(false); }

ComputerEntry::ComputerEntry(std::string computerName) : name(std::move(computerName)) {}

ComputerRole ComputerEntry::Role() const
{
    win::CriticalSectionLock hold(lock_);
    return role_;
}

std::string ComputerEntry::TypeText() const
{
    win::CriticalSectionLock hold(lock_);
    return typeText_;
}

std::string ComputerEntry::Description() const
{
    win::CriticalSectionLock hold(lock_);
    return description_;
}

void ComputerEntry::SetInfo(ComputerRole role, const std::string& typeText, const std::string& description)
{
    // Copies are made before the lock is taken, so readers wait only for the swap.
    std::string type = typeText;
    std::string text = description;
    win::CriticalSectionLock hold(lock_);
    role_ = role;
    typeText_.swap(type);
    description_.swap(text);
}

bool ComputerList::Clear()
{
    if (IsBatchRunning()) return false;
    entries_.clear();
    return true;
}

bool ComputerList::Append(ComputerEntryPtr entry)
{
    if (IsBatchRunning() || !entry) return false;
    entries_.push_back(std::move(entry));
    return true;
}

bool ComputerList::RemoveAt(size_t index)
{
    if (IsBatchRunning() || index >= entries_.size()) return false;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

bool ComputerList::IsBatchRunning() const noexcept { return g_batchRunning.load(); }

ComputerList& TheComputerList()
{
    static ComputerList list;
    return list;
}
