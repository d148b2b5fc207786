// A thread on CreateThread, as Windows NT 4.0 has it. The owner waits for and closes the
// thread; a thread still running when its owner goes is waited for, never left behind.
#pragma once
#include <windows.h>

#include "Handle.h"
#include "WindowsVersion.h"

namespace win {

class Thread {
public:
    Thread() noexcept = default;
    ~Thread() { Wait(); }
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts `routine(parameter)`. A non-zero `stackSize` is a reservation, not a commit
    // (Windows NT 4.0 ignores the flag and commits the size: keep such stacks small).
    bool Create(LPTHREAD_START_ROUTINE routine, void* parameter, SIZE_T stackSize = 0) noexcept
    {
        Wait();
        // Windows XP and later take the size as a reservation; older systems ignore the flag
        // and commit the size: keep such stacks small.
        const DWORD flags = stackSize && IsNtVersionAtLeast(5, 1)
                                ? STACK_SIZE_PARAM_IS_A_RESERVATION // NT 4.0 guard: Windows XP and later
                                : 0;
        handle_.Reset(CreateThread(nullptr, stackSize, routine, parameter, flags, &id_));
        return handle_.IsValid();
    }

    // Waits for the thread to end and closes it; true when none runs any more.
    bool Wait(DWORD milliseconds = INFINITE) noexcept
    {
        if (!handle_) return true;
        if (WaitForSingleObject(handle_.Get(), milliseconds) != WAIT_OBJECT_0) return false;
        handle_.Reset();
        return true;
    }

    bool IsCreated() const noexcept { return handle_.IsValid(); }
    HANDLE Get() const noexcept { return handle_.Get(); }
    DWORD Id() const noexcept { return id_; }
    HANDLE Detach() noexcept { return handle_.Release(); }

private:
    Handle handle_;
    DWORD id_ = 0;
};

} // namespace win
