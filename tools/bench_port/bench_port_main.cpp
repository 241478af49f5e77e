// corvane-bench-port [--seconds N] [--samples N]
// (a) CPU time of the process while one port sits open and idle on a pseudo-terminal for
//     N seconds (default 10); (b) latency from a byte written on the far end to OnRxChar
//     on the main thread, median and p99 over N samples (default 10000), by the port's
//     event thread and with the main loop watching the line in its place; (c) wake-ups per
//     second of an idle port on a device with modem lines (the scripted device), whose
//     changes are waited for as through TIOCMIWAIT, and, for comparison, sampled as for a
//     driver without that wait. Goal for the waited figure: 0.
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cport/cport.h"
#include "cport/platform/device_opener.h"
#include "cport/platform/fake_device.h"
#include "rt/event_loop.h"
#include "rt/main_thread.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Pty {
  int master = -1, slave = -1;
  std::string path;
  Pty() {
    char name[128] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
      std::perror("openpty");
      std::exit(1);
    }
    path = name;
  }
  ~Pty() {
    close(master);
    close(slave);
  }
};

// Wake-ups per second of the device's waits while a port with modem-line handlers sits idle.
double IdleWakeUpsPerSecond(corvane::EventLoop& loop, bool lineWait, int seconds) {
  using namespace corvane::platform;
  auto script = std::make_shared<FakeScript>();
  script->GiveModemLines(lineWait);
  SetDeviceOpener([script](const std::string& name, std::unique_ptr<Device>& device) {
    return script->Open(name, device);
  });
  TComPort port;
  port.SetPort("MODEM");
  port.SetOnCTSChange([](TObject*, bool) {});
  port.SetOnDSRChange([](TObject*, bool) {});
  port.SetOnRLSDChange([](TObject*, bool) {});
  port.SetOnRing([](TObject*) {});
  port.OpenPort();
  // Settle: the event thread reaches its wait and starts the line helper.
  loop.RunUntil([] { return false; }, std::chrono::milliseconds(100));
  const uint64_t before = script->WakeUps();
  const auto t0 = Clock::now();
  loop.RunUntil([] { return false; }, std::chrono::seconds(seconds));
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  const uint64_t woke = script->WakeUps() - before;
  port.ClosePort();
  SetDeviceOpener(nullptr);
  return static_cast<double>(woke) / wall;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 10, samples = 10000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--seconds"))
      seconds = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--samples"))
      samples = std::atoi(argv[i + 1]);
    else {
      std::fprintf(stderr, "usage: %s [--seconds N] [--samples N]\n", argv[0]);
      return 2;
    }
  }
  corvane::MainThread::Instance().Attach();
  corvane::EventLoop loop;
  Pty pty;
  TComPort port;
  port.SetPort(pty.path);
  int32_t arrived = 0;
  port.SetOnRxChar([&](TObject*, int32_t count) {
    std::string text;
    arrived += port.ReadText(text, count);
  });
  port.OpenPort();

  // (a) idle cost: the loop sleeps in poll, the event thread in its wait.
  const double cpu0 = CpuSeconds();
  const auto t0 = Clock::now();
  loop.RunUntil([] { return false; }, std::chrono::seconds(seconds));
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  const double cpu = CpuSeconds() - cpu0;
  std::printf("idle open port: %.3f ms CPU over %.1f s wall (%.4f %% of one core)\n", cpu * 1e3,
              wall, 100.0 * cpu / wall);

  // (b) latency: one byte at a time, the next only after the previous was handled; first
  // through the port's event thread, then with the loop watching the line in its place.
  corvane::SetMainLoopWatcher(&loop);
  for (const bool loopDelivery : {false, true}) {
    port.ClosePort();
    port.SetLoopDelivery(loopDelivery);
    port.OpenPort();
    std::vector<double> us;
    us.reserve(static_cast<size_t>(samples));
    for (int i = 0; i < samples; ++i) {
      const int32_t before = arrived;
      const auto start = Clock::now();
      if (write(pty.master, "X", 1) != 1) {
        std::perror("write");
        return 1;
      }
      if (!loop.RunUntil([&] { return arrived > before; }, std::chrono::seconds(2))) {
        std::fprintf(stderr, "sample %d: no OnRxChar within 2 s\n", i);
        return 1;
      }
      us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    if (!us.empty()) {
      std::sort(us.begin(), us.end());
      const auto at = [&](double q) { return us[std::min(us.size() - 1, size_t(q * us.size()))]; };
      std::printf(
          "byte to OnRxChar on the main thread, %s: median %.1f us, p99 %.1f us, max %.1f us "
          "(%d samples)\n",
          loopDelivery ? "the loop watching the line" : "by the event thread", at(0.5), at(0.99),
          us.back(), samples);
    }
  }
  port.ClosePort();

  // (c) modem lines while idle.
  const int lineSeconds = std::max(1, std::min(seconds, 5));
  std::printf("idle port with modem lines, changes waited for: %.2f wake-ups/s over %d s\n",
              IdleWakeUpsPerSecond(loop, true, lineSeconds), lineSeconds);
  std::printf("idle port with modem lines, sampled (driver without the wait): %.2f wake-ups/s\n",
              IdleWakeUpsPerSecond(loop, false, lineSeconds));
  return 0;
}
