// The tty backend's event wait and transfer timeouts on real pseudo-terminals.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "cport/cport.h"
#include "cport/platform/device.h"
#include "rt/event_loop.h"
#include "rt/main_thread.h"
#include "tests/cport/support/port_on_pty.h"
#include "tests/cport/support/pty_line.h"

namespace {

using namespace std::chrono_literals;
using namespace corvane::platform;
using corvane::test::PtyLine;

class TtyEvents : public corvane::test::PortOnPtyEitherWay {};

INSTANTIATE_TEST_SUITE_P(Delivery, TtyEvents, ::testing::Bool(), corvane::test::DeliveryName);

TEST_P(TtyEvents, DrainedOutputRaisesTxEmpty) {
  int empties = 0;
  port.SetOnTxEmpty([&](TObject*) { ++empties; });
  port.OpenPort();
  port.WriteText("FA;");
  ASSERT_TRUE(loop.RunUntil([&] { return empties >= 1; }, 2s));
}

TEST_P(TtyEvents, AVanishedDeviceEndsMonitoringReportedOnceAndStillCloses) {
  int reports = 0;
  corvane::MainThread::Instance().SetExceptionHandler([&](std::exception_ptr) { ++reports; });
  port.OpenPort();
  ASSERT_TRUE(port.EventThreadRunning());
  pty.CloseMaster();
  // The ending thread wakes nobody: a ticking timer lets the loop look again.
  loop.AddTimer(1ms, [] {});
  const bool ended =
      loop.RunUntil([&] { return reports > 0 && !port.EventThreadRunning(); }, 2s);
  // The hang-up stays: a watch or wait that kept reporting it would show here.
  loop.RunUntil([] { return false; }, 50ms);
  corvane::MainThread::Instance().SetExceptionHandler(nullptr);
  ASSERT_TRUE(ended);
  EXPECT_EQ(reports, 1);
  EXPECT_TRUE(port.Connected());
  std::string text;
  EXPECT_THROW(port.ReadText(text, 4), EComPort);
  port.ClosePort();
  EXPECT_FALSE(port.Connected());
}

TEST_P(TtyEvents, ReadTimeoutsFollowTheDeviceRules) {
  port.SetEvents({});
  port.OpenPort();
  struct Case {
    const char* name;
    int32_t interval, multiplier, constant;
    std::string arrived;
    int32_t count;
    std::string expect;
  };
  const Case cases[] = {
      {"first byte or the constant: nothing comes", -1, -1, 30, "", 8, ""},
      {"first byte or the constant: bytes wait", -1, -1, 1000, "ab", 8, "ab"},
      {"total timeout ends a short read", 0, 0, 30, "abc", 8, "abc"},
      {"count reached before the total", 0, 10, 5000, "abcd", 4, "abcd"},
      {"interval after the first byte", 20, 0, 0, "xyz", 8, "xyz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    port.BeginSettingsUpdate();
    port.Timeouts().SetReadInterval(c.interval);
    port.Timeouts().SetReadTotalMultiplier(c.multiplier);
    port.Timeouts().SetReadTotalConstant(c.constant);
    port.EndSettingsUpdate();
    if (!c.arrived.empty()) {
      ASSERT_EQ(write(pty.Master(), c.arrived.data(), c.arrived.size()),
                static_cast<ssize_t>(c.arrived.size()));
    }
    std::string text;
    EXPECT_EQ(port.ReadText(text, c.count), static_cast<int32_t>(c.expect.size()));
    EXPECT_EQ(text, c.expect);
  }
}

TEST_P(TtyEvents, AWriteToAPeerThatStopsReadingEndsAtTheWriteTimeoutWithWhatWasSent) {
  port.SetEvents({});
  port.Timeouts().SetWriteTotalMultiplier(0);
  port.Timeouts().SetWriteTotalConstant(200);
  port.OpenPort();
  // Nobody reads the master: the line's buffers fill and the rest of the text must wait.
  const std::string text(1 << 20, 'x');
  const int32_t sent = port.WriteText(text);
  EXPECT_GT(sent, 0);
  EXPECT_LT(sent, static_cast<int32_t>(text.size()));
  // A full line takes nothing more; the write still ends instead of hanging.
  EXPECT_EQ(port.WriteText("FA;"), 0);

  // What the count says was sent is exactly what the peer gets.
  std::string got;
  char buffer[4096];
  for (;;) {
    pollfd in{pty.Master(), POLLIN, 0};
    if (::poll(&in, 1, 200) <= 0) break;
    const ssize_t n = ::read(pty.Master(), buffer, sizeof buffer);
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  EXPECT_EQ(got, text.substr(0, static_cast<size_t>(sent)));
}

TEST(TtyTransfer, PurgeWithAbortEndsAPendingRead) {
  PtyLine pty;
  std::unique_ptr<Device> device;
  ASSERT_EQ(OpenDevice(pty.SlavePath(), device), 0);
  ASSERT_EQ(device->SetCommTimeouts(CommTimeouts{}), 0);  // all zero: wait for every byte
  char buf[4];
  Transfer t;
  t.Buffer = buf;
  t.Count = sizeof buf;
  ASSERT_EQ(device->StartRead(t), 0);
  ASSERT_TRUE(t.Pending);
  std::thread purger([&] { device->PurgeComm(PURGE_RXABORT | PURGE_TXABORT); });
  EXPECT_EQ(device->AwaitTransfer(t), ECANCELED);
  purger.join();
  EXPECT_FALSE(t.Pending);
  // A later transfer is not ended by the old purge.
  ASSERT_EQ(write(pty.Master(), "ok", 2), 2);
  ASSERT_EQ(device->SetCommTimeouts(CommTimeouts{0, 0, 2000, 0, 0}), 0);
  t = Transfer{};
  t.Buffer = buf;
  t.Count = 2;
  ASSERT_EQ(device->StartRead(t), 0);
  EXPECT_EQ(device->AwaitTransfer(t), 0);
  EXPECT_EQ(std::string(buf, t.Done), "ok");
}

TEST(TtyWait, ReportsTheDrainedOutputOnlyWhileItIsTracked) {
  struct Case {
    const char* name;
    uint32_t quiet;
    uint32_t reported;  // what the looks after a write and an arrival report in all
  };
  const Case cases[] = {{"tracked", 0, EV_TXEMPTY | EV_RXCHAR}, {"quiet", EV_TXEMPTY, EV_RXCHAR}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PtyLine pty;
    std::unique_ptr<Device> device;
    ASSERT_EQ(OpenDevice(pty.SlavePath(), device), 0);
    ASSERT_EQ(device->SetCommMask(EV_RXCHAR | EV_TXEMPTY), 0);
    device->SetQuietEvents(c.quiet);
    Transfer t;
    t.Kind = TransferKind::Write;
    t.Data = "FA;";
    t.Count = 3;
    ASSERT_EQ(device->StartWrite(t), 0);
    ASSERT_EQ(device->AwaitTransfer(t), 0);
    ASSERT_EQ(write(pty.Master(), "x", 1), 1);
    // The drain is reported by its own helper, so the two may come in either order.
    uint32_t reported = 0;
    const auto end = std::chrono::steady_clock::now() + 2s;
    while (reported != c.reported && std::chrono::steady_clock::now() < end) {
      reported |= device->PollCommEvent();
    }
    EXPECT_EQ(reported, c.reported);
  }
}

TEST(TtyWait, ALookWithoutWaitingReportsAnArrivalOnce) {
  PtyLine pty;
  std::unique_ptr<Device> device;
  ASSERT_EQ(OpenDevice(pty.SlavePath(), device), 0);
  ASSERT_EQ(device->SetCommMask(EV_RXCHAR), 0);
  EXPECT_EQ(device->PollCommEvent(), 0u) << "nothing came";
  ASSERT_EQ(write(pty.Master(), "x", 1), 1);
  uint32_t seen = 0;
  const auto until = std::chrono::steady_clock::now() + 2s;
  while (seen == 0 && std::chrono::steady_clock::now() < until) seen = device->PollCommEvent();
  EXPECT_EQ(seen, EV_RXCHAR);
  EXPECT_EQ(device->PollCommEvent(), 0u) << "the unread byte is no new arrival";
}

// Whether the thread sleeps in the kernel, as a waiter blocked in its wait does.
bool Sleeping(pid_t tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string text;
  std::getline(stat, text);
  const size_t close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'S';
}

TEST(TtyWait, EndsOnEachNewStopSignalOfTheSameDevice) {
  PtyLine pty;
  std::unique_ptr<Device> device;
  ASSERT_EQ(OpenDevice(pty.SlavePath(), device), 0);
  ASSERT_EQ(device->SetCommMask(EV_RXCHAR), 0);
  // Each signal goes before the next is made, so the next may get its descriptor number.
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE(round);
    auto stop = std::make_unique<StopSignal>();
    std::atomic<pid_t> tid{0};
    std::atomic<bool> ended{false};
    WaitResult r;
    std::thread waiter([&] {
      tid = static_cast<pid_t>(syscall(SYS_gettid));
      r = device->WaitCommEvent(*stop);
      ended = true;
    });
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (!(tid != 0 && Sleeping(tid)) && std::chrono::steady_clock::now() < until) {
      std::this_thread::yield();
    }
    stop->Set();
    while (!ended && std::chrono::steady_clock::now() < until + 2s) std::this_thread::yield();
    const bool stoppedInTime = ended;
    if (!stoppedInTime) {
      ASSERT_EQ(write(pty.Master(), "x", 1), 1);  // frees the waiter
    }
    waiter.join();
    EXPECT_TRUE(stoppedInTime);
    EXPECT_EQ(r.Outcome, WaitResult::Stopped);
  }
}

}  // namespace
