#include "reporting/reporting.h"

#include <cstdio>

#include "platform/platform.h"

void ConsoleWrite(const char* text) {
  std::fputs(text, stdout);
  // The status line has no line feed, so a console must be flushed for it to show;
  // a file or pipe keeps its block buffering.
  if (StandardOutputIsConsole()) {
    std::fflush(stdout);
  }
}

void ConsoleLine(const char* text) {
  ConsoleWrite(text);
  ConsoleWrite("\n");
}

void AlertBeep() {
  SoundAlert();
}

void AppendLogRecord(const char* text) {
  EnterDirectory(StartupDirectory);
  // Binary mode: the record's CR LF is written as it stands, with no translation.
  std::FILE* log = std::fopen(EventLogFileName, "ab");
  if (log == nullptr) {
    return;
  }
  std::fprintf(log, "%s\r\n", text);
  std::fclose(log);
}
