// Opening, closing and applying settings, seen through the calls that reach a scripted
// device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cport/cport.h"
#include "rt/main_thread.h"
#include "tests/cport/support/scripted_port.h"

namespace {

using namespace corvane::platform;
using corvane::test::ScriptedPort;

// Records the order of the open/close handlers.
struct EventLog {
  std::vector<std::string> seen;

  void Attach(TCustomComPort& port) {
    port.SetOnBeforeOpen([this](TObject*) { seen.push_back("BeforeOpen"); });
    port.SetOnAfterOpen([this](TObject*) { seen.push_back("AfterOpen"); });
    port.SetOnBeforeClose([this](TObject*) { seen.push_back("BeforeClose"); });
    port.SetOnAfterClose([this](TObject*) { seen.push_back("AfterClose"); });
    auto signal = [this](const char* name) {
      return
          [this, name](TObject*, bool on) { seen.push_back(std::string(name) + (on ? "+" : "-")); };
    };
    port.SetOnCTSChange(signal("CTS"));
    port.SetOnDSRChange(signal("DSR"));
    port.SetOnRLSDChange(signal("RLSD"));
  }
};

Dcb LastState(const ScriptedPort& port) {
  return port.Script->Last(FakeOp::SetCommState).State;
}

TEST(OpenPort, AppliesQueueSizesLineAndTimeoutsOnceInThatOrder) {
  ScriptedPort port;
  port.SetPort("ttyS4");
  port.OpenPort();
  ASSERT_TRUE(port.Connected());
  const std::vector<FakeOp> expected = {FakeOp::Open, FakeOp::SetupComm, FakeOp::SetCommState,
                                        FakeOp::SetCommTimeouts};
  const auto ops = port.Script->Ops();
  ASSERT_GE(ops.size(), expected.size());
  EXPECT_EQ(std::vector<FakeOp>(ops.begin(), ops.begin() + 4), expected);
  EXPECT_EQ(port.Script->Last(FakeOp::Open).Name, "ttyS4");
  EXPECT_EQ(port.Script->Last(FakeOp::SetupComm).Arg1, 1024u);
  EXPECT_EQ(port.Script->Last(FakeOp::SetupComm).Arg2, 1024u);
}

TEST(OpenPort, DefaultControlBlock) {
  ScriptedPort port;
  port.OpenPort();
  const Dcb d = LastState(port);
  EXPECT_EQ(d.DCBlength, 28u);
  EXPECT_EQ(d.BaudRate, 9600u);
  EXPECT_EQ(d.Flags, kDcbBinary);
  EXPECT_EQ(d.XonLim, 256);
  EXPECT_EQ(d.XoffLim, 256);
  EXPECT_EQ(d.ByteSize, 8);
  EXPECT_EQ(d.Parity, NOPARITY);
  EXPECT_EQ(d.StopBits, ONESTOPBIT);
  EXPECT_EQ(d.XonChar, 17);
  EXPECT_EQ(d.XoffChar, 19);
  EXPECT_EQ(d.ErrorChar, 0);
  EXPECT_EQ(d.EofChar, 0);
  EXPECT_EQ(d.EvtChar, 0);
}

TEST(OpenPort, DefaultTimeoutsReachTheDeviceWithMinusOneAsAllOnes) {
  ScriptedPort port;
  port.OpenPort();
  const CommTimeouts t = port.Script->Last(FakeOp::SetCommTimeouts).Timeouts;
  EXPECT_EQ(t, (CommTimeouts{0xFFFFFFFFu, 0, 0, 100, 1000}));
  EXPECT_EQ(TimeoutToDevice(-1), 0xFFFFFFFFu);
  EXPECT_EQ(TimeoutToDevice(0), 0u);
  EXPECT_EQ(TimeoutToDevice(-2), 0xFFFFFFFEu);
  EXPECT_EQ(TimeoutToDevice(2147483647), 0x7FFFFFFFu);
}

// Each case changes one setting of an open port and names the control block it expects.
struct DcbCase {
  const char* name;
  void (*change)(TCustomComPort&);
  void (*check)(const Dcb&);
};

const DcbCase kDcbCases[] = {
    {"br38400", [](TCustomComPort& p) { p.SetBaudRate(br38400); },
     [](const Dcb& d) { EXPECT_EQ(d.BaudRate, 38400u); }},
    {"brCustom takes the custom rate itself",
     [](TCustomComPort& p) {
       p.SetCustomBaudRate(31250);
       p.SetBaudRate(brCustom);
     },
     [](const Dcb& d) { EXPECT_EQ(d.BaudRate, 31250u); }},
    {"br256000", [](TCustomComPort& p) { p.SetBaudRate(br256000); },
     [](const Dcb& d) { EXPECT_EQ(d.BaudRate, 256000u); }},
    {"five data bits, 1.5 stop bits",
     [](TCustomComPort& p) {
       p.SetDataBits(dbFive);
       p.SetStopBits(sbOne5StopBits);
     },
     [](const Dcb& d) {
       EXPECT_EQ(d.ByteSize, 5);
       EXPECT_EQ(d.StopBits, ONE5STOPBITS);
     }},
    {"two stop bits", [](TCustomComPort& p) { p.SetStopBits(sbTwoStopBits); },
     [](const Dcb& d) { EXPECT_EQ(d.StopBits, TWOSTOPBITS); }},
    {"space parity", [](TCustomComPort& p) { p.Parity().SetBits(prSpace); },
     [](const Dcb& d) {
       EXPECT_EQ(d.Parity, SPACEPARITY);
       EXPECT_EQ(d.Flags & kDcbParity, 0u) << "framing alone does not check";
     }},
    {"check with replace",
     [](TCustomComPort& p) {
       p.Parity().SetReplaceChar('#');
       p.Parity().SetReplace(true);
       p.Parity().SetCheck(true);
     },
     [](const Dcb& d) {
       EXPECT_EQ(d.Flags & (kDcbParity | kDcbErrorChar), kDcbParity | kDcbErrorChar);
       EXPECT_EQ(d.ErrorChar, '#');
     }},
    {"replace without check sets neither flag",
     [](TCustomComPort& p) {
       p.Parity().SetReplaceChar('#');
       p.Parity().SetReplace(true);
     },
     [](const Dcb& d) {
       EXPECT_EQ(d.Flags & (kDcbParity | kDcbErrorChar), 0u);
       EXPECT_EQ(d.ErrorChar, 0);
     }},
    {"hardware flow", [](TCustomComPort& p) { p.FlowControl().SetFlowControl(fcHardware); },
     [](const Dcb& d) {
       EXPECT_EQ(d.Flags, kDcbBinary | kDcbOutxCtsFlow | RTS_CONTROL_HANDSHAKE);
     }},
    {"software flow", [](TCustomComPort& p) { p.FlowControl().SetFlowControl(fcSoftware); },
     [](const Dcb& d) { EXPECT_EQ(d.Flags, kDcbBinary | kDcbOutX | kDcbInX); }},
    {"every other flow field",
     [](TCustomComPort& p) {
       auto& f = p.FlowControl();
       f.SetOutDSRFlow(true);
       f.SetControlDTR(dtrHandshake);
       f.SetControlRTS(rtsToggle);
       f.SetDSRSensitivity(true);
       f.SetTxContinueOnXoff(true);
       f.SetXonChar('Q');
       f.SetXoffChar('S');
     },
     [](const Dcb& d) {
       EXPECT_EQ(d.Flags, kDcbBinary | kDcbOutxDsrFlow | DTR_CONTROL_HANDSHAKE |
                              kDcbDsrSensitivity | kDcbTXContinueOnXoff | RTS_CONTROL_TOGGLE);
       EXPECT_EQ(d.XonChar, 'Q');
       EXPECT_EQ(d.XoffChar, 'S');
     }},
    {"DTR and RTS held on",
     [](TCustomComPort& p) {
       p.FlowControl().SetControlDTR(dtrEnable);
       p.FlowControl().SetControlRTS(rtsEnable);
     },
     [](const Dcb& d) {
       EXPECT_EQ(d.Flags, kDcbBinary | DTR_CONTROL_ENABLE | RTS_CONTROL_ENABLE);
     }},
    {"discard NUL and event character",
     [](TCustomComPort& p) {
       p.SetDiscardNull(true);
       p.SetEventChar(';');
     },
     [](const Dcb& d) {
       EXPECT_EQ(d.Flags, kDcbBinary | kDcbNull);
       EXPECT_EQ(d.EvtChar, ';');
     }},
    {"input size 2 gives limits 0", [](TCustomComPort& p) { p.Buffer().SetInputSize(2); },
     [](const Dcb& d) {
       EXPECT_EQ(d.XonLim, 0);
       EXPECT_EQ(d.XoffLim, 0);
     }},
    {"input size 4096 gives limits 1024", [](TCustomComPort& p) { p.Buffer().SetInputSize(4096); },
     [](const Dcb& d) { EXPECT_EQ(d.XonLim, 1024); }},
};

TEST(ApplyLineSettings, ControlBlockForEachSetting) {
  for (const DcbCase& c : kDcbCases) {
    SCOPED_TRACE(c.name);
    ScriptedPort port;
    port.BeginSettingsUpdate();  // build the whole change, then look at one block
    port.OpenPort();
    c.change(port);
    port.EndSettingsUpdate();
    EXPECT_EQ(port.Script->Count(FakeOp::SetCommState), 1);
    c.check(LastState(port));
  }
}

TEST(Setters, OnAnOpenPortReachTheDeviceAtOnce) {
  ScriptedPort port;
  // No event thread: its waits would land among the calls counted here at any moment.
  port.SetEvents({});
  port.OpenPort();
  port.Script->ClearCalls();

  port.SetBaudRate(br57600);
  EXPECT_EQ(LastState(port).BaudRate, 57600u);
  port.SetBaudRate(br57600);  // equal value: nothing
  port.SetCustomBaudRate(9600);
  EXPECT_EQ(port.Script->Count(FakeOp::SetCommState), 1);

  port.Timeouts().SetReadTotalConstant(250);
  EXPECT_EQ(port.Script->Last(FakeOp::SetCommTimeouts).Timeouts.ReadTotalTimeoutConstant, 250u);
  port.Buffer().SetOutputSize(4097);
  EXPECT_EQ(port.Script->Last(FakeOp::SetupComm).Arg2, 4096u);
  port.Buffer().SetOutputSize(4097);  // compares with the stored 4096: applies again
  EXPECT_EQ(port.Script->Count(FakeOp::SetupComm), 2);

  // Group setters and the shortcut apply even without a change.
  port.Script->ClearCalls();
  port.SetParity(TComParity());
  port.SetFlowControl(TComFlowControl());
  port.FlowControl().SetFlowControl(fcCustom);
  EXPECT_EQ(port.Script->Count(FakeOp::SetCommState), 3);
  port.SetTimeouts(TComTimeouts());
  port.SetBuffer(TComBuffer());
  EXPECT_EQ(port.Script->Ops(),
            (std::vector<FakeOp>{FakeOp::SetCommState, FakeOp::SetCommState, FakeOp::SetCommState,
                                 FakeOp::SetCommTimeouts, FakeOp::SetupComm}));

  // Store-only properties touch nothing.
  port.Script->ClearCalls();
  port.SetEvents(TComEvents{evRxChar});
  port.SetStoredProps(TStoredProps{});
  port.SetCodePage(65001);
  port.SetOnRxChar([](TObject*, int32_t) {});
  EXPECT_TRUE(port.Script->Calls().empty());
}

TEST(SettingsBracket, DefersToTheOutermostEnd) {
  ScriptedPort port;
  port.SetEvents({});  // no event thread calls among the counted ones
  port.OpenPort();
  port.Script->ClearCalls();

  port.BeginSettingsUpdate();
  port.BeginSettingsUpdate();
  port.SetBaudRate(br19200);
  port.Parity().SetBits(prOdd);
  port.Buffer().SetInputSize(512);
  port.Timeouts().SetReadInterval(10);
  port.EndSettingsUpdate();
  EXPECT_TRUE(port.Script->Calls().empty()) << "the inner end applies nothing";
  port.EndSettingsUpdate();
  EXPECT_EQ(port.Script->Ops(), (std::vector<FakeOp>{FakeOp::SetupComm, FakeOp::SetCommState,
                                                     FakeOp::SetCommTimeouts}));
  EXPECT_EQ(LastState(port).BaudRate, 19200u);
  EXPECT_EQ(LastState(port).Parity, ODDPARITY);
  EXPECT_EQ(LastState(port).XonLim, 128);

  port.Script->ClearCalls();
  port.EndSettingsUpdate();  // an extra end does nothing, and does not go negative
  EXPECT_TRUE(port.Script->Calls().empty());
  port.SetBaudRate(br4800);
  EXPECT_EQ(port.Script->Count(FakeOp::SetCommState), 1);
}

TEST(OpenClose, HandlersRunInOrder) {
  EventLog log;  // outlives the port, whose closing reports to it
  ScriptedPort port;
  log.Attach(port);
  port.Script->SetModemStatus(MS_CTS_ON | MS_RLSD_ON);
  port.OpenPort();
  EXPECT_EQ(log.seen,
            (std::vector<std::string>{"BeforeOpen", "AfterOpen", "CTS+", "DSR-", "RLSD+"}));
  log.seen.clear();
  port.OpenPort();  // already open
  EXPECT_TRUE(log.seen.empty());

  port.Script->ClearCalls();
  port.ClosePort();
  EXPECT_EQ(log.seen,
            (std::vector<std::string>{"CTS-", "DSR-", "RLSD-", "BeforeClose", "AfterClose"}));
  EXPECT_EQ(port.Script->Count(FakeOp::GetCommModemStatus), 0) << "closing does not ask";
  std::vector<uint32_t> purges;
  for (const auto& c : port.Script->Calls())
    if (c.Op == FakeOp::PurgeComm) purges.push_back(c.Arg1);
  // Pending transfers are aborted first; the ending event thread then drops the queues.
  EXPECT_EQ(purges,
            (std::vector<uint32_t>{PURGE_TXABORT | PURGE_RXABORT, PURGE_TXCLEAR | PURGE_RXCLEAR}));
  EXPECT_EQ(port.Script->Ops().back(), FakeOp::Close);
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.Script->OpenDevices(), 0);

