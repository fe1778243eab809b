#include "watchdog/texts.h"

#include <cstdio>

void BuildTimestampLine(char (&line)[TimestampLineSize], const LocalTime& time,
                        const char (&directory)[TextBufferSize]) {
  std::snprintf(line, sizeof line, "%02d/%02d/%02d %02d:%02d:%02d - Monitoring \"%s", time.month,
                time.day, time.year % 100, time.hour, time.minute, time.second, directory);
}

void BuildStatusLine(char (&line)[StatusLineSize], const char (&timestampLine)[TimestampLineSize]) {
  std::snprintf(line, sizeof line, "\r%s -> BrassOwlet is running.", timestampLine);
}

void BuildStartMessage(char (&message)[EventTextSize],
                       const char (&timestampLine)[TimestampLineSize]) {
  std::snprintf(message, sizeof message, "%s -> Starting BrassOwlet...", timestampLine);
}

void BuildFailureMessage(char (&message)[EventTextSize], const char (&directory)[TextBufferSize],
                         long launchResult) {
  std::snprintf(message, sizeof message, "Unable to launch %s%c%s (Error #%lu)", directory,
                PathSeparator, WatchedProgramFile, static_cast<unsigned long>(launchResult));
}
