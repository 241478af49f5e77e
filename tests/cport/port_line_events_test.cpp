// Modem lines waited for rather than sampled, the close a handler cannot make, links fed
// with received buffers, a failed wait reaching the error route, and a filling input queue.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "cport/cport.h"
#include "rt/event_loop.h"
#include "rt/main_thread.h"
#include "tests/cport/support/port_on_pty.h"
#include "tests/cport/support/scripted_port.h"

namespace {

using namespace std::chrono_literals;
using namespace corvane::platform;
using corvane::test::ScriptedPort;

// The parameter: whether the test's loop watches the device in place of an event thread.
class LineEvents : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    corvane::MainThread::Instance().Attach();
    if (GetParam()) corvane::SetMainLoopWatcher(&loop);
  }
  // A port delivering its events the way the parameter says.
  void Deliver(ScriptedPort& p) { p.SetLoopDelivery(GetParam()); }
  corvane::EventLoop loop;
  ScriptedPort port;
};

INSTANTIATE_TEST_SUITE_P(Delivery, LineEvents, ::testing::Bool(), corvane::test::DeliveryName);

TEST_P(LineEvents, ModemLineChangesReachHandlersWithAndWithoutTheDriversWait) {
  // The scripted lines change for a waiting device only.
  if (GetParam()) GTEST_SKIP() << "scripted modem lines need a wait";
  for (bool lineWait : {true, false}) {
    SCOPED_TRACE(lineWait ? "waited for" : "sampled");
    ScriptedPort p;
    p.Script->GiveModemLines(lineWait);
    std::string seen;
    p.SetOnCTSChange([&](TObject*, bool on) { seen += on ? "C+" : "C-"; });
    p.SetOnRLSDChange([&](TObject*, bool on) { seen += on ? "D+" : "D-"; });
    p.OpenPort();
    seen.clear();  // the line states reported at opening
    p.Script->ChangeModemLines(MS_CTS_ON);
    ASSERT_TRUE(loop.RunUntil([&] { return seen == "C+"; }, 2s)) << seen;
    p.Script->ChangeModemLines(MS_CTS_ON | MS_RLSD_ON);
    ASSERT_TRUE(loop.RunUntil([&] { return seen == "C+D+"; }, 2s)) << seen;
    p.ClosePort();
  }
}

TEST_P(LineEvents, AWaitedLineChangeCostsAHandfulOfWakeUps) {
  // The scripted lines change for a waiting device only.
  if (GetParam()) GTEST_SKIP() << "scripted modem lines need a wait";
  port.Script->GiveModemLines(true);
  int changes = 0;
  port.SetOnDSRChange([&](TObject*, bool) { ++changes; });
  port.OpenPort();
  const int atOpen = changes;
  const uint64_t before = port.Script->WakeUps();
  port.Script->ChangeModemLines(MS_DSR_ON);
  ASSERT_TRUE(loop.RunUntil([&] { return changes == atOpen + 1; }, 2s));
  // The helper's return and the event wait's; a sampling wait would add one every 20 ms
  // for as long as the loop above ran.
  EXPECT_LE(port.Script->WakeUps() - before, 3u);
  port.ClosePort();
}

