#include "cport/port_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A tty class directory and a by-id directory of our own: serial entries carry a device
// link the way sysfs does, the rest (virtual consoles, pty slaves) have none; by-id
// entries are links to device nodes the way udev makes them.
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
  std::string ByIdDir() const { return (root_ / "dev" / "serial" / "by-id").string(); }
  PortListSource Source() const { return {ClassDir(), ByIdDir()}; }

  void AddSerial(const std::string& name) {
    fs::create_directories(root_ / "devices" / name);
    fs::create_directories(root_ / "tty" / name);
    fs::create_directory_symlink(root_ / "devices" / name, root_ / "tty" / name / "device");
  }
  void WriteType(const std::string& name, const std::string& type) {
    std::ofstream(root_ / "tty" / name / "type") << type << "\n";
  }
  void AddWithoutDevice(const std::string& name) { fs::create_directories(root_ / "tty" / name); }
  // A by-id link to a device node under dev/; a node that is not there leaves it dangling.
  void AddById(const std::string& link, const std::string& node, bool nodeExists = true) {
    fs::create_directories(ByIdDir());
    if (nodeExists) std::ofstream(root_ / "dev" / node);
    fs::create_symlink("../../" + node, fs::path(ByIdDir()) / link);
  }

  fs::path root_;
};

TEST_F(FakeTtyClass, ListsDeviceBackedEntriesInCaseInsensitiveTextOrder) {
  for (const char* name : {"ttyS2", "ttyUSB0", "ttyS10", "ttyacm0", "ttyS1", "TTYS3", "ttyACM1"})
    AddSerial(name);
  std::vector<std::string> ports{"stale"};
  ListSerialPorts(ports, Source());
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
  ListSerialPorts(ports, Source());
  EXPECT_EQ(ports, std::vector<std::string>{"ttyS0"});
}

TEST_F(FakeTtyClass, NamesDifferingOnlyInCaseAreBothKeptInAFixedOrder) {
  AddSerial("ttyusb0");
  AddSerial("ttyUSB0");
  std::vector<std::string> ports;
  ListSerialPorts(ports, Source());
  EXPECT_EQ(ports, (std::vector<std::string>{"ttyUSB0", "ttyusb0"}));
}

TEST_F(FakeTtyClass, ByIdLinksComeFirstUnderTheirOwnPathsAndDanglingOnesAreLeftOut) {
  AddSerial("ttyUSB0");
  AddSerial("ttyUSB1");
  AddSerial("ttyS0");
  AddById("usb-Prolific_2303-if00-port0", "ttyUSB1");
  AddById("usb-FTDI_FT232R_A50285BI-if00-port0", "ttyUSB0");
  AddById("usb-FTDI_FT232R_gone-if00-port0", "ttyUSB7", /*nodeExists=*/false);
  std::vector<std::string> ports;
  ListSerialPorts(ports, Source());
  const std::vector<std::string> expected{ByIdDir() + "/usb-FTDI_FT232R_A50285BI-if00-port0",
                                          ByIdDir() + "/usb-Prolific_2303-if00-port0", "ttyS0",
                                          "ttyUSB0", "ttyUSB1"};
  EXPECT_EQ(ports, expected);
}

TEST_F(FakeTtyClass, UnreadableSourcesLeaveTargetUntouched) {
  std::vector<std::string> ports{"ttyS0", "ttyUSB1"};
  ListSerialPorts(ports, {(root_ / "missing").string(), (root_ / "missing-by-id").string()});
  EXPECT_EQ(ports, (std::vector<std::string>{"ttyS0", "ttyUSB1"}));

  // Either source that can be read is a listing.
  AddById("usb-FTDI-if00-port0", "ttyUSB0");
  ListSerialPorts(ports, {(root_ / "missing").string(), ByIdDir()});
  EXPECT_EQ(ports, std::vector<std::string>{ByIdDir() + "/usb-FTDI-if00-port0"});
}

TEST_F(FakeTtyClass, SourceWithoutSerialDevicesEmptiesTarget) {
  std::vector<std::string> ports{"ttyS0", "ttyUSB1"};
  ListSerialPorts(ports, Source());
  EXPECT_TRUE(ports.empty());

  AddWithoutDevice("tty1");
  ports = {"ttyS0"};
  ListSerialPorts(ports, Source());
  EXPECT_TRUE(ports.empty());
}

TEST(SamePortName, NamesTheDeviceTheLookupFinds) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  };
  const Case cases[] = {
      {"TTYUSB0", "ttyUSB0", true},
      {"/DEV/TTYUSB0", "ttyUSB0", true},
      {"/dev/ttyUSB0", "/DEV/TTYUSB0", true},
      {"/DEV/SERIAL/BY-ID/USB-FTDI-IF00", "/dev/serial/by-id/usb-FTDI-if00", true},
      {"", "", true},
      {"ttyUSB0", "ttyUSB1", false},
      {"ttyUSB0", "/tmp/ttyUSB0", false},
      {"ttyUSB0", "", false},
      {"COM4", "COM4 ", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    EXPECT_EQ(corvane::SamePortName(c.a, c.b), c.same);
    EXPECT_EQ(corvane::SamePortName(c.b, c.a), c.same);
  }
}

}  // namespace
