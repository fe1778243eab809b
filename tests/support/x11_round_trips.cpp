// Stands in front of libxcb's xcb_send_request and xcb_wait_for_reply, which every
// request and every reply of the generated protocol functions pass through, and
// tells round trips apart by the sequence numbers that xcb hands out.

#include "tests/support/x11_round_trips.h"

#include <dlfcn.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

namespace {

unsigned int lastSent = 0;
unsigned int answeredUpTo = 0;
unsigned long roundTrips = 0;

template <typename Function>
Function* Next(const char* name) {
  return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

// Sequence numbers wrap around; the difference tells which one is later.
bool IsLater(unsigned int sequence, unsigned int than) {
  return static_cast<int>(sequence - than) > 0;
}

}  // namespace

extern "C" unsigned int xcb_send_request(xcb_connection_t* connection, int flags,
                                         struct iovec* vector,
                                         const xcb_protocol_request_t* request) {
  static auto* const send = Next<decltype(xcb_send_request)>("xcb_send_request");
  lastSent = send(connection, flags, vector, request);
  return lastSent;
}

extern "C" void* xcb_wait_for_reply(xcb_connection_t* connection, unsigned int request,
                                    xcb_generic_error_t** error) {
  static auto* const wait = Next<decltype(xcb_wait_for_reply)>("xcb_wait_for_reply");
  if (IsLater(request, answeredUpTo)) {
    // Everything sent so far goes out with this wait and is answered by its end.
    ++roundTrips;
    answeredUpTo = lastSent;
  }
  return wait(connection, request, error);
}

void ResetX11RoundTrips() {
  roundTrips = 0;
  answeredUpTo = lastSent;
}

unsigned long X11RoundTrips() {
  return roundTrips;
}
