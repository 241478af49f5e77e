// The port list as the drivers announce it in the registry, and port names as Windows
// compares them.
#include "cport/port_list.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr char kSerialComm[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Each case announces its ports under a key of its own making; the key is emptied first, so
// the list holds only what the case announced.
TEST(PortList, ListsTheAnnouncedPortsInTextOrderUpToTheFirstUnreadableValue) {
  struct Value {
    std::string device, port;
    DWORD type = REG_SZ;
  };
  const struct {
    const char* what;
    std::vector<Value> announced;
    std::vector<std::string> listed;
  } cases[] = {
      {"text order, not number order",
       {{"\\Device\\T10", "COM10"}, {"\\Device\\T2", "COM2"}, {"\\Device\\T1", "com1"}},
       {"com1", "COM10", "COM2"}},
      {"duplicates stay", {{"\\Device\\T3", "COM3"}, {"\\Device\\U3", "COM3"}}, {"COM3", "COM3"}},
      {"a name too long for the buffer ends the listing",
       {{"\\Device\\T4", "COM4"},
        {"\\Device\\T5", std::string(300, 'X')},
        {"\\Device\\T6", "COM6"}},
       {"COM4"}},
      {"no values: an empty list", {}, {}},
  };
  for (const auto& c : cases) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSerialComm);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSerialComm, 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr));
    for (const Value& v : c.announced)
      RegSetValueExA(key, v.device.c_str(), 0, v.type,
                     reinterpret_cast<const BYTE*>(v.port.c_str()),
                     static_cast<DWORD>(v.port.size() + 1));
    RegCloseKey(key);
    std::vector<std::string> ports{"replaced"};
    ListSerialPorts(ports);
    EXPECT_EQ(c.listed, ports) << c.what;
  }
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSerialComm);
  std::vector<std::string> untouched{"kept"};
  ListSerialPorts(untouched);
  EXPECT_EQ(std::vector<std::string>{"kept"}, untouched) << "no key: the list is left alone";
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
