// The two delivery methods besides the synchronous call, on the scripted device: handlers
// on the event thread itself (smNone), where a close from a handler is refused and errors
// arise there; and one message per event to the main thread (smWindowSync), in the fixed
// order, where a failure is shown and monitoring goes on.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "cport/cport.h"
#include "rt/event_loop.h"
#include "rt/main_thread.h"
#include "tests/cport/support/scripted_port.h"
#include "tests/cport/support/unserved.h"

namespace {

using namespace std::chrono_literals;
using namespace corvane::platform;
using corvane::test::ScriptedPort;
using corvane::test::ThreadWaitsForMain;
using corvane::test::Unserved;

class SyncMethods : public ::testing::Test {
  const std::thread::id mainId_ = std::this_thread::get_id();
  std::mutex mutex_;
  std::vector<std::string> seen_;

 protected:
  void SetUp() override { corvane::MainThread::Instance().Attach(); }
  void TearDown() override { corvane::MainThread::Instance().SetExceptionHandler(nullptr); }

  // Notes what ran and on which thread; handlers under smNone call it on the event thread.
  void Note(const std::string& what) {
    const bool main = std::this_thread::get_id() == mainId_;
    std::lock_guard lock(mutex_);
    seen_.push_back(what + (main ? "" : " (event thread)"));
  }
  std::vector<std::string> Seen() {
    std::lock_guard lock(mutex_);
    return seen_;
  }
  void Forget() {
    std::lock_guard lock(mutex_);
    seen_.clear();
  }
  // Without serving the main thread: handlers under smNone need nobody there.
  bool SeenUnserved(size_t n) {
    return Unserved([&] { return Seen().size() >= n; });
  }
  bool SeenServed(size_t n) {
    return loop.RunUntil([&] { return Seen().size() >= n; }, 2s);
  }

  // After the log: the port's closing reports to it.
  corvane::EventLoop loop;
  ScriptedPort port;
};

TEST_F(SyncMethods, WithoutSynchronisingHandlersAndTheirErrorsStayOnTheEventThread) {
  port.SetSyncMethod(smNone);
  port.SetOnException([this](TObject*, TComExceptions kind, const std::string&, int64_t,
                             const std::string&) { Note("Exception " + std::to_string(kind + 1)); });
  port.SetOnRxChar([this](TObject*, int32_t n) {
    std::string text;
    port.ReadText(text, n);
    Note("Rx " + text);
    port.ClosePort();  // would wait for this very thread
  });
  port.OpenPort();
  port.Script->Fail(FakeOp::ClearCommError, EIO, 1);
  port.Script->Receive("F");
  ASSERT_TRUE(SeenUnserved(1));
  port.Script->Receive("A;");
  ASSERT_TRUE(SeenUnserved(3));
  EXPECT_EQ(Seen(), (std::vector<std::string>{"Exception 10 (event thread)",
                                              "Rx FA; (event thread)",
                                              "Exception 14 (event thread)"}));
  EXPECT_TRUE(port.Connected());
  EXPECT_TRUE(port.EventThreadRunning());
  port.ClosePort();
  EXPECT_FALSE(port.Connected());
}

TEST_F(SyncMethods, WithoutSynchronisingAFailureEndsMonitoringUnshownAndLeavesTheQueues) {
  struct Case {
    const char* name;
    std::function<void(ScriptedPort&)> prepare;
  };
  const Case cases[] = {
      {"a handler raises",
       [](ScriptedPort& p) {
         p.SetOnRxChar([](TObject*, int32_t) { throw std::runtime_error("handler failed"); });
       }},
      {"the count is refused",
       [](ScriptedPort& p) {
         p.SetOnRxChar([](TObject*, int32_t) {});
         p.Script->Fail(FakeOp::ClearCommError, EIO, 1);
       }},
  };
  int shown = 0;
  corvane::MainThread::Instance().SetExceptionHandler([&](std::exception_ptr) { ++shown; });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPort p;
    p.SetSyncMethod(smNone);
    p.OpenPort();
    c.prepare(p);
    p.Script->Receive("FA;");
    ASSERT_TRUE(Unserved([&] { return !p.EventThreadRunning(); }));
    EXPECT_TRUE(p.Connected());
    p.ClosePort();
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(p.Script->Last(FakeOp::PurgeComm).Arg1, PURGE_TXABORT | PURGE_RXABORT)
        << "no purge of the queues";
  }
}

