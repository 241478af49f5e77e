// Writing port settings to INI files on disk and to registry keys, and reading them back.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cport/cport.h"
#include "rt/ini_file.h"
#include "rt/registry.h"
#include "tests/cport/support/scripted_port.h"
#include "tests/log/temp_dir.h"

namespace {

using corvane::platform::FakeOp;
using corvane::test::ScriptedPort;
using KeyValues = std::vector<std::pair<std::string, std::string>>;

constexpr TStoredProps kAllGroups{spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers};

// The key=value lines of the file, in file order; the section header must be the port's.
KeyValues SectionLines(const std::string& path, const std::string& section) {
  std::istringstream in(ReadFile(path));
  KeyValues lines;
  std::string line;
  bool inSection = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      inSection = line == "[" + section + "]";
      continue;
    }
    const size_t eq = line.find('=');
    if (inSection && eq != std::string::npos)
      lines.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  return lines;
}

class IniStorage : public ::testing::Test {
 protected:
  IniStorage() { port.SetName("InPortA"); }

  void WriteSection(const std::string& body) { WriteFile(path, "[InPortA]\n" + body); }

  TempDir dir;
  std::string path = dir.File("port.ini");
  TIniFile ini{path};
  TComPort port;
};

TEST_F(IniStorage, NewPortWritesTheSixBasicKeysInOrder) {
  port.WriteToIni(ini);
  const KeyValues expected = {{"Port", "COM1"},  {"BaudRate", "9600"}, {"StopBits", "1"},
                              {"DataBits", "8"}, {"Parity", "None"},   {"FlowControl", "None"}};
  EXPECT_EQ(SectionLines(path, "InPortA"), expected);
}

TEST_F(IniStorage, EveryGroupWritesItsKeysInTheFixedGroupOrder) {
  port.SetStoredProps(kAllGroups);
  port.WriteToIni(ini);
  const KeyValues expected = {{"Port", "COM1"},
                              {"BaudRate", "9600"},
                              {"StopBits", "1"},
                              {"DataBits", "8"},
                              {"Parity", "None"},
                              {"FlowControl", "None"},
                              {"EventChar", "#0"},
                              {"DiscardNull", "No"},
                              {"Parity.Check", "No"},
                              {"Parity.Replace", "No"},
                              {"Parity.ReplaceChar", "#0"},
                              {"Buffer.OutputSize", "1024"},
                              {"Buffer.InputSize", "1024"},
                              {"Timeouts.ReadInterval", "-1"},
                              {"Timeouts.ReadTotalConstant", "0"},
                              {"Timeouts.ReadTotalMultiplier", "0"},
                              {"Timeouts.WriteTotalConstant", "1000"},
                              {"Timeouts.WriteTotalMultiplier", "100"},
                              {"FlowControl.ControlRTS", "Disable"},
                              {"FlowControl.ControlDTR", "Disable"},
                              {"FlowControl.DSRSensitivity", "No"},
                              {"FlowControl.OutCTSFlow", "No"},
                              {"FlowControl.OutDSRFlow", "No"},
                              {"FlowControl.TxContinueOnXoff", "No"},
                              {"FlowControl.XonXoffIn", "No"},
                              {"FlowControl.XonXoffOut", "No"},
                              {"FlowControl.XoffChar", "#19"},
                              {"FlowControl.XonChar", "#17"}};
  EXPECT_EQ(SectionLines(path, "InPortA"), expected);
}

TEST_F(IniStorage, NoGroupsWritesNothingAndReadsNothing) {
  port.SetStoredProps({});
  port.WriteToIni(ini);
  EXPECT_FALSE(ini.SectionExists("InPortA"));

  WriteSection("Port=COM7\nBaudRate=57600\n");
  port.ReadFromIni(ini);
  EXPECT_EQ(port.Port(), "COM1");
  EXPECT_EQ(port.BaudRate(), br9600);
}

TEST_F(IniStorage, GroupsNotSelectedStayInTheFile) {
  WriteSection("EventChar=A\nBuffer.InputSize=64\n");
  port.WriteToIni(ini);
  EXPECT_EQ(ini.ReadString("InPortA", "EventChar", ""), "A");
  EXPECT_EQ(ini.ReadInteger("InPortA", "Buffer.InputSize", 0), 64);
}

TEST_F(IniStorage, CustomRateRoundTrip) {
  port.SetBaudRate(brCustom);
  port.SetCustomBaudRate(31250);
  port.WriteToIni(ini);
  EXPECT_EQ(ini.ReadString("InPortA", "BaudRate", ""), "Custom");
  EXPECT_EQ(ini.ReadInteger("InPortA", "CustomBaudRate", 0), 31250);

  TComPort back;
  back.SetName("InPortA");
  back.ReadFromIni(ini);
  EXPECT_EQ(back.BaudRate(), brCustom);
  EXPECT_EQ(back.CustomBaudRate(), 31250);
}

