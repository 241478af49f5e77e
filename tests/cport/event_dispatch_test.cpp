// Event dispatch through the scripted device: the order of a batch's handlers, the byte
// count of OnRxChar, the line status sets, and the event thread's life across close,
// handler failures and reopening.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cport/com_event_mask.h"
#include "rt/descriptor_watch.h"
#include "rt/event_loop.h"
#include "rt/main_thread.h"
#include "tests/cport/support/port_on_pty.h"
#include "tests/cport/support/scripted_port.h"
#include "tests/cport/support/unserved.h"

namespace {

using namespace std::chrono_literals;
using namespace corvane::platform;
using corvane::test::ScriptedPort;
using corvane::test::ThreadWaitsForMain;
using corvane::test::Unserved;

// The parameter: whether the test's loop watches the device in place of an event thread.
class Dispatch : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    corvane::MainThread::Instance().Attach();
    if (!GetParam()) return;
    corvane::SetMainLoopWatcher(&loop);
    port.SetLoopDelivery(true);
  }
  void TearDown() override { corvane::MainThread::Instance().SetExceptionHandler(nullptr); }
  // Handlers note what ran; the log outlives the port, whose closing reports to it.
  std::vector<std::string> seen;
  corvane::EventLoop loop;
  ScriptedPort port;

  void Record() {
    port.SetOnError(
        [this](TObject*, TComErrors e) { seen.push_back("Error" + std::to_string(e.bits())); });
    port.SetOnRxChar([this](TObject*, int32_t n) { seen.push_back("Rx" + std::to_string(n)); });
    port.SetOnTxEmpty([this](TObject*) { seen.push_back("TxEmpty"); });
    port.SetOnBreak([this](TObject*) { seen.push_back("Break"); });
    port.SetOnRing([this](TObject*) { seen.push_back("Ring"); });
    port.SetOnRxFlag([this](TObject*) { seen.push_back("RxFlag"); });
    port.SetOnRx80Full([this](TObject*) { seen.push_back("Rx80Full"); });
  }
  // Holds the event thread in a synchronous call of its own; the loop delivers that batch
  // alone.
  void HoldThread() {
    port.Script->RaiseEvents(EV_RX80FULL);
    if (GetParam()) {
      ASSERT_TRUE(WaitSeen(1));
    } else {
      ASSERT_TRUE(ThreadWaitsForMain());
    }
  }
  bool WaitSeen(size_t n) {
    return loop.RunUntil([&] { return seen.size() >= n; }, 2s);
  }
};

INSTANTIATE_TEST_SUITE_P(Delivery, Dispatch, ::testing::Bool(), corvane::test::DeliveryName);

TEST(EventMask, ConvertsMemberByMember) {
  EXPECT_EQ(EventSetToMask(corvane::kAllComEvents), 1535u);
  EXPECT_EQ(EventSetToMask({evRxChar}), 1u);
  EXPECT_EQ(EventSetToMask({}), 0u);
  EXPECT_TRUE(MaskToEventSet(512).empty());
  EXPECT_EQ(MaskToEventSet(1535), corvane::kAllComEvents);
  EXPECT_EQ(MaskToEventSet(0xFFFFFFFFu), corvane::kAllComEvents);
  for (int i = 0; i < corvane::kComEventCount; ++i) {
    const TComEvents one{static_cast<TComEvent>(i)};
    EXPECT_EQ(MaskToEventSet(EventSetToMask(one)), one) << i;
  }
}

TEST_P(Dispatch, ABatchRunsErrorsFirstAndReceivedBytesBeforeDrainedOutput) {
  Record();
  port.OpenPort();
  HoldThread();
  port.Script->SetLineErrors(CE_FRAME);
  port.Script->Receive("FA;");
  port.Script->RaiseEvents(EV_ERR | EV_TXEMPTY | EV_BREAK | EV_RING | EV_RXFLAG | EV_RX80FULL);
  ASSERT_TRUE(WaitSeen(8));
  EXPECT_EQ(seen, (std::vector<std::string>{"Rx80Full", "Error1", "Rx3", "TxEmpty", "Break", "Ring",
                                            "RxFlag", "Rx80Full"}));
}

