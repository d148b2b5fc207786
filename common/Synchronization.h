// Synchronisation objects that Windows NT 4.0 has: critical sections, events,
// semaphores, and the tick counter's wrap-safe differences. Every program and both
// builds use these, never the C++ runtime's thread layer (which needs later systems).
#pragma once
#include <windows.h>

#include "Handle.h"

namespace win {

// A critical section, entered through CriticalSectionLock.
class CriticalSection {
public:
    CriticalSection() noexcept { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() noexcept { EnterCriticalSection(&section_); }
    void Leave() noexcept { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

// Holds a critical section for the lifetime of the object.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& section) noexcept : section_(section) { section_.Enter(); }
    ~CriticalSectionLock() { section_.Leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& section_;
};

// An unnamed event. Create reports failure by result; the last error stays for the caller.
class Event {
public:
    Event() noexcept = default;
    bool Create(bool manualReset, bool initiallySet = false) noexcept
    {
        handle_.Reset(CreateEventA(nullptr, manualReset ? TRUE : FALSE, initiallySet ? TRUE : FALSE, nullptr));
        return handle_.IsValid();
    }
    bool CreateIfNeeded(bool manualReset) noexcept { return handle_.IsValid() || Create(manualReset); }
    void Close() noexcept { handle_.Reset(); }
    bool IsCreated() const noexcept { return handle_.IsValid(); }
    HANDLE Get() const noexcept { return handle_.Get(); }
    operator HANDLE() const noexcept { return handle_.Get(); }

    bool Set() noexcept { return SetEvent(handle_.Get()) != FALSE; }
    bool Reset() noexcept { return ResetEvent(handle_.Get()) != FALSE; }
    bool IsSet() const noexcept { return WaitForSingleObject(handle_.Get(), 0) == WAIT_OBJECT_0; }
    DWORD Wait(DWORD milliseconds = INFINITE) const noexcept { return WaitForSingleObject(handle_.Get(), milliseconds); }

private:
    Handle handle_;
};

class ManualResetEvent : public Event {
public:
    bool Create(bool initiallySet = false) noexcept { return Event::Create(true, initiallySet); }
    bool CreateIfNeeded() noexcept { return Event::CreateIfNeeded(true); }
};

class AutoResetEvent : public Event {
public:
    bool Create(bool initiallySet = false) noexcept { return Event::Create(false, initiallySet); }
    bool CreateIfNeeded() noexcept { return Event::CreateIfNeeded(false); }
};

// An unnamed counting semaphore.
class Semaphore {
public:
    bool Create(LONG initialCount, LONG maximumCount) noexcept
    {
        handle_.Reset(CreateSemaphoreA(nullptr, initialCount, maximumCount, nullptr));
        return handle_.IsValid();
    }
    void Close() noexcept { handle_.Reset(); }
    bool IsCreated() const noexcept { return handle_.IsValid(); }
    HANDLE Get() const noexcept { return handle_.Get(); }
    operator HANDLE() const noexcept { return handle_.Get(); }
    bool Release(LONG count = 1) noexcept { return ReleaseSemaphore(handle_.Get(), count, nullptr) != FALSE; }
    DWORD Wait(DWORD milliseconds = INFINITE) const noexcept { return WaitForSingleObject(handle_.Get(), milliseconds); }

private:
    Handle handle_;
};

// Milliseconds from `start` to `now` on the 32-bit tick counter. Unsigned arithmetic keeps
// the difference right across the counter's wrap after 49.7 days.
inline DWORD TicksBetween(DWORD start, DWORD now) noexcept
{
    return now - start;
}
inline DWORD TicksSince(DWORD start) noexcept
{
    return TicksBetween(start, GetTickCount());
}
// True once `limit` milliseconds have passed since `start`.
inline bool TicksElapsed(DWORD start, DWORD now, DWORD limit) noexcept
{
    return TicksBetween(start, now) >= limit;
}

} // namespace win