TEST_F(IniStorage, StandardRateLeavesAnOlderCustomRateInTheFile) {
  WriteSection("CustomBaudRate=31250\n");
  port.WriteToIni(ini);
  EXPECT_EQ(ini.ReadInteger("InPortA", "CustomBaudRate", 0), 31250);
}

TEST_F(IniStorage, CustomRateMissingReadsAs9600) {
  port.SetCustomBaudRate(31250);
  WriteSection("BaudRate=custom\n");
  port.ReadFromIni(ini);
  EXPECT_EQ(port.BaudRate(), brCustom);
  EXPECT_EQ(port.CustomBaudRate(), 9600);
}

TEST_F(IniStorage, CustomRateIgnoredUnlessTheRateReadIsCustom) {
  port.SetBaudRate(brCustom);
  WriteSection("BaudRate=4800\nCustomBaudRate=31250\n");
  port.ReadFromIni(ini);
  EXPECT_EQ(port.BaudRate(), br4800);
  EXPECT_EQ(port.CustomBaudRate(), 9600);
}

TEST_F(IniStorage, BaudRateUnknownTextGivesFallbackMissingKeyKeepsValue) {
  struct Case {
    const char* body;
    TBaudRate expected;
  };
  const Case cases[] = {{"BaudRate=fast\n", br9600},
                        {"Port=COM1\n", br38400},
                        {"BaudRate=115200\n", br115200},
                        {"BaudRate=\n", br9600}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    port.SetBaudRate(br38400);
    WriteSection(c.body);
    port.ReadFromIni(ini);
    EXPECT_EQ(port.BaudRate(), c.expected);
  }
}

TEST_F(IniStorage, YesNoSwitchesReadOnlyYesAsTrue) {
  port.SetStoredProps({spOthers});
  struct Case {
    const char* value;
    bool expected;
  };
  const Case cases[] = {{"yes", true}, {"YES", true}, {"True", false}, {"1", false}, {"No", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    port.SetDiscardNull(!c.expected);
    WriteSection(std::string("DiscardNull=") + c.value + "\n");
    port.ReadFromIni(ini);
    EXPECT_EQ(port.DiscardNull(), c.expected);
  }
}

TEST_F(IniStorage, BufferSizesReadAsIntegers) {
  port.SetStoredProps({spBuffer});
  struct Case {
    const char* value;
    int32_t expected;
  };
  const Case cases[] = {{"0x800", 2048}, {"abc", 512}, {"1025", 1024}, {"$100", 256}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    port.Buffer().SetInputSize(512);
    WriteSection(std::string("Buffer.InputSize=") + c.value + "\n");
    port.ReadFromIni(ini);
    EXPECT_EQ(port.Buffer().InputSize(), c.expected);
    EXPECT_EQ(port.Buffer().OutputSize(), 1024);
  }
}

TEST_F(IniStorage, DetailedFlowSwitchesReadAfterTheShortcutWin) {
  port.SetStoredProps({spBasic, spFlowControl});
  WriteSection("FlowControl=Hardware\nFlowControl.OutCTSFlow=No\n");
  port.ReadFromIni(ini);
  EXPECT_EQ(port.FlowControl().ControlRTS(), rtsHandshake);
  EXPECT_FALSE(port.FlowControl().OutCTSFlow());
}

TEST_F(IniStorage, MissingDsrFlowKeyKeepsTheSwitch) {
  port.SetStoredProps({spFlowControl});
  port.FlowControl().SetOutDSRFlow(true);
  WriteSection("FlowControl.OutCTSFlow=Yes\n");
  port.ReadFromIni(ini);
  EXPECT_TRUE(port.FlowControl().OutDSRFlow());
  EXPECT_TRUE(port.FlowControl().OutCTSFlow());
}

TEST_F(IniStorage, FullRoundTripOfChangedSettings) {
  port.SetStoredProps(kAllGroups);
  port.SetPort("ttyUSB3");
  port.SetStopBits(sbTwoStopBits);
  port.SetDataBits(dbSeven);
  port.Parity().SetBits(prMark);
  port.SetEventChar('~');
  port.FlowControl().SetControlDTR(dtrHandshake);
  port.FlowControl().SetXonChar('Q');
  port.Timeouts().SetReadTotalMultiplier(7);
  port.Buffer().SetOutputSize(4096);
  port.WriteToIni(ini);

  TComPort back;
  back.SetName("InPortA");
  back.SetStoredProps(kAllGroups);
  back.ReadFromIni(ini);
  EXPECT_EQ(back.Port(), "ttyUSB3");
  EXPECT_EQ(back.StopBits(), sbTwoStopBits);
  EXPECT_EQ(back.DataBits(), dbSeven);
  EXPECT_EQ(back.Parity().Bits(), prMark);
  EXPECT_EQ(back.EventChar(), '~');
  EXPECT_EQ(back.FlowControl().ControlDTR(), dtrHandshake);
  EXPECT_EQ(back.FlowControl().XonChar(), 'Q');
  EXPECT_EQ(back.Timeouts().ReadTotalMultiplier(), 7);
  EXPECT_EQ(back.Buffer().OutputSize(), 4096);
}

TEST(IniStorageOpenPort, ReadingAppliesEachChangeAtOnceAndReopensForANewName) {
  TempDir dir;
  TIniFile ini(dir.File("port.ini"));
  WriteFile(ini.FileName(), "[OutPort]\nPort=ttyS5\nBaudRate=19200\nStopBits=2\n");
  ScriptedPort port;
  port.SetName("OutPort");
  port.SetEvents({});
  port.SetPort("ttyS4");
  port.OpenPort();
  port.Script->ClearCalls();

  port.ReadFromIni(ini);

  // Opening also samples the modem lines; those reads say nothing about applying.
  std::vector<FakeOp> ops = port.Script->Ops();
  std::erase(ops, FakeOp::GetCommModemStatus);
  const std::vector<FakeOp> expected = {
      FakeOp::PurgeComm,    FakeOp::Close,        FakeOp::Open,
      FakeOp::SetupComm,    FakeOp::SetCommState, FakeOp::SetCommTimeouts,
      FakeOp::SetCommState, FakeOp::SetCommState, FakeOp::SetCommState};
  EXPECT_EQ(ops, expected);
  EXPECT_EQ(port.Script->Last(FakeOp::Open).Name, "ttyS5");
  EXPECT_EQ(port.Script->Last(FakeOp::SetCommState).State.StopBits, corvane::platform::TWOSTOPBITS);
  EXPECT_TRUE(port.Connected());
}

class RegistryStorage : public ::testing::Test {
 protected:
  RegistryStorage() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    key = std::string("\\Software\\CorvaneTest\\") + info->name();
    reg.DeleteKey(key);
    EXPECT_TRUE(reg.OpenKey(key, true));
  }
  ~RegistryStorage() override { reg.DeleteKey(key); }

  std::string key;
  TRegistry reg;
  TComPort port;
};

