// Which line events reach the main thread: a batch nobody acts on stays on the event thread,
// while every handler, link callback and overriding fire step still gets its events, whole
// batches in order.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cport/com_event_mask.h"
#include "cport/cport.h"
#include "cport/platform/device_opener.h"
#include "cport/platform/fake_device.h"
#include "rt/event_loop.h"
#include "rt/main_thread.h"
#include "tests/cport/support/port_on_pty.h"
#include "tests/cport/support/pty_line.h"
#include "tests/cport/support/unserved.h"

namespace {

using namespace std::chrono_literals;
using namespace corvane::platform;

// Plain TComPort objects on the scripted device, through the process-wide opener: a port
// of a derived class (the scripted port of the other tests) has every event handed over.
class HandledEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    corvane::MainThread::Instance().Attach();
    SetDeviceOpener([s = script](const std::string& name, std::unique_ptr<Device>& device) {
      return s->Open(name, device);
    });
  }
  void TearDown() override { SetDeviceOpener(nullptr); }

  // Waits, without serving the main thread, until the event thread has called the wait n
  // times: it cannot while it is blocked handing a batch over.
  bool WaitedTimes(int n) {
    return corvane::test::Unserved([&] { return script->Count(FakeOp::WaitCommEvent) >= n; });
  }

  std::shared_ptr<FakeScript> script = std::make_shared<FakeScript>();
  corvane::EventLoop loop;
};

// The same with the port's events delivered as the parameter says: by an event thread
// (false) or by the test's loop watching the device (true).
class HandledEventsEitherWay : public HandledEvents, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    HandledEvents::SetUp();
    if (GetParam()) corvane::SetMainLoopWatcher(&loop);
  }
};

INSTANTIATE_TEST_SUITE_P(Delivery, HandledEventsEitherWay, ::testing::Bool(),
                         corvane::test::DeliveryName);

// Every handler and link callback hears its event, also when it is assigned while the port
// is open: the port must not take its event for one nobody acts on.
TEST_P(HandledEventsEitherWay, EveryListenerHearsItsEvent) {
  using Listen = std::function<void(TComPort&, TComPortLink&, std::string&)>;
  const auto note = [](std::string& heard, const char* what) {
    return [&heard, what](auto&&...) { heard += what; };
  };
  struct Case {
    const char* name;
    Listen listen;
    std::function<void(FakeScript&)> raise;
    std::string expect;
  };
  const auto raise = [](uint32_t events) {
    return [events](FakeScript& s) { s.RaiseEvents(events); };
  };
  const auto receive = [](FakeScript& s) { s.Receive("FA;"); };
  const std::vector<Case> cases = {
      {"OnRxChar", [&](auto& p, auto&, auto& h) { p.SetOnRxChar(note(h, "Rx")); }, receive, "Rx"},
      {"link OnRx", [&](auto&, auto& l, auto& h) { l.OnRx = note(h, "Rx"); }, receive, "Rx"},
      {"link OnRxBuf", [&](auto&, auto& l, auto& h) { l.OnRxBuf = note(h, "RxBuf"); }, receive,
       "RxBuf"},
      {"OnTxEmpty", [&](auto& p, auto&, auto& h) { p.SetOnTxEmpty(note(h, "TxEmpty")); },
       raise(EV_TXEMPTY), "TxEmpty"},
      {"link OnTx", [&](auto&, auto& l, auto& h) { l.OnTx = note(h, "Tx"); }, raise(EV_TXEMPTY),
       "Tx"},
      {"link OnTxEmpty", [&](auto&, auto& l, auto& h) { l.OnTxEmpty = note(h, "TxEmpty"); },
       raise(EV_TXEMPTY), "TxEmpty"},
      {"OnRxFlag", [&](auto& p, auto&, auto& h) { p.SetOnRxFlag(note(h, "Flag")); },
       raise(EV_RXFLAG), "Flag"},
      {"link OnRxFlag", [&](auto&, auto& l, auto& h) { l.OnRxFlag = note(h, "Flag"); },
       raise(EV_RXFLAG), "Flag"},
      {"OnRing", [&](auto& p, auto&, auto& h) { p.SetOnRing(note(h, "Ring")); }, raise(EV_RING),
       "Ring"},
      {"link OnRing", [&](auto&, auto& l, auto& h) { l.OnRing = note(h, "Ring"); },
       raise(EV_RING), "Ring"},
      {"OnBreak", [&](auto& p, auto&, auto& h) { p.SetOnBreak(note(h, "Break")); },
       raise(EV_BREAK), "Break"},
      {"OnRx80Full", [&](auto& p, auto&, auto& h) { p.SetOnRx80Full(note(h, "Full")); },
       raise(EV_RX80FULL), "Full"},
      {"OnCTSChange", [&](auto& p, auto&, auto& h) { p.SetOnCTSChange(note(h, "CTS")); },
       raise(EV_CTS), "CTS"},
      {"link OnDSRChange", [&](auto&, auto& l, auto& h) { l.OnDSRChange = note(h, "DSR"); },
       raise(EV_DSR), "DSR"},
      {"link OnRLSDChange", [&](auto&, auto& l, auto& h) { l.OnRLSDChange = note(h, "RLSD"); },
       raise(EV_RLSD), "RLSD"},
      {"OnError", [&](auto& p, auto&, auto& h) { p.SetOnError(note(h, "Error")); },
       [](FakeScript& s) {
         s.SetLineErrors(CE_FRAME);
         s.RaiseEvents(EV_ERR);
       },
       "Error"},
      // The steps ask the device; OnException alone hears their failures.
      {"OnException, a count refused",
       [&](auto& p, auto&, auto& h) { p.SetOnException(note(h, "Exception")); },
       [&](FakeScript& s) {
         s.Fail(FakeOp::ClearCommError, EIO, 1);
         receive(s);
       },
       "Exception"},
      {"OnException, a line state refused",
       [&](auto& p, auto&, auto& h) { p.SetOnException(note(h, "Exception")); },
       [](FakeScript& s) {
         s.Fail(FakeOp::GetCommModemStatus, EIO, 1);
         s.RaiseEvents(EV_RLSD);
       },
       "Exception"},
  };
  for (const Case& c : cases) {
    for (const bool whileOpen : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (whileOpen ? ", assigned while open" : ""));
      std::string heard;
      TComPortLink link;
      TComPort port;
      port.SetLoopDelivery(GetParam());
      port.SetPort("COM1");
      if (!whileOpen) c.listen(port, link, heard);
      port.RegisterLink(&link);
      port.OpenPort();
      if (whileOpen) {
        port.UnRegisterLink(&link);
        c.listen(port, link, heard);
        port.RegisterLink(&link);
      }
      heard.clear();  // the line states reported at opening
      c.raise(*script);
      EXPECT_TRUE(loop.RunUntil([&] { return !heard.empty(); }, 2s));
      EXPECT_EQ(heard, c.expect);
      port.ClosePort();
      port.UnRegisterLink(&link);
    }
  }
}

