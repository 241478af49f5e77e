#pragma once

#include <string>
#include <vector>

// Where the serial ports are listed from: the tty class directory, whose entries with a
// device behind them are the real serial ports, and the directory of persistent links
// that name a USB adapter by its make and serial number. Tests point both at trees of
// their own.
struct PortListSource {
  std::string classDir = "/sys/class/tty";
  std::string byIdDir = "/dev/serial/by-id";
};

// Fills Target with the names of the serial ports the system has, as names the port
// object opens: first every by-id link that leads to a device, as its path
// ("/dev/serial/by-id/usb-FTDI_...", the only name that survives replugging two adapters
// in another order), then every entry of the tty class directory that has a device behind
// it, such as "ttyS0", "ttyUSB0" or "ttyACM0" (looked up under /dev). Each group is sorted
// in text order without regard to letter case ("ttyS10" before "ttyS2"); duplicates stay.
//
// When neither directory can be read, Target is left as it was; otherwise it holds what
// they list, which may be nothing. A failure part-way through a listing keeps the names
// gathered before it. Nothing is raised.
void ListSerialPorts(std::vector<std::string>& Target, const PortListSource& Source = {});

namespace corvane {

// Whether two port names lead the port object to the same device: a name without "/"
// lives under /dev, and letter case does not count, because the program upper-cases
// configured names and the device lookup matches them without regard to case
// ("/DEV/TTYUSB0", "ttyUSB0" and "/dev/ttyUSB0" are one port).
bool SamePortName(const std::string& a, const std::string& b);

// A configured serial port's name as the program uses and shows it: as written where names
// are paths (the device lookup ignores case only when the exact path is missing), upper-cased
// where they are COM names.
std::string PortNameAsUsed(const std::string& written);

}  // namespace corvane
