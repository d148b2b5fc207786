// Where a window may go on the screen. The multi-monitor functions (Windows 98 and 2000)
// are looked up in USER32 when first needed; on Windows NT 4.0, which has none, the work
// area that SystemParametersInfoA reports is the whole screen.
#pragma once
#include <windows.h>

namespace win {

// The multi-monitor functions of USER32, or none of them.
struct MonitorFunctions {
    using FromPoint = HMONITOR(WINAPI*)(POINT, DWORD);
    using FromRect = HMONITOR(WINAPI*)(LPCRECT, DWORD);
    using GetInfo = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);
    FromPoint fromPoint = nullptr;
    FromRect fromRect = nullptr;
    GetInfo getInfo = nullptr;

    bool Present() const noexcept { return fromPoint && fromRect && getInfo; }
    // Those this system has, looked up once.
    static const MonitorFunctions& System();
};

// The work area of the monitor nearest `at` (of the screen without monitor functions).
RECT WorkAreaNear(POINT at, const MonitorFunctions& functions = MonitorFunctions::System());
// True when some of `rect` lies on a monitor (on the screen without monitor functions).
bool IsOnAnyMonitor(const RECT& rect, const MonitorFunctions& functions = MonitorFunctions::System());

} // namespace win
