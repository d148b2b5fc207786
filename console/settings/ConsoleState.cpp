#include "ConsoleState.h"

#include <atomic>

namespace {
std::atomic<bool> g_unattended{false};
std::atomic<ConsoleClock> g_clock{nullptr};
} // namespace

bool IsUnattended() noexcept { return g_unattended.load(); }
void SetUnattended(bool on) noexcept { g_unattended.store(on); }

time_t ConsoleTime() noexcept
{
    ConsoleClock clock = g_clock.load();
    return clock ? clock() : time(nullptr);
}

void SetConsoleClock(ConsoleClock clock) noexcept { g_clock.store(clock); }
