// The watchdog's three output channels: console text, the alert beep and the event
// log. Every text handed over is finished; these operations add line ends and
// nothing else, and none of them lets a failure reach the caller.
#pragma once

#include <cstddef>

inline constexpr std::size_t TextBufferSize = 256;
inline constexpr char EmptyText[] = "";
inline constexpr char EventLogFileName[] = "BrassOwletMonitor Log.txt";

// The directory that was current when the watchdog started, captured once before
// the first cycle; the event log lives there.
extern char StartupDirectory[TextBufferSize];

// Writes text to standard output unchanged; on a console it shows at once.
void ConsoleWrite(const char* text);

// Writes text and then a line feed.
void ConsoleLine(const char* text);

void AlertBeep();

// Appends text and CR LF to the event log in the StartupDirectory; a log that cannot
// be opened costs the record and nothing else.
void AppendLogRecord(const char* text);
