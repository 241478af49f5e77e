#include "tools/bench_bridge/idle_window.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "tools/bench_bridge/deadline.h"
#include "tools/bench_bridge/stop_request.h"

namespace corvane {

IdleCost MeasureIdle(ChildProgram& program, double seconds) {
  IdleCost cost;
  try {
    const ProcessUsage before = ReadProcessUsage(program.pid());
    const auto start = BenchClock::now();
    const auto end = start + std::chrono::duration_cast<BenchClock::duration>(
                                 std::chrono::duration<double>(seconds));
    while (BenchClock::now() < end) {
      if (StopRequested()) {
        cost.aborted = "stop signal";
        break;
      }
      if (!program.Running()) {
        cost.aborted = program.name() + " ended (" + DescribeStatus(*program.status()) + ")";
        return cost;
      }
      std::this_thread::sleep_for(
          std::min<BenchClock::duration>(end - BenchClock::now(), std::chrono::milliseconds(200)));
    }
    const ProcessUsage after = ReadProcessUsage(program.pid());
    cost.wall_seconds = SecondsSince(start);
    cost.cpu_seconds = after.cpu_seconds - before.cpu_seconds;
    cost.wakeups = after.voluntary_switches - before.voluntary_switches;
    cost.rss_start_kib = before.rss_kib;
    cost.rss_end_kib = after.rss_kib;
  } catch (const std::runtime_error& e) {
    cost.aborted = e.what();
  }
  return cost;
}

std::string DescribeIdle(const IdleCost& idle) {
  const double wall = idle.wall_seconds > 0 ? idle.wall_seconds : 1;
  char text[160];
  std::snprintf(
      text, sizeof text,
      "%.2f ms CPU over %.1f s (%.4f %% of a core), %.1f wake-ups/s, RSS %ld KiB -> %ld KiB",
      idle.cpu_seconds * 1e3, idle.wall_seconds, 100.0 * idle.cpu_seconds / wall,
      static_cast<double>(idle.wakeups) / wall, idle.rss_start_kib, idle.rss_end_kib);
  return text;
}

}  // namespace corvane
