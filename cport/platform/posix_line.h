#pragma once
// Line settings of a POSIX tty, expressed in the seam's control block. Kept apart from
// the device class because it needs Linux's arbitrary-rate termios, whose header cannot
// share a translation unit with <termios.h>.
#include "cport/platform/comm_types.h"

namespace corvane::platform {

// Raw mode: no line editing, echo, signals or output processing; reads return what has
// arrived (VMIN 0, VTIME 0); the modem-control lines are ignored for receiving (CLOCAL).
int MakeTtyRaw(int fd);

// Puts the framing, bit rate, flow control and special characters of dcb on the line, or
// returns EINVAL without touching it when the line cannot carry them (1.5 stop bits
// except with 5 data bits, 2 stop bits with 5, a rate of 0 or above 2^31, an unknown
// parity). When the driver takes the request but reports a rate more than 3 % away, or
// drops mark/space parity or hardware flow control, the previous settings are put back
// and EINVAL returned. DTR and RTS are then held as the control fields say, except RTS
// under RTS toggle, which is the writer's to drive; a device without modem lines (a
// pseudo-terminal) is not an error. A line that refuses them gets its previous settings
// back.
int ApplyDcbToTty(int fd, const Dcb& dcb);

}  // namespace corvane::platform
