#pragma once
// Turns a port name into the path of its device node.
#include <string>

namespace corvane::platform {

// A name with "/" is a path; any other name lives under /dev. When that path does not
// exist, its components are matched without regard to letter case, because the program
// upper-cases port names ("/DEV/TTYUSB0" finds /dev/ttyUSB0, "TTYS0" finds /dev/ttyS0).
// When nothing matches the unresolved path is returned, so opening it reports that it
// does not exist. An empty name stays empty.
std::string ResolveDevicePath(const std::string& name);

}  // namespace corvane::platform