  log.seen.clear();
  port.ClosePort();  // already closed
  EXPECT_TRUE(log.seen.empty());
}

TEST(OpenClose, ConnectedPropertyOpensAndCloses) {
  ScriptedPort port;
  port.SetConnected(true);
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(port.Script->OpenDevices(), 1);
  port.SetConnected(true);
  EXPECT_EQ(port.Script->Count(FakeOp::Open), 1);
  port.SetConnected(false);
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.Script->OpenDevices(), 0);
}

TEST(OpenClose, MissingDeviceRaisesCode1AndStaysClosed) {
  EventLog log;  // outlives the port, whose closing reports to it
  ScriptedPort port;
  log.Attach(port);
  port.Script->Fail(FakeOp::Open, 2);
  try {
    port.OpenPort();
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_STREQ(e.what(), "Unable to open com port (Error: 2)");
    EXPECT_EQ(e.ComErrorCode(), 1);
    EXPECT_EQ(e.SystemError(), 2);
  }
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(log.seen, std::vector<std::string>{"BeforeOpen"});
}

// A failed apply during opening releases the device and leaves the port closed.
TEST(OpenClose, FailedApplyDuringOpenReleasesTheDevice) {
  struct Case {
    FakeOp op;
    int code;
    const char* message;
  } cases[] = {
      {FakeOp::SetupComm, 9, "SetupComm function failed (Error: 22)"},
      {FakeOp::SetCommState, 7, "SetCommState function failed (Error: 22)"},
      {FakeOp::SetCommTimeouts, 8, "SetCommTimeouts failed (Error: 22)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(FakeOpName(c.op));
    EventLog log;  // outlives the port, whose closing reports to it
    ScriptedPort port;
    log.Attach(port);
    port.Script->Fail(c.op, 22, 1);
    try {
      port.OpenPort();
      ADD_FAILURE() << "no error";
    } catch (const EComPort& e) {
      EXPECT_EQ(e.ComErrorCode(), c.code);
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Script->OpenDevices(), 0);
    EXPECT_EQ(port.Script->Ops().back(), FakeOp::Close);
    EXPECT_EQ(log.seen, std::vector<std::string>{"BeforeOpen"});

    port.OpenPort();  // the failure was once: the next open succeeds
    EXPECT_TRUE(port.Connected());
  }
}

TEST(OpenClose, RefusedSettingOnAnOpenPortStaysStored) {
  ScriptedPort port;
  port.OpenPort();
  port.Script->Fail(FakeOp::SetCommState, 22, 1);
  EXPECT_THROW(port.SetBaudRate(br128000), EComPort);
  EXPECT_EQ(port.BaudRate(), br128000);
  EXPECT_TRUE(port.Connected());
}

TEST(OpenClose, FailedPurgeKeepsThePortOpen) {
  EventLog log;  // outlives the port, whose closing reports to it
  ScriptedPort port;
  log.Attach(port);
  port.OpenPort();
  log.seen.clear();
  port.Script->Fail(FakeOp::PurgeComm, 5, 1);
  try {
    port.ClosePort();
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ComErrorCode(), 5);
    EXPECT_STREQ(e.what(), "PurgeComm function failed (Error: 5)");
  }
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(port.Script->OpenDevices(), 1);
  EXPECT_EQ(log.seen, (std::vector<std::string>{"CTS-", "DSR-", "RLSD-", "BeforeClose"}));
  port.ClosePort();
  EXPECT_FALSE(port.Connected());
}

