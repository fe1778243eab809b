// Counts the round trips a client makes to the X server: the times it waits for a
// reply to a request sent after the last such wait began. Replies to requests sent
// together arrive together, so a batch costs one however many requests it holds.
// Linking this in puts a counter in front of libxcb's own functions.
#pragma once

// Starts counting afresh, between requests, once every reply asked for has been read.
void ResetX11RoundTrips();
unsigned long X11RoundTrips();