TEST_F(RegistryStorage, CustomRateRoundTripWithIntegersAsIntegers) {
  port.SetStoredProps({spBasic, spBuffer});
  port.SetBaudRate(brCustom);
  port.SetCustomBaudRate(250000);
  port.Buffer().SetInputSize(2048);
  port.WriteToRegistry(reg);
  EXPECT_EQ(reg.ReadString("BaudRate"), "Custom");
  EXPECT_EQ(reg.ReadInteger("CustomBaudRate"), 250000);
  EXPECT_EQ(reg.ReadInteger("Buffer.InputSize"), 2048);
  EXPECT_THROW(reg.ReadString("Buffer.InputSize"), corvane::ERegistryException);

  TComPort back;
  back.SetStoredProps({spBasic, spBuffer});
  back.ReadFromRegistry(reg);
  EXPECT_EQ(back.BaudRate(), brCustom);
  EXPECT_EQ(back.CustomBaudRate(), 250000);
  EXPECT_EQ(back.Buffer().InputSize(), 2048);
}

TEST_F(RegistryStorage, MissingTextsReadAsTheirFallbacks) {
  port.SetStoredProps({spBasic, spFlowControl});
  port.SetBaudRate(br38400);
  port.SetDataBits(dbSix);
  port.FlowControl().SetControlRTS(rtsToggle);
  port.FlowControl().SetXonXoffIn(true);
  port.ReadFromRegistry(reg);
  EXPECT_EQ(port.Port(), "");
  EXPECT_EQ(port.BaudRate(), br9600);
  EXPECT_EQ(port.DataBits(), dbEight);
  EXPECT_EQ(port.FlowControl().ControlRTS(), rtsDisable);
  EXPECT_FALSE(port.FlowControl().XonXoffIn());
  EXPECT_EQ(port.FlowControl().XonChar(), 0);
}

TEST_F(RegistryStorage, MissingOutputSizeFailsAfterTheEarlierValuesWereAssigned) {
  reg.WriteString("Port", "COM9");
  reg.WriteString("BaudRate", "57600");
  reg.WriteString("Parity", "Even");
  reg.WriteString("EventChar", "!");
  reg.WriteString("Parity.Replace", "Yes");
  reg.WriteInteger("Buffer.InputSize", 4096);
  port.SetStoredProps({spBasic, spOthers, spParity, spBuffer, spTimeouts});

  EXPECT_THROW(port.ReadFromRegistry(reg), corvane::ERegistryException);

  EXPECT_EQ(port.Port(), "COM9");
  EXPECT_EQ(port.BaudRate(), br57600);
  EXPECT_EQ(port.Parity().Bits(), prEven);
  EXPECT_EQ(port.EventChar(), '!');
  EXPECT_TRUE(port.Parity().Replace());
  EXPECT_EQ(port.Buffer().InputSize(), 1024);
}

TEST_F(RegistryStorage, IntegerStoredAsTextFails) {
  port.SetStoredProps({spTimeouts});
  reg.WriteString("Timeouts.ReadInterval", "5");
  EXPECT_THROW(port.ReadFromRegistry(reg), corvane::ERegistryException);
  EXPECT_EQ(port.Timeouts().ReadInterval(), -1);
}

}  // namespace