TEST(OpenClose, ADeviceWhoseCloseFailsIsReleasedAnyway) {
  ScriptedPort port;
  port.OpenPort();
  port.Script->Fail(FakeOp::Close, 5, 1);
  port.ClosePort();
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.ComDevice(), nullptr);
  port.OpenPort();
  EXPECT_EQ(port.Script->OpenDevices(), 1);
}

TEST(OpenClose, FailingModemQueryAfterOpenLeavesThePortOpen) {
  ScriptedPort port;
  port.Script->Fail(FakeOp::GetCommModemStatus, 5, 1);
  try {
    port.OpenPort();
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ComErrorCode(), 11);
  }
  EXPECT_TRUE(port.Connected());
}

TEST(PortName, ADifferentNameReopensAnOpenPort) {
  ScriptedPort port;
  port.SetPort("ttyA");
  port.OpenPort();
  port.SetPort("ttyA");
  EXPECT_EQ(port.Script->Count(FakeOp::Open), 1);
  port.SetPort("TTYA");  // names compare exactly
  EXPECT_EQ(port.Script->Count(FakeOp::Open), 2);
  EXPECT_EQ(port.Script->Count(FakeOp::Close), 1);
  EXPECT_EQ(port.Script->Last(FakeOp::Open).Name, "TTYA");
  EXPECT_TRUE(port.Connected());

  port.Script->Fail(FakeOp::Open, 2);
  EXPECT_THROW(port.SetPort("ttyGone"), EComPort);
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.Port(), "ttyGone");
}

