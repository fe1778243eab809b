#include "watchdog/watchdog.h"

#include "platform/platform.h"
#include "reporting/reporting.h"
#include "watchdog/texts.h"

char StartupDirectory[TextBufferSize];

namespace {

void ReportFailedLaunch(long launchResult) {
  AlertBeep();
  ConsoleLine(EmptyText);
  char eventText[EventTextSize];
  BuildFailureMessage(eventText, StartupDirectory, launchResult);
  ConsoleLine(eventText);
  AppendLogRecord(eventText);
  ConsoleLine(EmptyText);
}

void RestartWatchedProgram(const char (&timestampLine)[TimestampLineSize]) {
  // With ConsoleLine's own line feed this ends the status line and leaves a blank one.
  ConsoleLine("\n");
  AlertBeep();
  char eventText[EventTextSize];
  BuildStartMessage(eventText, timestampLine);
  ConsoleLine(eventText);
  // Logged before the launch is tried, so the record stands even if the launch hangs.
  AppendLogRecord(eventText);
  EnterDirectory(StartupDirectory);
  const long launchResult = LaunchProgram(WatchedProgramFile);
  if (launchResult <= 32) {
    ReportFailedLaunch(launchResult);
  }
}

}  // namespace

void StartWatchdog() {
  PreparePlatform();
  // One byte less than the buffer, as the watchdog has always captured it.
  CaptureCurrentDirectory(StartupDirectory, sizeof StartupDirectory - 1);
}

void RunWatchCycle() {
  char timestampLine[TimestampLineSize];
  BuildTimestampLine(timestampLine, ReadLocalTime(), StartupDirectory);
  if (TopLevelWindowExists(WatchedWindowClass)) {
    char statusLine[StatusLineSize];
    BuildStatusLine(statusLine, timestampLine);
    ConsoleWrite(statusLine);
  } else {
    RestartWatchedProgram(timestampLine);
  }
  PauseMilliseconds(CyclePeriodMs);
}

void RunWatchdog() {
  StartWatchdog();
  for (;;) {
    RunWatchCycle();
  }
}
