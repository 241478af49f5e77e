// Writing a port's settings to an INI section or a registry key and reading them back.
// One walk over the keys serves all four operations, so the key order and the group
// selection cannot differ between writing and reading or between the two stores.
#include <cstdint>
#include <string>

#include "cport/cport.h"
#include "cport/cport_text.h"
#include "rt/ini_file.h"
#include "rt/registry.h"

namespace {

// Visits every stored setting of the port in key order. For each key the store gets the
// setting's current value (text already formatted), and a setter to call with the value it
// read; a writing store ignores the setter. `readDefault` differs from the current value
// only for "CustomBaudRate", whose INI default is fixed.
template <typename Store>
void VisitSettings(TCustomComPort& port, Store& store) {
  const TStoredProps props = port.StoredProps();
  TComFlowControl& flow = port.FlowControl();
  TComParity& parity = port.Parity();
  TComBuffer& buffer = port.Buffer();
  TComTimeouts& timeouts = port.Timeouts();

  auto integer = [&](const char* key, int32_t current, auto set) {
    store.Integer(key, current, current, set);
  };
  auto yesNo = [&](const char* key, bool current, auto set) {
    store.Text(key, FormatYesNo(current), [&](const std::string& t) { set(ParseYesNo(t)); });
  };
  auto character = [&](const char* key, char current, auto set) {
    store.Text(key, FormatSettingChar(current),
               [&](const std::string& t) { set(ParseSettingChar(t)); });
  };

  if (props.contains(spBasic)) {
    store.Text("Port", port.Port(), [&](const std::string& t) { port.SetPort(t); });
    store.Text("BaudRate", FormatBaudRate(port.BaudRate()),
               [&](const std::string& t) { port.SetBaudRate(ParseBaudRate(t)); });
    // Written only at a custom rate, read only when the rate just read is custom; an older
    // value in the store is left alone otherwise.
    if (port.BaudRate() == brCustom) {
      store.Integer("CustomBaudRate", port.CustomBaudRate(), 9600,
                    [&](int32_t v) { port.SetCustomBaudRate(v); });
    }
    store.Text("StopBits", FormatStopBits(port.StopBits()),
               [&](const std::string& t) { port.SetStopBits(ParseStopBits(t)); });
    store.Text("DataBits", FormatDataBits(port.DataBits()),
               [&](const std::string& t) { port.SetDataBits(ParseDataBits(t)); });
    store.Text("Parity", FormatParity(parity.Bits()),
               [&](const std::string& t) { parity.SetBits(ParseParity(t)); });
    store.Text("FlowControl", FormatFlowControl(flow.FlowControl()),
               [&](const std::string& t) { flow.SetFlowControl(ParseFlowControl(t)); });
  }
  if (props.contains(spOthers)) {
    character("EventChar", port.EventChar(), [&](char c) { port.SetEventChar(c); });
    yesNo("DiscardNull", port.DiscardNull(), [&](bool b) { port.SetDiscardNull(b); });
  }
  if (props.contains(spParity)) {
    yesNo("Parity.Check", parity.Check(), [&](bool b) { parity.SetCheck(b); });
    yesNo("Parity.Replace", parity.Replace(), [&](bool b) { parity.SetReplace(b); });
    character("Parity.ReplaceChar", parity.ReplaceChar(),
              [&](char c) { parity.SetReplaceChar(c); });
  }
  if (props.contains(spBuffer)) {
    integer("Buffer.OutputSize", buffer.OutputSize(), [&](int32_t v) { buffer.SetOutputSize(v); });
    integer("Buffer.InputSize", buffer.InputSize(), [&](int32_t v) { buffer.SetInputSize(v); });
  }
  if (props.contains(spTimeouts)) {
    integer("Timeouts.ReadInterval", timeouts.ReadInterval(),
            [&](int32_t v) { timeouts.SetReadInterval(v); });
    integer("Timeouts.ReadTotalConstant", timeouts.ReadTotalConstant(),
            [&](int32_t v) { timeouts.SetReadTotalConstant(v); });
    integer("Timeouts.ReadTotalMultiplier", timeouts.ReadTotalMultiplier(),
            [&](int32_t v) { timeouts.SetReadTotalMultiplier(v); });
    integer("Timeouts.WriteTotalConstant", timeouts.WriteTotalConstant(),
            [&](int32_t v) { timeouts.SetWriteTotalConstant(v); });
    integer("Timeouts.WriteTotalMultiplier", timeouts.WriteTotalMultiplier(),
            [&](int32_t v) { timeouts.SetWriteTotalMultiplier(v); });
  }
  if (props.contains(spFlowControl)) {
    store.Text("FlowControl.ControlRTS", FormatControlRTS(flow.ControlRTS()),
               [&](const std::string& t) { flow.SetControlRTS(ParseControlRTS(t)); });
    store.Text("FlowControl.ControlDTR", FormatControlDTR(flow.ControlDTR()),
               [&](const std::string& t) { flow.SetControlDTR(ParseControlDTR(t)); });
    yesNo("FlowControl.DSRSensitivity", flow.DSRSensitivity(),
          [&](bool b) { flow.SetDSRSensitivity(b); });
    yesNo("FlowControl.OutCTSFlow", flow.OutCTSFlow(), [&](bool b) { flow.SetOutCTSFlow(b); });
    yesNo("FlowControl.OutDSRFlow", flow.OutDSRFlow(), [&](bool b) { flow.SetOutDSRFlow(b); });
    yesNo("FlowControl.TxContinueOnXoff", flow.TxContinueOnXoff(),
          [&](bool b) { flow.SetTxContinueOnXoff(b); });
    yesNo("FlowControl.XonXoffIn", flow.XonXoffIn(), [&](bool b) { flow.SetXonXoffIn(b); });
    yesNo("FlowControl.XonXoffOut", flow.XonXoffOut(), [&](bool b) { flow.SetXonXoffOut(b); });
    character("FlowControl.XoffChar", flow.XoffChar(), [&](char c) { flow.SetXoffChar(c); });
    character("FlowControl.XonChar", flow.XonChar(), [&](char c) { flow.SetXonChar(c); });
  }
}

struct IniWriter {
  TIniFile& ini;
  std::string section;

