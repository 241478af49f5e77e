#include "cport/port_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A tty class directory of our own: serial entries carry a device link the way sysfs
// does, the rest (virtual consoles, pty slaves) have none.
class FakeTtyClass : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "corvane_ttyclass_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "devices");
    fs::create_directories(root_ / "tty");
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string ClassDir() const { return (root_ / "tty").string(); }

  void AddSerial(const std::string& name) {
    fs::create_directories(root_ / "devices" / name);
    fs::create_directories(root_ / "tty" / name);
    fs::create_directory_symlink(root_ / "devices" / name, root_ / "tty" / name / "device");
  }
  void WriteType(const std::string& name, const std::string& type) {
    std::ofstream(root_ / "tty" / name / "type") << type << "\n";
  }
  void AddWithoutDevice(const std::string& name) { fs::create_directories(root_ / "tty" / name); }

  fs::path root_;
};

TEST_F(FakeTtyClass, ListsDeviceBackedEntriesInCaseInsensitiveTextOrder) {
  for (const char* name : {"ttyS2", "ttyUSB0", "ttyS10", "ttyacm0", "ttyS1", "TTYS3", "ttyACM1"})
    AddSerial(name);
  std::vector<std::string> ports{"stale"};
  ListSerialPorts(ports, ClassDir());
  const std::vector<std::string> expected{"ttyacm0", "ttyACM1", "ttyS1",  "ttyS10",
                                          "ttyS2",   "TTYS3",   "ttyUSB0"};
  EXPECT_EQ(ports, expected);
}

TEST_F(FakeTtyClass, LeavesOutEntriesWithoutDevice) {
  AddSerial("ttyS0");
  AddWithoutDevice("tty0");
  AddWithoutDevice("ptmx");
  AddWithoutDevice("ttyS1");
  // A device link that leads nowhere has no device behind it.
  fs::create_directories(root_ / "tty" / "ttyUSB9");
  fs::create_directory_symlink(root_ / "devices" / "gone", root_ / "tty" / "ttyUSB9" / "device");
  // UART slots the driver reserves without a chip behind them report type 0.
  AddSerial("ttyS4");
  WriteType("ttyS4", "0");
  WriteType("ttyS0", "4");
  std::vector<std::string> ports;
  ListSerialPorts(ports, ClassDir());
  EXPECT_EQ(ports, std::vector<std::string>{"ttyS0"});
}

TEST_F(FakeTtyClass, NamesDifferingOnlyInCaseAreBothKeptInAFixedOrder) {
  AddSerial("ttyusb0");
  AddSerial("ttyUSB0");
  std::vector<std::string> ports;
  ListSerialPorts(ports, ClassDir());
  EXPECT_EQ(ports, (std::vector<std::string>{"ttyUSB0", "ttyusb0"}));
}

TEST_F(FakeTtyClass, UnreadableSourceLeavesTargetUntouched) {
  std::vector<std::string> ports{"ttyS0", "ttyUSB1"};
  ListSerialPorts(ports, (root_ / "missing").string());
  EXPECT_EQ(ports, (std::vector<std::string>{"ttyS0", "ttyUSB1"}));
}

TEST_F(FakeTtyClass, SourceWithoutSerialDevicesEmptiesTarget) {
  std::vector<std::string> ports{"ttyS0", "ttyUSB1"};
  ListSerialPorts(ports, ClassDir());
  EXPECT_TRUE(ports.empty());

  AddWithoutDevice("tty1");
  ports = {"ttyS0"};
  ListSerialPorts(ports, ClassDir());
  EXPECT_TRUE(ports.empty());
}

}  // namespace
