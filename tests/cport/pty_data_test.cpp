// Bytes through the port on real pseudo-terminals: the far end writes on the master side,
// the port reads and writes the slave.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "cport/cport.h"
#include "rt/event_loop.h"
#include "rt/main_thread.h"
#include "tests/cport/support/port_on_pty.h"
#include "tests/cport/support/pty_line.h"

namespace {

using namespace std::chrono_literals;
using corvane::test::PtyLine;
using corvane::test::RaisedBy;

void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    ASSERT_GT(n, 0);
    done += static_cast<size_t>(n);
  }
}

// Reads from fd until want bytes have come or the deadline has passed.
std::string ReadFor(int fd, size_t want, std::chrono::milliseconds deadline = 2s) {
  std::string got;
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (got.size() < want && std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) == 1 && (p.revents & POLLIN)) {
      char buf[256];
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n > 0) got.append(buf, static_cast<size_t>(n));
    }
  }
  return got;
}

// Waits until the port has count bytes waiting, so a read sees all of them.
bool WaitInQueue(TComPort& port, int32_t count) {
  const auto end = std::chrono::steady_clock::now() + 2s;
  while (std::chrono::steady_clock::now() < end) {
    if (port.InQueueCount() >= count) return true;
    pollfd none{-1, 0, 0};
    poll(&none, 0, 1);
  }
  return false;
}

class PtyData : public corvane::test::PortOnPtyEitherWay {};

INSTANTIATE_TEST_SUITE_P(Delivery, PtyData, ::testing::Bool(), corvane::test::DeliveryName);

TEST_P(PtyData, WriteTextReachesThePeerAndEmptyTextSendsNothing) {
  port.SetEvents({});
  port.OpenPort();
  EXPECT_EQ(port.WriteText(""), 0);
  const std::string text("FA;\0\xff\x80;", 8);
  EXPECT_EQ(port.WriteText(text), 8);
  EXPECT_EQ(ReadFor(pty.Master(), 8), text);
}

TEST_P(PtyData, ReadTextReturnsWhatHasArrivedAtMost) {
  port.SetEvents({});
  port.OpenPort();
  struct Case {
    std::string arrive;
    int32_t count;
    std::string expect;
  };
  const std::vector<Case> cases = {
      {"", 5, ""},                    // nothing received: at once, empty
      {"IF;", 0, ""},                 // Count 0 reads nothing
      {"", -3, ""},                   // nor does a negative one
      {"", 10, "IF;"},                // more than has arrived: what has
      {"FA00014074000;", 4, "FA00"},  // fewer: exactly those
      {"", 100, "014074000;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expect);
    WriteAll(pty.Master(), c.arrive);
    if (!c.arrive.empty()) {
      ASSERT_TRUE(WaitInQueue(port, static_cast<int32_t>(c.arrive.size())));
    }
    std::string text = "stale";
    EXPECT_EQ(port.ReadText(text, c.count), static_cast<int32_t>(c.expect.size()));
    EXPECT_EQ(text, c.expect);
  }
}

TEST_P(PtyData, ClosedPortRaisesPortNotOpen) {
  std::string text;
  for (auto call : std::vector<std::function<void()>>{[&] { port.ReadText(text, 4); },
                                                      [&] { port.WriteText("FA;"); }}) {
    const EComPort e = RaisedBy(call);
    EXPECT_EQ(e.ComErrorCode(), 24);
    EXPECT_EQ(e.SystemError(), -1);
    EXPECT_STREQ(e.what(), "Port Not Open");
  }
  EXPECT_EQ(RaisedBy([&] { port.InQueueCount(); }).ComErrorCode(), 10);
  EXPECT_EQ(RaisedBy([&] { port.LineErrors(); }).ComErrorCode(), 10);
  EXPECT_EQ(RaisedBy([&] { port.ModemSignals(); }).ComErrorCode(), 11);
}

TEST_P(PtyData, ArrivalsReachOnRxCharOnTheMainThreadWithTheWaitingCount) {
  std::vector<std::string> got;
  std::vector<int32_t> counts;
  bool offMain = false;
  port.SetOnRxChar([&](TObject*, int32_t count) {
    offMain |= !corvane::MainThread::Instance().IsMainThread();
    counts.push_back(count);
    std::string text;
    port.ReadText(text, count);
    got.push_back(text);
  });
  // A first open puts the line in raw mode, so the far end's bytes are not echoed.
  port.SetEvents({});
  port.OpenPort();
  port.ClosePort();
  // Bytes that wait before monitoring starts count as an arrival.
  WriteAll(pty.Master(), "ID;");
  port.SetEvents(corvane::kAllComEvents);
  port.OpenPort();
  std::string joined;
  auto received = [&] {
    joined.clear();
    for (const auto& g : got) joined += g;
    return joined;
  };
  ASSERT_TRUE(loop.RunUntil([&] { return received() == "ID;"; }, 2s)) << received();
  WriteAll(pty.Master(), "FA;FB;");
  ASSERT_TRUE(loop.RunUntil([&] { return received() == "ID;FA;FB;"; }, 2s)) << received();
  EXPECT_FALSE(offMain);
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(counts[i], static_cast<int32_t>(got[i].size()));

  // The handler's own answer reaches the peer.
  EXPECT_EQ(port.WriteText("FA00007000000;"), 14);
  EXPECT_EQ(ReadFor(pty.Master(), 14), "FA00007000000;");
  port.ClosePort();
  EXPECT_FALSE(port.EventThreadRunning());
}

TEST_P(PtyData, UnreadBytesRaiseOneEventAndLaterArrivalsAnother) {
  int calls = 0;
  port.SetOnRxChar([&](TObject*, int32_t) { ++calls; });  // reads nothing
  port.OpenPort();
  auto cpuMs = [] {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
  };
  WriteAll(pty.Master(), "A");
  ASSERT_TRUE(loop.RunUntil([&] { return calls == 1; }, 2s));
  // The unread byte does not raise further events, and whoever watches the line waits
  // for the next arrival: it does not spin on a line that stays readable.
  const double before = cpuMs();
  loop.RunUntil([] { return false; }, 300ms);
  EXPECT_LT(cpuMs() - before, 100.0);
  WriteAll(pty.Master(), "B");
  ASSERT_TRUE(loop.RunUntil([&] { return calls == 2; }, 2s));
  EXPECT_EQ(port.InQueueCount(), 2);
  EXPECT_TRUE(port.EventThreadRunning());
  // Once read, the next arrival is heard as before.
  std::string text;
  port.ReadText(text, 2);
  WriteAll(pty.Master(), "C");
  ASSERT_TRUE(loop.RunUntil([&] { return calls == 3; }, 2s));
}

TEST_P(PtyData, ClosingAndReopeningWhileBytesArriveKeepsDelivering) {
  std::string received;
  port.SetOnRxChar([&](TObject*, int32_t count) {
    std::string text;
    port.ReadText(text, count);
    received += text;
  });
  port.OpenPort();
  for (int round = 0; round < 20; ++round) {
    WriteAll(pty.Master(), "X;");
    port.ClosePort();
    port.OpenPort();
  }
  WriteAll(pty.Master(), "END;");
  ASSERT_TRUE(loop.RunUntil([&] { return received.find("END;") != std::string::npos; }, 2s));
}

}  // namespace