TEST_F(HandledEvents, ABatchNobodyActsOnStaysOnTheEventThread) {
  std::vector<std::string> seen;
  TComPort port;
  port.SetPort("COM1");
  port.SetOnError([&](TObject*, TComErrors) { seen.push_back("Error"); });
  port.SetOnRing([&](TObject*) { seen.push_back("Ring"); });
  port.OpenPort();
  ASSERT_TRUE(WaitedTimes(1));

  script->RaiseEvents(EV_TXEMPTY | EV_BREAK);
  EXPECT_TRUE(WaitedTimes(2)) << "the thread waits again without the main thread's help";

  // Delivered whole and in order, the unhandled event among them.
  script->SetLineErrors(CE_FRAME);
  script->RaiseEvents(EV_ERR | EV_TXEMPTY | EV_RING);
  ASSERT_TRUE(loop.RunUntil([&] { return seen.size() >= 2; }, 2s));
  EXPECT_EQ(seen, (std::vector<std::string>{"Error", "Ring"}));
  port.ClosePort();
}

// Counts the drained-output events of the port it overrides.
class DrainCountingPort : public TComPort {
 public:
  int drains = 0;

 protected:
  void FireTxEmpty() override { ++drains; }
};

TEST(HandledEventsOnAPty, EveryWriteReachesWhoeverListensForTheDrainedOutput) {
  corvane::MainThread::Instance().Attach();
  corvane::EventLoop loop;
  struct Case {
    const char* name;
    std::function<std::unique_ptr<TComPort>(TComPortLink&, int&)> make;
  };
  const std::vector<Case> cases = {
      {"OnTxEmpty handler",
       [](TComPortLink&, int& n) {
         auto port = std::make_unique<TComPort>();
         port->SetOnTxEmpty([&n](TObject*) { ++n; });
         return port;
       }},
      {"link callback",
       [](TComPortLink& link, int& n) {
         auto port = std::make_unique<TComPort>();
         link.OnTxEmpty = [&n](TObject*) { ++n; };
         port->RegisterLink(&link);
         return port;
       }},
      {"overriding fire step",
       [](TComPortLink&, int&) -> std::unique_ptr<TComPort> {
         return std::make_unique<DrainCountingPort>();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    corvane::test::PtyLine pty;
    TComPortLink link;
    int counted = 0;
    std::unique_ptr<TComPort> port = c.make(link, counted);
    auto* overriding = dynamic_cast<DrainCountingPort*>(port.get());
    int& drains = overriding ? overriding->drains : counted;
    port->SetPort(pty.SlavePath());
    port->OpenPort();
    for (int write = 1; write <= 3; ++write) {
      port->WriteText("FA;");
      ASSERT_TRUE(loop.RunUntil([&] { return drains >= write; }, 2s)) << "write " << write;
      EXPECT_EQ(drains, write);
    }
    port->ClosePort();
  }
}

}  // namespace
