// RTS toggle on the tty backend. A pseudo-terminal has no RTS line, so this program stands
// in for a driver that has one: it takes the process's RTS requests and the writes on the
// same descriptor, in the order they reach the kernel.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdarg>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cport/platform/device.h"
#include "tests/cport/support/pty_line.h"

namespace {

std::mutex g_mutex;
std::condition_variable g_noted;
std::vector<std::string> g_line;  // "up", "write", "down"
int g_fd = -1;                    // the descriptor whose RTS was asked for

void Note(int fd, const char* what) {
  std::lock_guard lock(g_mutex);
  g_fd = fd;
  g_line.emplace_back(what);
  g_noted.notify_all();
}

std::vector<std::string> Line() {
  std::lock_guard lock(g_mutex);
  return g_line;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  if ((request == TIOCMBIS || request == TIOCMBIC) && (*static_cast<int*>(arg) & TIOCM_RTS)) {
    Note(fd, request == TIOCMBIS ? "up" : "down");
    return 0;
  }
  using Real = int (*)(int, unsigned long, ...);
  static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "ioctl"));
  return real(fd, request, arg);
}

extern "C" ssize_t write(int fd, const void* data, size_t count) {
  using Real = ssize_t (*)(int, const void*, size_t);
  static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "write"));
  bool watched;
  {
    std::lock_guard lock(g_mutex);
    watched = fd == g_fd;
  }
  if (watched) Note(fd, "write");
  return real(fd, data, count);
}

namespace {

using namespace corvane::platform;
using namespace std::chrono_literals;

TEST(RtsToggle, RaisesRtsForEachWriteAndDropsItOnceTheBytesHaveLeft) {
  struct Case {
    const char* name;
    uint32_t rts_control;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"toggle", RTS_CONTROL_TOGGLE, {"up", "write", "down"}},
      // Raised once by the line's set-up; the write leaves it alone.
      {"held on", RTS_CONTROL_ENABLE, {"write"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    corvane::test::PtyLine pty;
    std::unique_ptr<Device> device;
    ASSERT_EQ(OpenDevice(pty.SlavePath(), device), 0);
    Dcb dcb;
    dcb.DCBlength = kDcbSize;
    dcb.BaudRate = 9600;
    dcb.Flags = 1 | c.rts_control;  // binary
    dcb.ByteSize = 8;
    ASSERT_EQ(device->SetCommState(dcb), 0);
    {
      std::lock_guard lock(g_mutex);
      g_line.clear();  // opening and setting up the line are not what is looked at
    }
    Transfer t;
    t.Kind = TransferKind::Write;
    t.Data = "TX1;";
    t.Count = 4;
    ASSERT_EQ(device->StartWrite(t), 0);
    ASSERT_EQ(device->AwaitTransfer(t), 0);
    char got[8] = {};
    EXPECT_EQ(read(pty.Master(), got, sizeof got), 4);
    // The drop comes from the drain's own thread once the output queue is empty.
    {
      std::unique_lock lock(g_mutex);
      g_noted.wait_for(lock, 2s, [&] { return g_line.size() >= c.expected.size(); });
    }
    EXPECT_EQ(Line(), c.expected);
    device->Close();
    std::lock_guard lock(g_mutex);
    g_fd = -1;
  }
}

}  // namespace
