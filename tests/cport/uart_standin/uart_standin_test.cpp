// The tty backend against a UART. A pseudo-terminal has no modem lines and no line
// counters, its output queue reads empty and its drain returns at once, so this program
// stands in for a driver that has them: it takes the process's RTS and DTR requests, its
// writes on the same descriptor, the output queue's count and the drain (holding the output
// unsent until the test lets it go), the modem lines, the driver's counters and its wait for
// a line change.
#include <dlfcn.h>
#include <linux/serial.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <cstdarg>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cport/platform/device.h"
#include "cport/platform/posix_device.h"
#include "tests/cport/support/pty_line.h"

namespace {

std::mutex g_mutex;
std::condition_variable g_noted;
std::vector<std::string> g_line;  // "up", "write", "drain", "down"
int g_fd = -1;                    // the descriptor the port writes on
int g_outQueue = 0;               // what TIOCOUTQ reads there
bool g_failDtr = false;
int g_lines = 0;                   // what TIOCMGET reads there
serial_icounter_struct g_counts{};  // what TIOCGICOUNT reads there
bool g_lineWait = true;            // whether TIOCMIWAIT is there
const int g_changed = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);  // readable after a line change
const int g_sent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);  // readable once the held output has left

void Note(int fd, const char* what) {
  std::lock_guard lock(g_mutex);
  g_fd = fd;
  g_line.emplace_back(what);
  g_noted.notify_all();
}

bool Watched(int fd) {
  std::lock_guard lock(g_mutex);
  return fd == g_fd;
}

std::vector<std::string> Log() {
  std::lock_guard lock(g_mutex);
  return g_line;
}

bool Noted(size_t n) {
  std::unique_lock lock(g_mutex);
  return g_noted.wait_for(lock, std::chrono::seconds(2), [&] { return g_line.size() >= n; });
}

// Holds the next write's bytes in the driver: queued (count > 0) or in the shift register
// (count 0, the drain still waiting).
void HoldOutput(int queued) {
  uint64_t n = 0;
  [[maybe_unused]] auto r = read(g_sent, &n, sizeof n);  // non-blocking: drop an old release
  std::lock_guard lock(g_mutex);
  g_outQueue = queued;
}

void LetOutputGo() {
  {
    std::lock_guard lock(g_mutex);
    g_outQueue = 0;
  }
  const uint64_t one = 1;
  [[maybe_unused]] auto w = write(g_sent, &one, sizeof one);
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  if (request == TIOCMBIS || request == TIOCMBIC) {
    const int lines = *static_cast<int*>(arg);
    if ((lines & TIOCM_DTR) && g_failDtr) {
      errno = EIO;
      return -1;
    }
    if (lines & TIOCM_RTS) {
      Note(fd, request == TIOCMBIS ? "up" : "down");
      return 0;
    }
  }
  if (Watched(fd)) {
    std::unique_lock lock(g_mutex);
    switch (request) {
      case TIOCOUTQ:
        *static_cast<int*>(arg) = g_outQueue;
        return 0;
      case TIOCMGET:
        *static_cast<int*>(arg) = g_lines;
        return 0;
      case TIOCGICOUNT:
        *static_cast<serial_icounter_struct*>(arg) = g_counts;
        return 0;
      case TIOCMIWAIT: {
        if (!g_lineWait) {
          errno = EINVAL;
          return -1;
        }
        lock.unlock();
        // The backend's interruption (a signal) ends it with EINTR, as it would the driver's.
        pollfd p{g_changed, POLLIN, 0};
        if (poll(&p, 1, -1) < 0) return -1;
        uint64_t n = 0;
        [[maybe_unused]] auto r = read(g_changed, &n, sizeof n);
        return 0;
      }
      default:
        break;
    }
  }
  using Real = int (*)(int, unsigned long, ...);
  static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "ioctl"));
  return real(fd, request, arg);
}

extern "C" ssize_t write(int fd, const void* data, size_t count) {
  using Real = ssize_t (*)(int, const void*, size_t);
  static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "write"));
  if (Watched(fd)) Note(fd, "write");
  return real(fd, data, count);
}

