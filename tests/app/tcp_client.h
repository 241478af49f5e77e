#pragma once
// The client's end of a TCP client line in a test.
#include <cstdint>

#include "tests/support/tty_peer.h"

namespace corvane::test {

// A port on the loopback address that nobody listens on right now.
uint16_t FreeTcpPort();
// A connection to 127.0.0.1:port; its fd() is -1 when it was refused.
TtyPeer ConnectTcp(uint16_t port);
// Whether the other side closed the connection by the deadline.
bool ClosedByPeer(const TtyPeer& connection, Deadline deadline);
// Connects until a query on the line is answered: start-up only, never in a count of loss.
bool AwaitTcpRouting(uint16_t port, Deadline deadline);

}  // namespace corvane::test
