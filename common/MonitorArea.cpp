#include "MonitorArea.h"

namespace win {

namespace {

RECT ScreenWorkArea()
{
    RECT area{};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0) || IsRectEmpty(&area))
        area = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return area;
}

} // namespace

const MonitorFunctions& MonitorFunctions::System()
{
    static const MonitorFunctions functions = [] {
        MonitorFunctions found;
        if (HMODULE user = GetModuleHandleA("user32.dll")) {
            found.fromPoint = reinterpret_cast<FromPoint>(reinterpret_cast<void*>(GetProcAddress(user, "MonitorFromPoint")));
            found.fromRect = reinterpret_cast<FromRect>(reinterpret_cast<void*>(GetProcAddress(user, "MonitorFromRect")));
            found.getInfo = reinterpret_cast<GetInfo>(reinterpret_cast<void*>(GetProcAddress(user, "GetMonitorInfoA")));
        }
        if (!found.Present()) found = MonitorFunctions{};
        return found;
    }();
    return functions;
}

RECT WorkAreaNear(POINT at, const MonitorFunctions& functions)
{
    if (functions.Present()) {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        if (functions.getInfo(functions.fromPoint(at, MONITOR_DEFAULTTONEAREST), &monitor)) return monitor.rcWork;
    }
    return ScreenWorkArea();
}

bool IsOnAnyMonitor(const RECT& rect, const MonitorFunctions& functions)
{
    if (functions.Present()) return functions.fromRect(&rect, MONITOR_DEFAULTTONULL) != nullptr;
    RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT common{};
    return IntersectRect(&common, &rect, &screen) != FALSE;
}

} // namespace win