// Returns once the held output has left; the backend's interruption (a signal) ends it
// with EINTR, as it would a driver's drain.
extern "C" int tcdrain(int fd) {
  if (!Watched(fd)) return 0;
  Note(fd, "drain");
  pollfd p{g_sent, POLLIN, 0};
  if (poll(&p, 1, -1) < 0) return -1;
  return 0;
}

namespace {

using namespace corvane::platform;
using namespace std::chrono_literals;

class UartStandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(OpenDevice(pty.SlavePath(), device), 0);
    // The stand-in is the driver of the device's own descriptor from its open on: a line with
    // modem lines, looked at again by the next mask.
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ignored)) {
      if (std::filesystem::read_symlink(entry.path(), ignored) == pty.SlavePath()) {
        std::lock_guard lock(g_mutex);
        g_fd = std::stoi(entry.path().filename().string());
      }
    }
    ASSERT_EQ(device->SetCommMask(0), 0);
  }
  void TearDown() override {
    LetOutputGo();
    device->Close();
    std::lock_guard lock(g_mutex);
    g_fd = -1;
    g_line.clear();
    g_failDtr = false;
    g_lines = 0;
    g_counts = {};
    g_lineWait = true;
  }
  static Dcb Line(uint32_t flags, uint32_t rate = 9600) {
    Dcb dcb;
    dcb.DCBlength = kDcbSize;
    dcb.BaudRate = rate;
    dcb.Flags = kDcbBinary | flags;
    dcb.ByteSize = 8;
    return dcb;
  }
  void Write(const char* text) {
    Transfer t;
    t.Kind = TransferKind::Write;
    t.Data = text;
    t.Count = static_cast<uint32_t>(std::char_traits<char>::length(text));
    ASSERT_EQ(device->StartWrite(t), 0);
    ASSERT_EQ(device->AwaitTransfer(t), 0);
  }
  // Opening and setting up the line are not what is looked at.
  static void Forget() {
    std::lock_guard lock(g_mutex);
    g_line.clear();
  }
  corvane::test::PtyLine pty;
  std::unique_ptr<Device> device;
};

