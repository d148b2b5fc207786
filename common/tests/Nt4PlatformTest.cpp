// What the programs use in place of the functions Windows NT 4.0 lacks: wrap-safe tick
// differences, and the screen's work area without the multi-monitor functions.
#include <gtest/gtest.h>

#include "MonitorArea.h"
#include "Synchronization.h"

TEST(TickDifferences, HoldAcrossTheCounterWrapAfter49Days)
{
    // Started 1 ms before the wrap, read 2 ms later: 2 ms, not four billion.
    EXPECT_EQ(win::TicksBetween(0xFFFFFFFFu, 0x00000001u), 2u);
    EXPECT_EQ(win::TicksBetween(0xFFFF0000u, 0x0000FFFFu), 0x1FFFFu);
    EXPECT_EQ(win::TicksBetween(0u, 0xFFFFFFFFu), 0xFFFFFFFFu);
    EXPECT_EQ(win::TicksBetween(1234u, 1234u), 0u);

    // A 120 s limit started 50 s before the wrap: not passed after 100 s, passed after 120 s.
    const DWORD start = 0xFFFFFFFFu - 50000 + 1;
    EXPECT_FALSE(win::TicksElapsed(start, start + 100000, 120000));
    EXPECT_TRUE(win::TicksElapsed(start, start + 120000, 120000));
    EXPECT_TRUE(win::TicksElapsed(start, start + 150000, 120000));
    // The sum that naive code compares with wraps to a small number: it would have given up.
    EXPECT_LT(start + 120000, start);

    // TicksSince reads the real counter.
    const DWORD now = GetTickCount();
    EXPECT_LT(win::TicksSince(now), 10000u);
}

TEST(MonitorArea, WithoutMonitorFunctionsTheScreenWorkAreaServesEveryPoint)
{
    const win::MonitorFunctions none;
    RECT work{};
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    for (POINT at : {POINT{10, 10}, POINT{-5000, -5000}, POINT{100000, 100000}}) {
        RECT area = win::WorkAreaNear(at, none);
        EXPECT_TRUE(EqualRect(&area, &work)) << at.x;
    }
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_TRUE(win::IsOnAnyMonitor(RECT{10, 10, 200, 200}, none));
    EXPECT_TRUE(win::IsOnAnyMonitor(RECT{-100, -100, 20, 20}, none)); // partly on the screen
    EXPECT_FALSE(win::IsOnAnyMonitor(RECT{width + 10, 10, width + 300, 300}, none));
    EXPECT_FALSE(win::IsOnAnyMonitor(RECT{-3000, height + 5, -2000, height + 400}, none));

    // The system's own functions (present here) agree on a single screen.
    const win::MonitorFunctions& system = win::MonitorFunctions::System();
    ASSERT_TRUE(system.Present());
    EXPECT_TRUE(win::IsOnAnyMonitor(RECT{10, 10, 200, 200}, system));
    EXPECT_FALSE(win::IsOnAnyMonitor(RECT{width + 10, 10, width + 300, 300}, system));
    RECT area = win::WorkAreaNear(POINT{10, 10}, system);
    EXPECT_FALSE(IsRectEmpty(&area));
}