TEST_P(Dispatch, OnRxCharIsSkippedWhenAnEarlierHandlerReadTheBytes) {
  port.SetOnError([this](TObject*, TComErrors) {
    std::string text;
    port.ReadText(text, 100);
    seen.push_back("Error read " + text);
  });
  port.SetOnRxChar([this](TObject*, int32_t n) { seen.push_back("Rx" + std::to_string(n)); });
  port.SetOnRx80Full([this](TObject*) { seen.push_back("Rx80Full"); });
  port.OpenPort();
  HoldThread();
  port.Script->SetLineErrors(CE_OVERRUN);
  port.Script->Receive("IF;");
  port.Script->RaiseEvents(EV_ERR);
  ASSERT_TRUE(WaitSeen(2));
  EXPECT_EQ(seen, (std::vector<std::string>{"Rx80Full", "Error read IF;"}));
}

TEST_P(Dispatch, LineErrorsAndModemSignalsMapTheirBits) {
  port.OpenPort();
  struct ErrorCase {
    uint32_t flags;
    bool check;
    TComErrors expect;
  };
  const std::vector<ErrorCase> errors = {
      {CE_RXPARITY, false, {}},
      {CE_RXPARITY, true, {ceRxParity}},
      {CE_FRAME | CE_OVERRUN | CE_RXOVER | CE_TXFULL,
       false,
       {ceFrame, ceOverrun, ceRxOver, ceTxFull}},
      {CE_BREAK | CE_IOE | CE_MODE | 64, false, {ceBreak, ceIO, ceMode}},
  };
  for (const auto& c : errors) {
    port.Parity().SetCheck(c.check);
    port.Script->SetLineErrors(c.flags);
    EXPECT_EQ(port.LineErrors(), c.expect) << c.flags;
    EXPECT_TRUE(port.LineErrors().empty()) << "an error is reported once";
  }
  port.Script->SetModemStatus(MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON | 1 | 2 | 4 | 8);
  EXPECT_EQ(port.ModemSignals(), (TComModemSignals{msCTS, msDSR, msRing, msRLSD}));
  port.Script->SetModemStatus(MS_DSR_ON);
  EXPECT_EQ(port.ModemSignals(), (TComModemSignals{msDSR}));
}

TEST_P(Dispatch, ClosingWhileTheThreadWaitsInASynchronousCallCompletes) {
  if (GetParam()) GTEST_SKIP() << "a thread's hand-over";
  std::vector<int32_t> counts;
  port.SetOnRxChar([&](TObject*, int32_t n) { counts.push_back(n); });
  port.OpenPort();
  port.Script->Receive("FA;");
  ASSERT_TRUE(ThreadWaitsForMain());
  // Nothing served yet: the batch runs inside the close, before the device goes.
  port.ClosePort();
  EXPECT_EQ(counts, (std::vector<int32_t>{3}));
  EXPECT_FALSE(port.Connected());
  EXPECT_FALSE(port.EventThreadRunning());
  EXPECT_EQ(port.Script->OpenDevices(), 0);
}

TEST_P(Dispatch, AHandlerThatRaisesEndsMonitoringUnshownUntilReopened) {
  int calls = 0, shown = 0;
  corvane::MainThread::Instance().SetExceptionHandler([&](std::exception_ptr) { ++shown; });
  port.SetOnRxChar([&](TObject*, int32_t) {
    ++calls;
    throw std::runtime_error("handler failed");
  });
  port.OpenPort();
  port.Script->Receive("A");
  // The ending thread wakes nobody: a ticking timer lets the loop look again.
  loop.AddTimer(1ms, [] {});
  ASSERT_TRUE(loop.RunUntil([&] { return !port.EventThreadRunning(); }, 2s));
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(port.Connected()) << "the port stays open";
  EXPECT_EQ(shown, 0) << "kept, not shown";
  const int waits = port.Script->Count(FakeOp::WaitCommEvent);
  port.Script->Receive("B");
  EXPECT_EQ(port.Script->Count(FakeOp::WaitCommEvent), waits) << "nobody waits any more";

  port.ClosePort();
  EXPECT_EQ(port.Script->Last(FakeOp::PurgeComm).Arg1, PURGE_TXABORT | PURGE_RXABORT)
      << "the queues are left as they were: no purge after the raising handler";
  port.OpenPort();
  EXPECT_TRUE(port.EventThreadRunning());
  // "B" waited through the reopen: it counts as an arrival of the new monitoring.
  port.Script->Receive("C");
  ASSERT_TRUE(loop.RunUntil([&] { return calls == 2; }, 2s));
  port.ClosePort();
}