TEST_P(LineEvents, AHandlerCannotCloseItsOwnPortButTheCloseDoesNotHang) {
  struct Case {
    const char* name;
    void (*close)(ScriptedPort&);
  } cases[] = {
      {"ClosePort", [](ScriptedPort& p) { p.ClosePort(); }},
      {"Connected", [](ScriptedPort& p) { p.SetConnected(false); }},
      {"Port", [](ScriptedPort& p) { p.SetPort("COM9"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPort p;
    Deliver(p);
    int code = 0;
    p.SetOnRxChar([&](TObject*, int32_t n) {
      std::string text;
      p.ReadText(text, n);
      try {
        c.close(p);
      } catch (const EComPort& e) {
        code = e.ComErrorCode();
      }
    });
    p.OpenPort();
    p.Script->Receive("X");
    ASSERT_TRUE(loop.RunUntil([&] { return code != 0; }, 2s));
    EXPECT_EQ(code, 14);
    EXPECT_TRUE(p.Connected());
    EXPECT_EQ(p.Port(), "COM1") << "a refused name is not kept for the next reopen";
    p.ClosePort();  // from outside the handler it closes
    EXPECT_FALSE(p.Connected());
  }
}

TEST_P(LineEvents, ALinkTakingBuffersIsFedInsteadOfOnRxChar) {
  std::string linked, buffers;
  int rxChar = 0;
  TComPortLink link;
  link.OnRxBuf = [&](TObject*, const void* b, int32_t n) {
    linked.append(static_cast<const char*>(b), static_cast<size_t>(n));
  };
  port.SetOnRxBuf([&](TObject*, const void* b, int32_t n) {
    buffers.append(static_cast<const char*>(b), static_cast<size_t>(n));
  });
  port.SetOnRxChar([&](TObject*, int32_t) { ++rxChar; });
  Deliver(port);
  port.RegisterLink(&link);
  EXPECT_FALSE(port.TriggersOnRxChar()) << "stored True, but a link takes the buffers";
  port.OpenPort();
  port.Script->Receive("FA;");
  ASSERT_TRUE(loop.RunUntil([&] { return linked == "FA;"; }, 2s));
  EXPECT_EQ(buffers, "FA;");
  EXPECT_EQ(rxChar, 0);
  port.ClosePort();
  port.UnRegisterLink(&link);
  EXPECT_TRUE(port.TriggersOnRxChar());
}

TEST_P(LineEvents, AFailedWaitIsReportedThroughTheErrorRoute) {
  // Unhandled, the report reaches the application's exception handler; with OnException
  // assigned, the handler hears it.
  for (bool handler : {false, true}) {
    SCOPED_TRACE(handler ? "OnException" : "exception handler");
    ScriptedPort p;
    Deliver(p);
    int code = 0;
    int64_t platform = 0;
    auto& main = corvane::MainThread::Instance();
    main.SetExceptionHandler([&](std::exception_ptr e) {
      try {
        std::rethrow_exception(e);
      } catch (const EComPort& ec) {
        code = ec.ComErrorCode();
        platform = ec.SystemError();
      }
    });
    if (handler) {
      p.SetOnException([&](TObject*, TComExceptions kind, const std::string&, int64_t winError,
                           const std::string&) {
        code = kind + 1;
        platform = winError;
      });
    }
    p.Script->Fail(FakeOp::WaitCommEvent, EIO);
    p.OpenPort();
    const bool reported = loop.RunUntil([&] { return code != 0; }, 2s);
    main.SetExceptionHandler(nullptr);
    ASSERT_TRUE(reported);
    EXPECT_EQ(code, CE_WaitFailed + 1);
    EXPECT_EQ(platform, EIO);
    p.ClosePort();
  }
}

class PtyInput : public corvane::test::PortOnPtyEitherWay {};

INSTANTIATE_TEST_SUITE_P(Delivery, PtyInput, ::testing::Bool(), corvane::test::DeliveryName);

TEST_P(PtyInput, AnInputQueuePast80PercentRaisesRx80FullOncePerFilling) {
  int full = 0;
  int32_t waiting = 0, arrived = 0;
  // Counts without reading: the bytes stay queued. An arrival's events come in one batch,
  // so once its count is seen, an Rx80Full it raised has been seen as well.
  port.SetOnRxChar([&](TObject*, int32_t n) { arrived = n; });
  port.SetOnRx80Full([&](TObject*) {
    ++full;
    waiting = port.InQueueCount();
  });
  TComBuffer size;
  size.SetInputSize(100);
  port.SetBuffer(size);
  port.OpenPort();
  ASSERT_EQ(write(pty.Master(), std::string(60, 'a').data(), 60), 60);
  ASSERT_EQ(write(pty.Master(), std::string(30, 'b').data(), 30), 30);
  ASSERT_TRUE(loop.RunUntil([&] { return full == 1; }, 2s));
  EXPECT_GT(waiting, 80);
  ASSERT_EQ(write(pty.Master(), "c", 1), 1);
  ASSERT_TRUE(loop.RunUntil([&] { return arrived == 91; }, 2s));
  EXPECT_EQ(full, 1) << "still full: not raised again";
  std::string text;
  EXPECT_EQ(port.ReadText(text, 91), 91);
  // Emptied by the read, then past 80 % again in one arrival.
  ASSERT_EQ(write(pty.Master(), std::string(90, 'd').data(), 90), 90);
  ASSERT_TRUE(loop.RunUntil([&] { return full == 2; }, 2s)) << "raised once per filling";
}

}  // namespace
