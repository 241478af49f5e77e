// corvane-relay-floor PORTA PORTB PORTO: the least a relay with the bridge's routing can cost.
// One thread and one epoll set over the three lines, the watchdog's tick and the stop
// signals; the bridge's own router object does the routing. The bridge benchmark runs it in
// the same run as the bridge, so every figure has its floor beside it. SIGINT or SIGTERM
// ends it with status 0; a line that fails ends it with status 1.
#include <signal.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <system_error>

#include "app/bridge_constants.h"
#include "app/router/router.h"
#include "tools/relay_floor/floor_lines.h"

namespace {

using namespace corvane;

int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void Check(bool ok, const char* what) {
  if (!ok) throw std::system_error(errno, std::generic_category(), what);
}

// What each descriptor of the epoll set stands for: lines 0..2, then these.
enum : uint64_t { kTick = 3, kStop = 4 };

void Watch(int epoll, int fd, uint64_t tag) {
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = tag;
  Check(epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &ev) == 0, "epoll_ctl");
}

int Relay(const std::string& a, const std::string& b, const std::string& rig) {
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  Check(sigprocmask(SIG_BLOCK, &stops, nullptr) == 0, "sigprocmask");
  signal(SIGPIPE, SIG_IGN);
  const UniqueFd stop(signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK));
  Check(stop.get() >= 0, "signalfd");

  FloorLines lines(a, b, rig);
  Router router({{"A", false}, {"B", true}}, lines, SteadyMs,
                {[](uint8_t) { return false; }, [](uint8_t, const std::string&) {}},
                kWatchdogInterval.count());

  const UniqueFd epoll(epoll_create1(EPOLL_CLOEXEC));
  Check(epoll.get() >= 0, "epoll_create1");
  const UniqueFd tick(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK));
  Check(tick.get() >= 0, "timerfd_create");
  const auto interval = std::chrono::duration_cast<std::chrono::nanoseconds>(kWatchdogInterval);
  itimerspec every{};
  every.it_interval.tv_sec = static_cast<time_t>(interval.count() / 1'000'000'000);
  every.it_interval.tv_nsec = static_cast<long>(interval.count() % 1'000'000'000);
  every.it_value = every.it_interval;
  Check(timerfd_settime(tick.get(), 0, &every, nullptr) == 0, "timerfd_settime");
  for (size_t line = 0; line < 3; ++line) Watch(epoll.get(), lines.fd(line), line);
  Watch(epoll.get(), tick.get(), kTick);
  Watch(epoll.get(), stop.get(), kStop);

  char buffer[4096];
  for (;;) {
    epoll_event ready[5];
    const int n = epoll_wait(epoll.get(), ready, 5, -1);
    if (n < 0 && errno == EINTR) continue;
    Check(n >= 0, "epoll_wait");
    for (int i = 0; i < n; ++i) {
      const uint64_t tag = ready[i].data.u64;
      if (tag == kStop) return 0;
      if (tag == kTick) {
        uint64_t expirations = 0;
        [[maybe_unused]] auto r = ::read(tick.get(), &expirations, sizeof expirations);
        // A stuck bridge reopens its ports; here there is nothing to reopen, and the router
        // has given the stuck commands up already.
        router.Tick();
        continue;
      }
      const ssize_t got = ::read(lines.fd(tag), buffer, sizeof buffer);
      if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      Check(got >= 0, "read");
      if (got == 0) throw std::runtime_error("line " + std::to_string(tag) + " hung up");
      const std::string data(buffer, static_cast<size_t>(got));
      if (tag == FloorLines::kRig) {
        router.ProcessAnswers(data);
      } else {
        router.ProcessBuffer(static_cast<uint8_t>(tag), data);
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: corvane-relay-floor PORTA PORTB PORTO (tty paths)\n");
    return 2;
  }
  try {
    return Relay(argv[1], argv[2], argv[3]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "corvane-relay-floor: %s\n", e.what());
    return 1;
  }
}