TEST_P(Dispatch, AFailedWaitEndsMonitoringWithoutSpinning) {
  port.Script->Fail(FakeOp::WaitCommEvent, EIO);
  port.OpenPort();
  // The ending thread wakes nobody: a ticking timer lets the loop look again.
  loop.AddTimer(1ms, [] {});
  ASSERT_TRUE(loop.RunUntil([&] { return !port.EventThreadRunning(); }, 2s));
  EXPECT_EQ(port.Script->Count(FakeOp::WaitCommEvent), 1);
  EXPECT_TRUE(port.Connected());
  port.ClosePort();
}

TEST_P(Dispatch, MonitoringThatCannotStartLeavesThePortOpenWithoutIt) {
  int afterOpen = 0;
  port.SetOnAfterOpen([&](TObject*) { ++afterOpen; });
  port.Script->Fail(FakeOp::SetCommMask, FakeScript::kRaise, 1);
  EXPECT_THROW(port.OpenPort(), std::runtime_error);
  EXPECT_TRUE(port.Connected());
  EXPECT_FALSE(port.EventThreadRunning());
  EXPECT_EQ(afterOpen, 0);
  port.ClosePort();
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.Script->OpenDevices(), 0);
  port.OpenPort();
  EXPECT_TRUE(port.EventThreadRunning()) << "the next open monitors again";
}

TEST_P(Dispatch, WindowMessagesRunHandlersOnlyWhileOpen) {
  port.SetSyncMethod(smWindowSync);
  Record();
  port.SetOnCTSChange([this](TObject*, bool on) { seen.push_back(on ? "CTS+" : "CTS-"); });
  port.SetOnRLSDChange([this](TObject*, bool on) { seen.push_back(on ? "RLSD+" : "RLSD-"); });
  port.OpenPort();
  seen.clear();
  port.Script->SetModemStatus(MS_RLSD_ON);
  port.Script->RaiseEvents(EV_RLSD | EV_RING);
  ASSERT_TRUE(WaitSeen(2));
  EXPECT_EQ(seen, (std::vector<std::string>{"Ring", "RLSD+"}));
  port.ClosePort();
  seen.clear();
  for (uintptr_t bit : {1u, 4u, 8u, 32u, 64u, 128u, 256u, 1024u}) {
    TCustomComPort::TMessage m;
    m.Msg = TCustomComPort::PortEventMessage;
    m.WParam = bit;
    port.PortWindowProc(m);
  }
  EXPECT_TRUE(seen.empty()) << "a message after close calls nothing";
}

TEST_P(Dispatch, LinksHearConnectionTransfersAndLineStates) {
  std::vector<std::string> heard;
  TComPortLink link;
  link.OnConn = [&](TObject*, bool on) { heard.push_back(on ? "Conn+" : "Conn-"); };
  link.OnTx = [&](TObject*, bool on) { heard.push_back(on ? "Tx+" : "Tx-"); };
  link.OnRx = [&](TObject*, bool on) { heard.push_back(on ? "Rx+" : "Rx-"); };
  link.OnTxBuf = [&](TObject*, const void* b, int32_t n) {
    heard.push_back("TxBuf " + std::string(static_cast<const char*>(b), static_cast<size_t>(n)));
  };
  link.OnCTSChange = [&](TObject*, bool on) { heard.push_back(on ? "CTS+" : "CTS-"); };
  port.SetEvents({});
  port.RegisterLink(&link);
  EXPECT_THROW(port.RegisterLink(&link), EComPort);
  port.Script->SetModemStatus(MS_CTS_ON);
  port.OpenPort();
  EXPECT_EQ(heard, (std::vector<std::string>{"Conn+", "CTS+"}));
  heard.clear();
  EXPECT_EQ(port.WriteText(""), 0);
  EXPECT_TRUE(heard.empty()) << "an empty text notifies nobody";
  port.WriteText("FA;");
  EXPECT_EQ(heard, (std::vector<std::string>{"Tx+", "TxBuf FA;"}));
  heard.clear();
  port.Script->Receive("ABCD");
  std::string text;
  port.ReadText(text, 2);
  EXPECT_TRUE(heard.empty()) << "bytes are left";
  port.ReadText(text, 2);
  EXPECT_EQ(heard, (std::vector<std::string>{"Rx-"}));
  heard.clear();
  port.ClosePort();
  EXPECT_EQ(heard, (std::vector<std::string>{"CTS-", "Conn-"}));
  port.UnRegisterLink(&link);
  EXPECT_THROW(port.UnRegisterLink(&link), EComPort);
}