  template <typename Set>
  void Text(const char* key, const std::string& current, Set&&) {
    ini.WriteString(section, key, current);
  }
  template <typename Set>
  void Integer(const char* key, int32_t current, int32_t, Set&&) {
    ini.WriteInteger(section, key, current);
  }
};

// A missing key reads as its default, so it leaves the setting as it was.
struct IniReader {
  TIniFile& ini;
  std::string section;

  template <typename Set>
  void Text(const char* key, const std::string& current, Set&& set) {
    set(ini.ReadString(section, key, current));
  }
  template <typename Set>
  void Integer(const char* key, int32_t, int32_t readDefault, Set&& set) {
    set(ini.ReadInteger(section, key, readDefault));
  }
};

struct RegistryWriter {
  TRegistry& reg;

  template <typename Set>
  void Text(const char* key, const std::string& current, Set&&) {
    reg.WriteString(key, current);
  }
  template <typename Set>
  void Integer(const char* key, int32_t current, int32_t, Set&&) {
    reg.WriteInteger(key, current);
  }
};

// The registry has no defaults: a missing text reads empty and parses to its fallback,
// a missing integer raises from the registry object.
struct RegistryReader {
  TRegistry& reg;

  template <typename Set>
  void Text(const char* key, const std::string&, Set&& set) {
    set(reg.ReadString(key));
  }
  template <typename Set>
  void Integer(const char* key, int32_t, int32_t, Set&& set) {
    set(reg.ReadInteger(key));
  }
};

}  // namespace

void TCustomComPort::WriteToRegistry(TRegistry& Reg) {
  RegistryWriter store{Reg};
  VisitSettings(*this, store);
}

void TCustomComPort::WriteToIni(TIniFile& Ini) {
  IniWriter store{Ini, Name()};
  VisitSettings(*this, store);
}

void TCustomComPort::ReadFromRegistry(TRegistry& Reg) {
  RegistryReader store{Reg};
  VisitSettings(*this, store);
}

void TCustomComPort::ReadFromIni(TIniFile& Ini) {
  IniReader store{Ini, Name()};
  VisitSettings(*this, store);
}