TEST_F(SyncMethods, WindowMessagesComeOnePerEventInTheFixedOrder) {
  port.SetSyncMethod(smWindowSync);
  port.SetOnError([this](TObject*, TComErrors) { Note("Error"); });
  port.SetOnRxChar([this](TObject*, int32_t n) { Note("Rx" + std::to_string(n)); });
  port.SetOnTxEmpty([this](TObject*) { Note("TxEmpty"); });
  port.SetOnBreak([this](TObject*) { Note("Break"); });
  port.SetOnRing([this](TObject*) { Note("Ring"); });
  port.SetOnCTSChange([this](TObject*, bool) { Note("CTS"); });
  port.SetOnDSRChange([this](TObject*, bool) { Note("DSR"); });
  port.SetOnRxFlag([this](TObject*) { Note("RxFlag"); });
  port.SetOnRLSDChange([this](TObject*, bool) { Note("RLSD"); });
  port.SetOnRx80Full([this](TObject*) { Note("Rx80Full"); });
  port.OpenPort();
  // The thread's message for this batch is not taken yet: what follows is its next batch.
  port.Script->RaiseEvents(EV_BREAK);
  ASSERT_TRUE(ThreadWaitsForMain());
  Forget();  // the line states reported at opening
  port.Script->SetLineErrors(CE_FRAME);
  port.Script->Receive("FA;");
  port.Script->RaiseEvents(EV_ERR | EV_TXEMPTY | EV_BREAK | EV_RING | EV_CTS | EV_DSR |
                           EV_RXFLAG | EV_RLSD | EV_RX80FULL);
  ASSERT_TRUE(SeenServed(11));
  EXPECT_EQ(Seen(), (std::vector<std::string>{"Break", "Error", "Rx3", "TxEmpty", "Break", "Ring",
                                              "CTS", "DSR", "RxFlag", "RLSD", "Rx80Full"}));
  // An error event with no error pending calls nobody.
  Forget();
  port.Script->RaiseEvents(EV_ERR | EV_RING);
  ASSERT_TRUE(SeenServed(1));
  EXPECT_EQ(Seen(), (std::vector<std::string>{"Ring"}));
}

TEST_F(SyncMethods, UnderWindowMessagesAFailureIsShownAndMonitoringGoesOn) {
  std::vector<std::string> shown;
  corvane::MainThread::Instance().SetExceptionHandler([&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& x) {
      shown.emplace_back(x.what());
    }
  });
  port.SetSyncMethod(smWindowSync);
  port.SetOnRing([](TObject*) { throw std::runtime_error("handler failed"); });
  port.SetOnRxChar([this](TObject*, int32_t n) { Note("Rx" + std::to_string(n)); });
  port.OpenPort();
  port.Script->RaiseEvents(EV_RING);
  ASSERT_TRUE(loop.RunUntil([&] { return !shown.empty(); }, 2s));
  port.Script->Fail(FakeOp::ClearCommError, EIO, 1);
  port.Script->Receive("F");
  ASSERT_TRUE(loop.RunUntil([&] { return shown.size() == 2; }, 2s));
  port.Script->Receive("A;");
  ASSERT_TRUE(SeenServed(1));
  EXPECT_EQ(shown, (std::vector<std::string>{"handler failed",
                                             "ClearCommError function failed (Error: 5)"}));
  EXPECT_EQ(Seen(), (std::vector<std::string>{"Rx3"}));
  EXPECT_TRUE(port.EventThreadRunning());
}

}  // namespace
