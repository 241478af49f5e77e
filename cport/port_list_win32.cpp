#include <cctype>
#include <windows.h>

#include <algorithm>

#include "cport/port_list.h"

namespace corvane {
namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";

// The name the port object opens, without the device prefix.
std::string BareName(const std::string& name) {
  return name.rfind(kDevicePrefix, 0) == 0 ? name.substr(sizeof kDevicePrefix - 1) : name;
}

// Text order without regard to case, by the user's locale: COM10 before COM2, as the
// port boxes have always listed them.
bool PortNameLess(const std::string& a, const std::string& b) {
  return lstrcmpiA(a.c_str(), b.c_str()) < 0;
}

}  // namespace

// Port names are compared as Windows compares device names: without regard to case.
bool SamePortName(const std::string& a, const std::string& b) {
  return lstrcmpiA(BareName(a).c_str(), BareName(b).c_str()) == 0;
}

std::string PortNameAsUsed(const std::string& written) {
  std::string name = written;
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

}  // namespace corvane

// The serial ports the drivers have announced: each value under the registry key holds
// one port's name ("COM1"); the value names are the drivers' own and mean nothing here. The
// listing stops at the first value that cannot be read, keeping what came before it.
void ListSerialPorts(std::vector<std::string>& Target, const PortListSource& /*Source*/) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return;
  std::vector<std::string> found;
  for (DWORD i = 0;; ++i) {
    char valueName[256];
    DWORD valueNameSize = sizeof valueName;
    BYTE data[256];
    DWORD dataSize = sizeof data;
    if (RegEnumValueA(key, i, valueName, &valueNameSize, nullptr, nullptr, data, &dataSize) !=
        ERROR_SUCCESS)
      break;
    // The size counts the terminating zero; a value written without one ends at its size.
    std::string name(reinterpret_cast<const char*>(data), dataSize);
    name.erase(std::find(name.begin(), name.end(), '\0'), name.end());
    found.push_back(name);
  }
  RegCloseKey(key);
  std::sort(found.begin(), found.end(), corvane::PortNameLess);
  Target = std::move(found);
}
