#include <cstdio>
#include <stdexcept>

#include "tools/bench_bridge/bench_runs.h"
#include "tools/bench_bridge/idle_window.h"
#include "tools/bench_bridge/round_trips.h"

namespace corvane {
namespace {

constexpr std::chrono::milliseconds kReadyTimeout{10'000};
const std::string kQuery = "FA;";

}  // namespace

int RunIdleBench(const BenchOptions& o) {
  ScratchDir dir;
  if (o.keep_dir) dir.Keep();
  std::printf(
      "corvane-bench-bridge idle: %.0f s idle, then one FA; every %d ms for %.0f s, "
      "answer timeout %d ms, scratch %s\n",
      o.idle_seconds, o.poll_interval_ms, o.duration_seconds, o.timeout_ms, dir.path().c_str());
  std::fflush(stdout);
  bool ok = true;
  try {
    SimulatedRig rig(o.programs, dir, "simrig");
    RunningBridge bridge(o.programs.corvane, dir.path(), rig.path());
    CatClient a(bridge.a().fd());
    if (!AskUntilAnswered(a, kQuery, After(kReadyTimeout))) {
      throw std::runtime_error("corvane port A: no answer to FA; within 10 s");
    }

    const IdleCost idle = MeasureIdle(bridge.program(), o.idle_seconds);
    if (!idle.aborted.empty()) throw std::runtime_error("idle phase: " + idle.aborted);
    std::printf("  corvane idle: %s\n", DescribeIdle(idle).c_str());
    std::fflush(stdout);

    const auto interval = std::chrono::milliseconds(o.poll_interval_ms);
    const auto polls = static_cast<long long>(o.duration_seconds * 1000.0 / o.poll_interval_ms);
    const ProcessUsage before = ReadProcessUsage(bridge.program().pid());
    const RoundTrips trips = MeasureRoundTrips(
        a, kQuery, polls, std::chrono::milliseconds(o.timeout_ms), interval, &bridge.program());
    const ProcessUsage after = ReadProcessUsage(bridge.program().pid());
    const long long asked = static_cast<long long>(trips.micros.size()) + trips.lost + trips.wrong;
    std::printf(
        "  slow polling: %lld queries, %lld lost to the reset window (%.2f %%), %lld "
        "wrong\n",
        asked, trips.lost, asked > 0 ? 100.0 * static_cast<double>(trips.lost) / asked : 0.0,
        trips.wrong);
    std::printf("  answered ones: %s\n", Summarize(trips).c_str());
    std::printf("  corvane while polled: %s, RSS %ld KiB -> %ld KiB\n",
                DescribeCpu(after.cpu_seconds - before.cpu_seconds, trips.seconds).c_str(),
                before.rss_kib, after.rss_kib);
    if (!trips.aborted.empty() || trips.wrong > 0) ok = false;

    if (!bridge.StopAndReport()) ok = false;
  } catch (const std::exception& e) {
    std::printf("  failed: %s\n", e.what());
    ok = false;
  }
  return FinishRun(ok, dir);
}

}  // namespace corvane
