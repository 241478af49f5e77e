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
#include "tests/cport/support/pty_line.h"

namespace {

using namespace std::chrono_literals;
using corvane::test::PtyLine;

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

EComPort RaisedBy(const std::function<void()>& call) {
  try {
    call();
  } catch (const EComPort& e) {
    return e;
  }
  ADD_FAILURE() << "no EComPort raised";
  return EComPort(0);
}

class PtyData : public ::testing::Test {
 protected:
  void SetUp() override {
    corvane::MainThread::Instance().Attach();
    port.SetPort(pty.SlavePath());
  }
  PtyLine pty;
  corvane::EventLoop loop;
  TComPort port;
};

TEST_F(PtyData, WriteTextReachesThePeerAndEmptyTextSendsNothing) {
  port.SetEvents({});
  port.OpenPort();
  EXPECT_EQ(port.WriteText(""), 0);
  const std::string text("FA;\0\xff\x80;", 8);
  EXPECT_EQ(port.WriteText(text), 8);
  EXPECT_EQ(ReadFor(pty.Master(), 8), text);
}

TEST_F(PtyData, ReadTextReturnsWhatHasArrivedAtMost) {
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

TEST_F(PtyData, ClosedPortRaisesPortNotOpen) {
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

}  // namespace