TEST_F(UartStandIn, RtsToggleDropsRtsOnlyOnceTheBytesHaveLeft) {
  struct Case {
    const char* name;
    uint32_t rts_control;
    bool setAgainWhileSending;
    std::vector<std::string> whileHeld, after;
  };
  const Case cases[] = {
      {"toggle", RTS_CONTROL_TOGGLE, false, {"up", "write", "drain"}, {"up", "write", "drain", "down"}},
      // The line set again mid-frame must not cut it.
      {"toggle, set again", RTS_CONTROL_TOGGLE, true, {"up", "write", "drain"},
       {"up", "write", "drain", "down"}},
      // Raised once by the line's set-up; the write leaves it alone.
      {"held on", RTS_CONTROL_ENABLE, false, {"write"}, {"write"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(device->SetCommState(Line(c.rts_control)), 0);
    Forget();
    HoldOutput(4);
    Write("TX1;");
    ASSERT_TRUE(Noted(c.whileHeld.size()));
    if (c.setAgainWhileSending) {
      ASSERT_EQ(device->SetCommState(Line(c.rts_control)), 0);
    }
    EXPECT_EQ(Log(), c.whileHeld);
    LetOutputGo();
    ASSERT_TRUE(Noted(c.after.size()));
    EXPECT_EQ(Log(), c.after);
    Forget();
  }
}

TEST_F(UartStandIn, TxEmptyComesOnceTheLineIsIdleAndReachesAWatcherAddedMeanwhile) {
  struct Case {
    const char* name;
    int queued;             // what the queue count reads while the bytes are held
    bool watchedAtTheWrite;  // else the drain is watched only after the write
  };
  const Case cases[] = {
      {"queue empty, last byte still sending", 0, true},
      {"watched from after the write", 4, false},
  };
  ASSERT_EQ(device->SetCommState(Line(0)), 0);
  device->SetCommMask(EV_TXEMPTY);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    device->SetQuietEvents(c.watchedAtTheWrite ? 0 : EV_TXEMPTY);
    HoldOutput(c.queued);
    Forget();
    Write("FA;");
    if (!c.watchedAtTheWrite) device->SetQuietEvents(0);
    ASSERT_TRUE(Noted(2)) << "the drain has begun";
    EXPECT_EQ(device->PollCommEvent() & EV_TXEMPTY, 0u) << "not while the bytes are held";
    LetOutputGo();
    const auto end = std::chrono::steady_clock::now() + 2s;
    uint32_t seen = 0;
    while (!(seen & EV_TXEMPTY) && std::chrono::steady_clock::now() < end) {
      seen |= device->PollCommEvent();
    }
    EXPECT_NE(seen & EV_TXEMPTY, 0u);
  }
}

TEST_F(UartStandIn, ARefusedModemLineKeepsThePreviousLineSettings) {
  ASSERT_EQ(device->SetCommState(Line(DTR_CONTROL_ENABLE, 9600)), 0);
  g_failDtr = true;
  EXPECT_EQ(device->SetCommState(Line(DTR_CONTROL_ENABLE, 19200)), EIO);
  EXPECT_EQ(pty.Line().ospeed, 9600u);
}

// Modem-line changes, breaks and line errors come from the driver's lines and counters:
// changes waited for where the driver can wait, sampled where it cannot; the counters are
// looked at as bytes come in.
TEST_F(UartStandIn, LineChangesAndErrorsComeFromTheDriversLinesAndCounters) {
  struct Case {
    const char* name;
    bool lineWait;
    void (*change)(serial_icounter_struct&, int&);
    bool arrival;  // a byte comes in with the change
    uint32_t events;
    uint32_t errors;  // what the count then takes
  };
  const Case cases[] = {
      {"CTS rises, waited for", true,
       [](serial_icounter_struct& c, int& l) { ++c.cts, l |= TIOCM_CTS; }, false, EV_CTS, 0},
      {"DSR and carrier rise, sampled", false,
       [](serial_icounter_struct& c, int& l) { ++c.dsr, ++c.dcd, l |= TIOCM_DSR | TIOCM_CD; },
       false, EV_DSR | EV_RLSD, 0},
      {"a ring ended", true, [](serial_icounter_struct& c, int&) { ++c.rng; }, false, EV_RING, 0},
      {"a frame error and an overrun", true,
       [](serial_icounter_struct& c, int&) { ++c.frame, ++c.overrun; }, true, EV_ERR,
       CE_FRAME | CE_OVERRUN},
      {"a break", true, [](serial_icounter_struct& c, int&) { ++c.brk; }, true, EV_BREAK,
       CE_BREAK},
  };
  constexpr uint32_t kWatched = EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_ERR | EV_BREAK;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    device->Close();
    ASSERT_EQ(OpenDevice(pty.SlavePath(), device), 0);
    {
      std::lock_guard lock(g_mutex);
      g_fd = static_cast<PosixDevice*>(device.get())->Fd();
      g_lineWait = c.lineWait;
    }
    ASSERT_EQ(device->SetCommMask(kWatched), 0);
    {
      std::lock_guard lock(g_mutex);
      c.change(g_counts, g_lines);
    }
    const uint64_t one = 1;
    ASSERT_EQ(write(g_changed, &one, sizeof one), 8);
    if (c.arrival) {
      ASSERT_EQ(write(pty.Master(), "x", 1), 1);
    }
    uint32_t seen = 0;
    const auto end = std::chrono::steady_clock::now() + 2s;
    while ((seen & c.events) != c.events && std::chrono::steady_clock::now() < end) {
      seen |= device->PollCommEvent();
    }
    EXPECT_EQ(seen, c.events);
    uint32_t errors = 0;
    ComStat stat;
    ASSERT_EQ(device->ClearCommError(errors, stat), 0);
    EXPECT_EQ(errors, c.errors);
    uint64_t n = 0;
    [[maybe_unused]] auto r = read(g_changed, &n, sizeof n);
  }
}

}  // namespace
