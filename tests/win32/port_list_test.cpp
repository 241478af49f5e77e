// The port list as the drivers announce it in the registry, and port names as Windows
// compares them.
#include "cport/port_list.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr char kSerialComm[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

TEST(PortList, ListsTheAnnouncedPortsInNumberOrder) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSerialComm, 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr));
  const std::vector<std::pair<std::string, std::string>> announced = {
      {"\\Device\\CorvaneTest10", "COM10"},
      {"\\Device\\CorvaneTest2", "COM2"},
      {"\\Device\\CorvaneTest42", "com42"}};
  for (const auto& [device, port] : announced)
    RegSetValueExA(key, device.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                   static_cast<DWORD>(port.size() + 1));

  std::vector<std::string> ports{"left as it was only when nothing can be read"};
  ListSerialPorts(ports);
  for (const auto& [device, port] : announced) RegDeleteValueA(key, device.c_str());
  RegCloseKey(key);

  std::vector<std::string> ours;
  std::copy_if(ports.begin(), ports.end(), std::back_inserter(ours),
               [](const std::string& p) { return p == "COM2" || p == "COM10" || p == "com42"; });
  EXPECT_EQ((std::vector<std::string>{"COM2", "COM10", "com42"}), ours);
}

TEST(PortList, NamesCompareAsWindowsDoes) {
  const struct {
    const char *a, *b;
    bool same;
  } cases[] = {{"COM3", "com3", true},
               {"\\\\.\\COM3", "COM3", true},
               {"COM3", "COM31", false},
               {"COM3", "COM3 ", false}};
  for (const auto& c : cases) EXPECT_EQ(c.same, corvane::SamePortName(c.a, c.b)) << c.a << c.b;
}

}  // namespace
