// The port's settings model on a closed port: construction values, what the setters
// store, the settings groups and their copying.
#include <gtest/gtest.h>

#include "cport/cport.h"
#include "tests/cport/support/scripted_port.h"

namespace {

using corvane::platform::FakeOp;
using corvane::test::ScriptedPort;

TEST(PortConstruction, StartsClosedWithTheDocumentedValues) {
  TComPort port;
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.BaudRate(), br9600);
  EXPECT_EQ(port.CustomBaudRate(), 9600);
  EXPECT_EQ(port.Port(), "COM1");
  EXPECT_EQ(port.StopBits(), sbOneStopBit);
  EXPECT_EQ(port.DataBits(), dbEight);
  EXPECT_FALSE(port.DiscardNull());
  EXPECT_EQ(port.EventChar(), '\0');
  EXPECT_EQ(port.Events(), corvane::kAllComEvents);
  EXPECT_EQ(port.StoredProps(), TStoredProps{spBasic});
  EXPECT_TRUE(port.TriggersOnRxChar());
  EXPECT_EQ(port.SyncMethod(), smThreadSync);
  EXPECT_EQ(port.CodePage(), 0u);
  EXPECT_FALSE(port.OnRxChar());
  EXPECT_FALSE(port.OnException());

  EXPECT_EQ(port.Parity().Bits(), prNone);
  EXPECT_FALSE(port.Parity().Check());
  EXPECT_FALSE(port.Parity().Replace());
  EXPECT_EQ(port.Parity().ReplaceChar(), '\0');

  const TComFlowControl& f = port.FlowControl();
  EXPECT_EQ(f.FlowControl(), fcNone);
  EXPECT_FALSE(f.OutCTSFlow());
  EXPECT_FALSE(f.OutDSRFlow());
  EXPECT_EQ(f.ControlDTR(), dtrDisable);
  EXPECT_EQ(f.ControlRTS(), rtsDisable);
  EXPECT_FALSE(f.XonXoffOut());
  EXPECT_FALSE(f.XonXoffIn());
  EXPECT_FALSE(f.DSRSensitivity());
  EXPECT_FALSE(f.TxContinueOnXoff());
  EXPECT_EQ(f.XonChar(), 17);
  EXPECT_EQ(f.XoffChar(), 19);

  EXPECT_EQ(port.Buffer().InputSize(), 1024);
  EXPECT_EQ(port.Buffer().OutputSize(), 1024);

  const TComTimeouts& t = port.Timeouts();
  EXPECT_EQ(t.ReadInterval(), -1);
  EXPECT_EQ(t.ReadTotalMultiplier(), 0);
  EXPECT_EQ(t.ReadTotalConstant(), 0);
  EXPECT_EQ(t.WriteTotalMultiplier(), 100);
  EXPECT_EQ(t.WriteTotalConstant(), 1000);

  EXPECT_EQ(port.Parity().ComPort(), &port);
  EXPECT_EQ(port.Buffer().ComPort(), &port);
}

TEST(PortConstruction, DestructionClosesTheDeviceAndTheOwnerDestroysItsPorts) {
  auto* owner = new TComponent(nullptr);
  auto* owned = new ScriptedPort;
  auto* port = new TComPort(owner);
  EXPECT_EQ(port->Owner(), owner);
  auto script = owned->Script;
  owned->OpenPort();
  EXPECT_EQ(script->OpenDevices(), 1);
  delete owned;  // an open port closes its device on the way out
  EXPECT_EQ(script->OpenDevices(), 0);
  EXPECT_EQ(script->Ops().back(), corvane::platform::FakeOp::Close);
  delete owner;  // takes its port along; a leak would show under AddressSanitizer
}

