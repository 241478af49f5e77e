#pragma once

#include <string>
#include <vector>

// Fills Target with the names of the serial ports the system has, as names the port
// object opens (looked up under /dev): every entry of the tty class directory that has a
// device behind it, such as "ttyS0", "ttyUSB0" or "ttyACM0". The list is sorted in text
// order without regard to letter case ("ttyS10" before "ttyS2"); duplicates stay.
//
// When the class directory cannot be read at all, Target is left as it was; when it can
// and holds no serial device, Target is emptied. A failure part-way through the listing
// keeps the names gathered before it. Nothing is raised. The directory is a parameter so
// that tests can point it at a tree of their own.
void ListSerialPorts(std::vector<std::string>& Target,
                     const std::string& classDir = "/sys/class/tty");
