#pragma once
// A client line the program makes itself, named "pty:PATH": a pseudo-terminal whose client
// end is published as a symbolic link at PATH, so a client program opens PATH as it would a
// serial port and no null-modem pair has to be set up beforehand.
//
// The program's end of a line lives as long as the process: closing and reopening the port
// (a reset, the watchdog) never disturbs a client that holds its end open, and a client may
// close and reopen its end at will. The link is removed when the process ends normally.
#include <memory>
#include <string>

#include "cport/platform/device.h"

namespace corvane::platform {

// Whether a port name asks for a virtual line: "pty:" in front, in any letter case.
bool IsVirtualLineName(const std::string& name);
// The link's path in such a name, exactly as written.
std::string VirtualLinePath(const std::string& name);

// OpenDevice for a virtual line. The first open makes the line: a symbolic link already at
// PATH (left by an earlier run) is replaced, anything else there is left alone (EEXIST).
// One port at a time holds a line (EBUSY for another). The termios of a pseudo-terminal
// are the client's own, so the port's line settings are accepted and never put on it, and
// the line has no modem lines.
int OpenVirtualLine(const std::string& name, std::unique_ptr<Device>& device);

}  // namespace corvane::platform
