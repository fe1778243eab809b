// Stands in front of libxcb's xcb_send_request and xcb_wait_for_reply, which every
// request and every reply of the generated protocol functions pass through, and
// tells round trips apart by the sequence numbers that xcb hands out.

#include "tests/support/x11_round_trips.h"

#include <dlfcn.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

namespace {

// Each connection numbers its requests on its own.
struct ConnectionSequences {
  const xcb_connection_t* connection;
  unsigned int lastSent;
  unsigned int answeredUpTo;
};

constexpr int MaxConnections = 8;
ConnectionSequences connections[MaxConnections];
unsigned long roundTrips = 0;

ConnectionSequences& SequencesOf(const xcb_connection_t* connection) {
  for (ConnectionSequences& sequences : connections) {
    if (sequences.connection == connection || sequences.connection == nullptr) {
      sequences.connection = connection;
      return sequences;
    }
  }
  return connections[MaxConnections - 1];  // shared by any beyond the table's size
}

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
  const unsigned int sequence = send(connection, flags, vector, request);
  SequencesOf(connection).lastSent = sequence;
  return sequence;
}

extern "C" void* xcb_wait_for_reply(xcb_connection_t* connection, unsigned int request,
                                    xcb_generic_error_t** error) {
  static auto* const wait = Next<decltype(xcb_wait_for_reply)>("xcb_wait_for_reply");
  ConnectionSequences& sequences = SequencesOf(connection);
  if (IsLater(request, sequences.answeredUpTo)) {
    // Everything sent so far goes out with this wait and is answered by its end.
    ++roundTrips;
    sequences.answeredUpTo = sequences.lastSent;
  }
  return wait(connection, request, error);
}

void ResetX11RoundTrips() {
  // Forgets every connection, also one closed since whose address a new one took;
  // every reply they were waiting for has been read by now.
  roundTrips = 0;
  for (ConnectionSequences& sequences : connections) {
    sequences = {};
  }
}

unsigned long X11RoundTrips() {
  return roundTrips;
}