TEST_P(Dispatch, WithoutTriggeringOnRxCharThePortReadsTheBytesForOnRxBufOrLosesThem) {
  for (const bool rxBuf : {true, false}) {
    SCOPED_TRACE(rxBuf ? "OnRxBuf assigned" : "OnRxBuf unassigned");
    std::string buffers;
    int rxChar = 0;
    ScriptedPort p;  // after what its handlers write to
    p.SetLoopDelivery(GetParam());
    p.SetTriggersOnRxChar(false);
    if (rxBuf) {
      p.SetOnRxBuf([&](TObject*, const void* b, int32_t n) {
        buffers.append(static_cast<const char*>(b), static_cast<size_t>(n));
      });
    }
    p.SetOnRxChar([&](TObject*, int32_t) { ++rxChar; });
    p.OpenPort();
    p.Script->Receive("FA;");
    ASSERT_TRUE(loop.RunUntil([&] { return p.Script->Count(FakeOp::StartRead) == 1; }, 2s));
    EXPECT_EQ(buffers, rxBuf ? "FA;" : "");
    EXPECT_EQ(rxChar, 0);
    EXPECT_EQ(p.InQueueCount(), 0);
  }
}

TEST_P(Dispatch, AReceivedBatchAsksTheDeviceForItsInputOnceWhenNoLinkListens) {
  std::string text;
  port.SetOnRxChar([&](TObject*, int32_t n) { port.ReadText(text, n); });
  port.OpenPort();
  port.Script->Receive("FA;");
  ASSERT_TRUE(loop.RunUntil([&] { return text == "FA;"; }, 2s));
  const auto ops = port.Script->Ops();
  EXPECT_EQ(std::count(ops.begin(), ops.end(), FakeOp::ClearCommError), 1)
      << "the count before the read; after it nobody wants one";
}

TEST_P(Dispatch, AReadTakesPendingLineErrorsAlong) {
  port.SetEvents({});
  port.OpenPort();
  port.Script->SetLineErrors(CE_FRAME);
  port.Script->Receive("FA;");
  std::string text;
  port.ReadText(text, 3);
  EXPECT_TRUE(port.LineErrors().empty()) << "the read took the frame error along";
  port.Script->Receive("FB;");
  port.Script->Fail(FakeOp::DropLineErrors, EIO, 1);
  try {
    port.ReadText(text, 3);
    ADD_FAILURE() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ComErrorCode(), CE_ClearComFailed + 1);
    EXPECT_EQ(e.SystemError(), EIO);
  }
}

TEST_P(Dispatch, AWaitThatRaisesWhileABatchIsQueuedStillLetsThePortClose) {
  if (GetParam()) GTEST_SKIP() << "a thread's hand-over";
  std::vector<int32_t> counts;
  port.SetOnRxChar([&](TObject*, int32_t n) { counts.push_back(n); });
  port.OpenPort();
  // The failure is for the wait that follows the batch: the first wait is under way.
  ASSERT_TRUE(Unserved([&] { return port.Script->Count(FakeOp::WaitCommEvent) == 1; }));
  port.Script->Fail(FakeOp::WaitCommEvent, FakeScript::kRaise);
  port.Script->Receive("FA;");
  ASSERT_TRUE(ThreadWaitsForMain());
  ASSERT_TRUE(Unserved([&] { return port.Script->Count(FakeOp::WaitCommEvent) == 2; }));
  port.ClosePort();
  EXPECT_EQ(counts, (std::vector<int32_t>{3})) << "the queued batch completes inside the close";
  EXPECT_FALSE(port.Connected());
}

TEST_P(Dispatch, AStopWinsOverABatchNotYetHandedOver) {
  if (GetParam()) GTEST_SKIP() << "a thread's hand-over";
  std::vector<int32_t> counts;
  port.SetOnRxChar([&](TObject*, int32_t n) { counts.push_back(n); });
  port.OpenPort();
  port.Script->Receive("A");
  ASSERT_TRUE(ThreadWaitsForMain());
  // The thread waits again while its batch is queued; this arrival ends that wait, and the
  // batch it makes waits for the first to be delivered.
  port.Script->Receive("B");
  ASSERT_TRUE(Unserved([&] { return port.Script->PendingEvents() == 0; }));
  port.ClosePort();
  EXPECT_EQ(counts, (std::vector<int32_t>{2})) << "only the batch being delivered ran";
}

}  // namespace
