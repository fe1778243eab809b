/* The smallest possible X client: it connects with xcb and sleeps. What it holds in
   memory is the floor against which the watchdog's footprint is measured. */

#include <stdio.h>
#include <unistd.h>
#include <xcb/xcb.h>

int main(void) {
  xcb_connection_t* connection = xcb_connect(NULL, NULL);
  if (xcb_connection_has_error(connection)) {
    fprintf(stderr, "bare_x_client: no X server\n");
    return 1;
  }
  for (;;) {
    pause();
  }
}
