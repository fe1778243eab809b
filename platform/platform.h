// What the watchdog asks of the operating system. One implementation per system,
// chosen by the build: platform_windows.cpp calls Win32 directly, platform_posix.cpp
// answers the same questions with POSIX and X11. The unit tests link a scripted one.
#pragma once

#include <cstddef>

#ifdef _WIN32
inline constexpr char PathSeparator = '\\';
#else
inline constexpr char PathSeparator = '/';
#endif

// The fields of the local date and time that the watchdog shows; each holds what
// the system's own record holds (a 16-bit word on Windows).
struct LocalTime {
  unsigned short year;
  unsigned short month;
  unsigned short day;
  unsigned short hour;
  unsigned short minute;
  unsigned short second;
};

// Readies the platform before the first cycle. Where the watchdog cannot work at
// all (no window system to ask), it says why on standard error and ends the
// process with status 1.
void PreparePlatform();

// Copies the current directory into buffer, which holds bufferLength bytes, or
// leaves it empty when the directory does not fit with its terminator.
void CaptureCurrentDirectory(char* buffer, std::size_t bufferLength);

// Makes directory the current one; a failure leaves the current directory as it was.
void EnterDirectory(const char* directory);

LocalTime ReadLocalTime();

// True while a top-level window of windowClass exists, whatever its title.
bool TopLevelWindowExists(const char* windowClass);

// Starts programFile, relative to the current directory, with a normally shown
// window. Returns a number greater than 32 on success, or the shell's error number
// (32 or less) on failure.
long LaunchProgram(const char* programFile);

void PauseMilliseconds(unsigned milliseconds);

// Starts the system's default alert sound and returns at once.
void SoundAlert();

// True when standard output is an interactive console rather than a file or pipe.
bool StandardOutputIsConsole();