TEST(ClosedPort, EverySetterStoresAndTouchesNoDevice) {
  ScriptedPort port;
  port.SetBaudRate(br115200);
  port.SetCustomBaudRate(31250);
  port.SetStopBits(sbTwoStopBits);
  port.SetDataBits(dbSeven);
  port.SetDiscardNull(true);
  port.SetEventChar('\n');
  port.SetEvents(TComEvents{evRxChar});
  port.SetStoredProps(TStoredProps{spBasic, spTimeouts});
  port.SetCodePage(1252);
  port.Parity().SetBits(prEven);
  port.FlowControl().SetFlowControl(fcHardware);
  port.Timeouts().SetReadInterval(50);
  port.Buffer().SetInputSize(4096);
  port.SetSyncMethod(smNone);
  port.SetPort("ttyUSB3");
  port.BeginSettingsUpdate();
  port.EndSettingsUpdate();

  EXPECT_TRUE(port.Script->Calls().empty());
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.BaudRate(), br115200);
  EXPECT_EQ(port.CustomBaudRate(), 31250);
  EXPECT_EQ(port.StopBits(), sbTwoStopBits);
  EXPECT_EQ(port.DataBits(), dbSeven);
  EXPECT_TRUE(port.DiscardNull());
  EXPECT_EQ(port.EventChar(), '\n');
  EXPECT_EQ(port.Events(), TComEvents{evRxChar});
  EXPECT_EQ(port.StoredProps(), (TStoredProps{spBasic, spTimeouts}));
  EXPECT_EQ(port.CodePage(), 1252u);
  EXPECT_EQ(port.Parity().Bits(), prEven);
  EXPECT_EQ(port.Timeouts().ReadInterval(), 50);
  EXPECT_EQ(port.Buffer().InputSize(), 4096);
  EXPECT_EQ(port.SyncMethod(), smNone);
  EXPECT_EQ(port.Port(), "ttyUSB3");
}

TEST(BufferSizes, PositiveOddSizesDropToEven) {
  struct Case {
    int32_t written, stored;
  } cases[] = {{1025, 1024}, {7, 6}, {1, 0}, {-3, -3}, {0, 0}, {2048, 2048}};
  for (const auto& c : cases) {
    TComBuffer b;
    b.SetInputSize(c.written);
    b.SetOutputSize(c.written);
    EXPECT_EQ(b.InputSize(), c.stored) << c.written;
    EXPECT_EQ(b.OutputSize(), c.stored) << c.written;
  }
}

TEST(FlowControlShortcut, ReadsTheFourFieldsItCovers) {
  TComFlowControl f;
  f.SetFlowControl(fcHardware);
  EXPECT_EQ(f.FlowControl(), fcHardware);
  EXPECT_EQ(f.ControlRTS(), rtsHandshake);
  EXPECT_TRUE(f.OutCTSFlow());
  f.SetOutDSRFlow(true);  // not one of the four
  EXPECT_EQ(f.FlowControl(), fcHardware);
  f.SetXonXoffOut(true);
  EXPECT_EQ(f.FlowControl(), fcCustom);

  f.SetFlowControl(fcSoftware);
  EXPECT_EQ(f.FlowControl(), fcSoftware);
  EXPECT_EQ(f.ControlRTS(), rtsDisable);
  EXPECT_FALSE(f.OutCTSFlow());
  EXPECT_TRUE(f.OutDSRFlow()) << "the shortcut leaves DSR flow alone";
  f.SetXonXoffIn(false);
  EXPECT_EQ(f.FlowControl(), fcCustom);

  f.SetFlowControl(fcNone);
  EXPECT_EQ(f.FlowControl(), fcNone);
  f.SetControlRTS(rtsEnable);
  EXPECT_EQ(f.FlowControl(), fcCustom);
  f.SetFlowControl(fcCustom);
  EXPECT_EQ(f.ControlRTS(), rtsEnable) << "fcCustom changes no field";
}

TEST(FlowControlShortcut, LeavesDtrDsrAndCharactersUntouched) {
  TComFlowControl f;
  f.SetControlDTR(dtrHandshake);
  f.SetDSRSensitivity(true);
  f.SetTxContinueOnXoff(true);
  f.SetXonChar('A');
  f.SetXoffChar('B');
  for (TFlowControl v : {fcHardware, fcSoftware, fcNone, fcCustom}) {
    f.SetFlowControl(v);
    EXPECT_EQ(f.ControlDTR(), dtrHandshake);
    EXPECT_TRUE(f.DSRSensitivity());
    EXPECT_TRUE(f.TxContinueOnXoff());
    EXPECT_EQ(f.XonChar(), 'A');
    EXPECT_EQ(f.XoffChar(), 'B');
  }
}

