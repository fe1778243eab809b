// The watchdog: captures the starting directory, then runs the watch cycle forever.
#pragma once

inline constexpr unsigned CyclePeriodMs = 1000;

// The program's main routine; it never returns.
[[noreturn]] void RunWatchdog();

// What RunWatchdog does once before its first cycle.
void StartWatchdog();

// One cycle: the presence test, then the status line or the recovery sequence, then
// the pause.
void RunWatchCycle();
