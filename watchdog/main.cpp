#include "watchdog/watchdog.h"

// Arguments and environment are ignored: the watchdog has no options.
int main() {
  RunWatchdog();
}