TEST(Loading, SettersOnlyStoreAndConnectedOpensAfterwards) {
  ScriptedPort port;
  port.BeginLoading();
  port.SetConnected(true);
  port.SetBaudRate(br2400);
  port.SetPort("ttyLoaded");
  EXPECT_TRUE(port.Script->Calls().empty());
  port.EndLoading();
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(port.Script->Last(FakeOp::Open).Name, "ttyLoaded");
  EXPECT_EQ(LastState(port).BaudRate, 2400u);
}

TEST(Loading, AFailedOpenAfterLoadingGoesToTheApplicationHandler) {
  ScriptedPort port;
  port.Script->Fail(FakeOp::Open, 2);
  std::string shown;
  auto& main = corvane::MainThread::Instance();
  main.SetExceptionHandler([&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& ex) {
      shown = ex.what();
    }
  });
  port.BeginLoading();
  port.SetConnected(true);
  EXPECT_NO_THROW(port.EndLoading());
  main.SetExceptionHandler(nullptr);
  EXPECT_EQ(shown, "Unable to open com port (Error: 2)");
  EXPECT_FALSE(port.Connected());
}

TEST(EmptyEvents, OpenAndCloseWithoutMonitoring) {
  ScriptedPort port;
  port.SetEvents(TComEvents{});
  port.OpenPort();
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(port.Script->Count(FakeOp::SetCommMask), 0);
  EXPECT_EQ(port.Script->Count(FakeOp::WaitCommEvent), 0);
  port.ClosePort();
  EXPECT_FALSE(port.Connected());
}

}  // namespace
