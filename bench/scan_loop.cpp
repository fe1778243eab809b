// A bare loop doing one pipelined presence scan per second and nothing else: what
// the watchdog's CPU time is measured against.

#include "platform/platform.h"

int main() {
  PreparePlatform();
  for (;;) {
    TopLevelWindowExists("BrassOwletTask");
    PauseMilliseconds(1000);
  }
}
