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

// "COM2" before "COM10": names that differ only in their number sort by its value.
bool PortNameLess(const std::string& a, const std::string& b) {
  const auto digits = [](const std::string& s) { return s.find_first_of("0123456789"); };
  const size_t da = digits(a), db = digits(b);
  if (da != std::string::npos && da == db &&
      lstrcmpiA(a.substr(0, da).c_str(), b.substr(0, db).c_str()) == 0) {
    const std::string na = a.substr(da), nb = b.substr(db);
    if (na.size() != nb.size()) return na.size() < nb.size();
  }
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
// one port's name ("COM1"); the value names are the drivers' own and mean nothing here.
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
    DWORD dataSize = sizeof data - 1;
    DWORD type = 0;
    const LONG r =
        RegEnumValueA(key, i, valueName, &valueNameSize, nullptr, &type, data, &dataSize);
    if (r == ERROR_MORE_DATA) continue;  // no port name is that long
    if (r != ERROR_SUCCESS) break;
    if (type != REG_SZ) continue;
    std::string name(reinterpret_cast<const char*>(data), dataSize);
    name.erase(std::find(name.begin(), name.end(), '\0'), name.end());
    if (!name.empty()) found.push_back(name);
  }
  RegCloseKey(key);
  std::sort(found.begin(), found.end(), corvane::PortNameLess);
  Target = std::move(found);
}