TEST(SettingsCopy, CopiesValuesButNeverTheOwner) {
  TComPort port;
  TComParity p;
  p.SetBits(prMark);
  p.SetCheck(true);
  p.SetReplace(true);
  p.SetReplaceChar('?');
  port.SetParity(p);
  EXPECT_EQ(port.Parity().Bits(), prMark);
  EXPECT_TRUE(port.Parity().Check());
  EXPECT_TRUE(port.Parity().Replace());
  EXPECT_EQ(port.Parity().ReplaceChar(), '?');
  EXPECT_EQ(port.Parity().ComPort(), &port);

  TComFlowControl f;
  f.SetOutCTSFlow(true);
  f.SetOutDSRFlow(true);
  f.SetControlDTR(dtrEnable);
  f.SetControlRTS(rtsToggle);
  f.SetXonXoffOut(true);
  f.SetXonXoffIn(true);
  f.SetTxContinueOnXoff(true);
  f.SetDSRSensitivity(true);
  f.SetXonChar(1);
  f.SetXoffChar(2);
  port.SetFlowControl(f);
  const TComFlowControl copy(port.FlowControl());
  EXPECT_EQ(copy.ComPort(), nullptr);
  EXPECT_TRUE(copy.OutCTSFlow() && copy.OutDSRFlow() && copy.XonXoffOut() && copy.XonXoffIn() &&
              copy.TxContinueOnXoff() && copy.DSRSensitivity());
  EXPECT_EQ(copy.ControlDTR(), dtrEnable);
  EXPECT_EQ(copy.ControlRTS(), rtsToggle);
  EXPECT_EQ(copy.XonChar(), 1);
  EXPECT_EQ(copy.XoffChar(), 2);

  TComTimeouts t;
  t.SetReadInterval(1);
  t.SetReadTotalMultiplier(2);
  t.SetReadTotalConstant(3);
  t.SetWriteTotalMultiplier(4);
  t.SetWriteTotalConstant(5);
  port.SetTimeouts(t);
  EXPECT_EQ(port.Timeouts().ReadInterval(), 1);
  EXPECT_EQ(port.Timeouts().ReadTotalMultiplier(), 2);
  EXPECT_EQ(port.Timeouts().ReadTotalConstant(), 3);
  EXPECT_EQ(port.Timeouts().WriteTotalMultiplier(), 4);
  EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 5);

  TComBuffer b;
  b.SetInputSize(100);
  b.SetOutputSize(200);
  port.SetBuffer(b);
  EXPECT_EQ(port.Buffer().InputSize(), 100);
  EXPECT_EQ(port.Buffer().OutputSize(), 200);
}

TEST(SettingsCopy, AcrossClassesFailsWithTheConversionError) {
  TComParity parity;
  parity.SetBits(prOdd);
  TComTimeouts timeouts;
  try {
    timeouts.Assign(parity);
    FAIL() << "no conversion error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TComParity to a TComTimeouts");
  }
  EXPECT_EQ(timeouts.ReadInterval(), -1) << "nothing was copied";

  TComBuffer buffer;
  EXPECT_THROW(buffer.Assign(TComFlowControl()), EConvertError);
  EXPECT_THROW(TComFlowControl().Assign(buffer), EConvertError);
}

TEST(RefusedProperties, SyncMethodWhileOpenRaisesCode14) {
  ScriptedPort port;
  port.OpenPort();
  port.SetSyncMethod(smThreadSync);  // same value: nothing to refuse
  try {
    port.SetSyncMethod(smNone);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_STREQ(e.what(), "Cannot set property while connected");
    EXPECT_EQ(e.ComErrorCode(), 14);
    EXPECT_EQ(e.SystemError(), -1);
  }
  EXPECT_EQ(port.SyncMethod(), smThreadSync);
  port.ClosePort();
  port.SetSyncMethod(smWindowSync);
  EXPECT_EQ(port.SyncMethod(), smWindowSync);
}

TEST(RefusedProperties, TriggersOnRxCharWithABufferLink) {
  ScriptedPort port;
  port.FHasRxBufLink = true;
  try {
    port.SetTriggersOnRxChar(false);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ComErrorCode(), 22);
    EXPECT_STREQ(e.what(), "A component is linked to OnRxBuf event");
  }
  EXPECT_FALSE(port.TriggersOnRxChar()) << "stored True, but the link takes the buffers";
  port.FHasRxBufLink = false;
  EXPECT_TRUE(port.TriggersOnRxChar()) << "the value stayed";
  port.FHasRxBufLink = true;

  // A handler lets the report return, and the value is stored all the same.
  int reports = 0;
  port.SetOnException(
      [&](TObject*, TComExceptions kind, const std::string&, int64_t, const std::string&) {
        EXPECT_EQ(kind, CE_HasLink);
        ++reports;
      });
  port.SetTriggersOnRxChar(false);
  EXPECT_EQ(reports, 1);
  port.FHasRxBufLink = false;
  EXPECT_FALSE(port.TriggersOnRxChar()) << "False was stored although the link took the buffers";
}

}  // namespace
