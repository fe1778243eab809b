// Reporting that only keeps its calls, so that the cycle's tests see every text
// and the order of every step.
#include "reporting/reporting.h"
#include "tests/support/scripted_platform.h"

void ConsoleWrite(const char* text) {
  Record("ConsoleWrite", text);
}
void ConsoleLine(const char* text) {
  Record("ConsoleLine", text);
}
void AlertBeep() {
  Record("AlertBeep");
}
void AppendLogRecord(const char* text) {
  Record("AppendLogRecord", text);
}
