// Process-wide state of the console that every part of it reads: the unattended flag of a
// scheduled run and the clock that stamps folders, logs and status files.
#pragma once
#include <ctime>

// Set once from -S before any other thread exists; silences every message box and window
// notification of the console.
bool IsUnattended() noexcept;
void SetUnattended(bool on) noexcept;

// The current time as the console sees it: time() unless a clock has been put in its place
// (the tests fix the date this way).
time_t ConsoleTime() noexcept;
using ConsoleClock = time_t (*)();
void SetConsoleClock(ConsoleClock clock) noexcept; // nullptr restores time()
