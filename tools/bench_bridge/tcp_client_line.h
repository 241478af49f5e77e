#pragma once
// The client's end of a TCP client line: a connection to the bridge's listening port.
#include <cstdint>

#include "tools/bench_bridge/deadline.h"
#include "tools/bench_bridge/owned_fd.h"

namespace corvane {

// A port on the loopback address that nobody listens on right now.
uint16_t FreeLoopbackPort();

// Connects to 127.0.0.1:port, trying again until the deadline while nobody listens yet (the
// bridge is starting); the connection is non-blocking and sends at once (TCP_NODELAY).
// Throws when no connection was made by the deadline.
OwnedFd ConnectLoopback(uint16_t port, Deadline deadline);

}  // namespace corvane
