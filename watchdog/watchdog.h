// The watchdog: captures the starting directory, then runs the watch cycle forever.
#pragma once

#ifdef BRASSOWLET_TEST_CYCLE_PERIOD_MS
// Only the tests' and benchmarks' own builds of the cycle run it faster.
inline constexpr unsigned CyclePeriodMs = BRASSOWLET_TEST_CYCLE_PERIOD_MS;
#else
inline constexpr unsigned CyclePeriodMs = 1000;
#endif

// The program's main routine; it never returns.
[[noreturn]] void RunWatchdog();

// What RunWatchdog does once before its first cycle.
void StartWatchdog();

// One cycle: the presence test, then the status line or the recovery sequence, then
// the pause.
void RunWatchCycle();
