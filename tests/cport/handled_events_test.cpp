// Which line events reach the main thread: a batch nobody acts on stays on the event thread
// and the device is told it need not track such events, while every handler, link callback
// and overriding fire step still gets its events, whole batches in order.
#include <gtest/gtest.h>
#include <poll.h>

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
#include "tests/cport/support/pty_line.h"

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
    const auto end = std::chrono::steady_clock::now() + 2s;
    while (script->Count(FakeOp::WaitCommEvent) < n) {
      if (std::chrono::steady_clock::now() >= end) return false;
      poll(nullptr, 0, 1);
    }
    return true;
  }

  std::shared_ptr<FakeScript> script = std::make_shared<FakeScript>();
  corvane::EventLoop loop;
};

TEST_F(HandledEvents, FollowHandlersLinksAndTheRxCharSetting) {
  const auto noop = [](TObject*) {};
  const auto signal = [](TObject*, bool) {};
  struct Case {
    const char* name;
    std::function<void(TComPort&, TComPortLink&)> listen;
    TComEvents handled;
  };
  const std::vector<Case> cases = {
      {"nobody", [](TComPort&, TComPortLink&) {}, {}},
      {"OnRxChar",
       [](TComPort& p, TComPortLink&) { p.SetOnRxChar([](TObject*, int32_t) {}); },
       {evRxChar}},
      {"bytes read and dropped",
       [](TComPort& p, TComPortLink&) { p.SetTriggersOnRxChar(false); },
       {evRxChar}},
      {"OnTxEmpty", [&](TComPort& p, TComPortLink&) { p.SetOnTxEmpty(noop); }, {evTxEmpty}},
      {"link OnTx", [&](TComPort&, TComPortLink& l) { l.OnTx = signal; }, {evTxEmpty}},
      {"link OnCTSChange", [&](TComPort&, TComPortLink& l) { l.OnCTSChange = signal; }, {evCTS}},
      {"OnBreak and OnRx80Full",
       [&](TComPort& p, TComPortLink&) {
         p.SetOnBreak(noop);
         p.SetOnRx80Full(noop);
       },
       {evBreak, evRx80Full}},
      // Counting received bytes takes pending line errors along.
      {"OnError",
       [](TComPort& p, TComPortLink&) { p.SetOnError([](TObject*, TComErrors) {}); },
       {evError, evRxChar}},
      // The steps that ask the device: the handler hears a failure.
      {"OnException",
       [](TComPort& p, TComPortLink&) {
         p.SetOnException(
             [](TObject*, TComExceptions, const std::string&, int64_t, const std::string&) {});
       },
       {evRxChar, evError, evCTS, evDSR, evRLSD}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TComPortLink link;
    TComPort port;
    port.SetPort("COM1");
    c.listen(port, link);
    port.RegisterLink(&link);
    port.OpenPort();
    EXPECT_EQ(script->QuietEvents(), EventSetToMask(corvane::kAllComEvents - c.handled));
    port.ClosePort();
    port.UnRegisterLink(&link);
  }

  // A handler assigned while the port is open counts at once.
  TComPort port;
  port.SetPort("COM1");
  port.OpenPort();
  EXPECT_EQ(script->QuietEvents(), 1535u);
  port.SetOnTxEmpty(noop);
  EXPECT_EQ(script->QuietEvents(), 1535u & ~EV_TXEMPTY);
  port.SetOnTxEmpty(nullptr);
  EXPECT_EQ(script->QuietEvents(), 1535u);
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
