#include <cstdio>
#include <stdexcept>

#include "tools/bench_bridge/bench_runs.h"
#include "tools/bench_bridge/idle_window.h"
#include "tools/bench_bridge/polling_run.h"
#include "tools/bench_bridge/round_trips.h"

namespace corvane {
namespace {

constexpr std::chrono::milliseconds kReadyTimeout{10'000};
const std::string kQuery = "FA;";

std::string ReadyAnswer(CatClient& client, const std::string& what) {
  const std::optional<std::string> answer = AskUntilAnswered(client, kQuery, After(kReadyTimeout));
  if (!answer) throw std::runtime_error(what + ": no answer to " + kQuery + " within 10 s");
  return *answer;
}

// True when the path worked end to end.
bool ReportTrips(const char* label, const RoundTrips& trips) {
  std::printf("  %-28s %s\n", label, Summarize(trips).c_str());
  std::fflush(stdout);
  return trips.aborted.empty() && trips.wrong == 0;
}

bool RunDirect(const BenchOptions& o, const ScratchDir& dir) {
  SimulatedRig rig(o.programs, dir, "simrig-direct");
  ClientLine line = ClientLine::OpenPath(rig.path());
  CatClient client(line.fd());
  ReadyAnswer(client, "simulated transceiver");
  return ReportTrips(
      "direct to the transceiver:",
      MeasureRoundTrips(client, kQuery, o.samples, std::chrono::milliseconds(o.timeout_ms),
                        std::chrono::milliseconds(0), &rig.program()));
}

bool RunSocat(const BenchOptions& o, const ScratchDir& dir) {
  SimulatedRig rig(o.programs, dir, "simrig-socat");
  SocatRelay relay(o.programs, dir, rig.path());
  CatClient client(relay.client().fd());
  ReadyAnswer(client, "socat relay");
  return ReportTrips(
      "through a socat relay:",
      MeasureRoundTrips(client, kQuery, o.samples, std::chrono::milliseconds(o.timeout_ms),
                        std::chrono::milliseconds(0), &relay.program()));
}

void PrintUsageLine(const char* label, double cpu, double wall, long rss_start, long rss_end) {
  std::printf("  %-28s %s, RSS %ld KiB -> %ld KiB\n", label, DescribeCpu(cpu, wall).c_str(),
              rss_start, rss_end);
  std::fflush(stdout);
}

bool RunBridge(const BenchOptions& o, ScratchDir& dir) {
  SimulatedRig rig(o.programs, dir, "simrig-corvane");
  RunningBridge bridge(o.programs, dir, rig.path());
  CatClient a(bridge.a().fd());
  CatClient b(bridge.b().fd());
  // Each client's answer tells it apart from the other's: VFO A for A, VFO B for B.
  const std::string expected_a = ReadyAnswer(a, "corvane port A");
  const std::string expected_b = ReadyAnswer(b, "corvane port B");
  bool ok = true;

  const IdleCost idle = MeasureIdle(bridge.program(), o.idle_seconds);
  if (!idle.aborted.empty()) {
    std::printf("  corvane idle: ended early: %s\n", idle.aborted.c_str());
    ok = false;
  } else {
    PrintUsageLine("corvane idle:", idle.cpu_seconds, idle.wall_seconds, idle.rss_start_kib,
                   idle.rss_end_kib);
  }

  ok = ReportTrips("through corvane (port A):",
                   MeasureRoundTrips(a, kQuery, o.samples, std::chrono::milliseconds(o.timeout_ms),
                                     std::chrono::milliseconds(0), &bridge.program())) &&
       ok;

  std::vector<PollingClient> clients = {{"A", &a, kQuery, expected_a},
                                        {"B", &b, kQuery, expected_b}};
  PollingLimits limits;
  limits.seconds = o.load_seconds;
  limits.timeout = std::chrono::milliseconds(o.timeout_ms);
  const ProcessUsage before = ReadProcessUsage(bridge.program().pid());
  const PollingResult load = RunPolling(clients, limits, &bridge.program());
  if (!load.aborted.empty()) {
    std::printf("  corvane under load: ended early: %s\n", load.aborted.c_str());
    ok = false;
  } else {
    const ProcessUsage after = ReadProcessUsage(bridge.program().pid());
    std::printf(
        "  %-28s %.0f routed commands/s (%lld answered in %.1f s), %lld lost, %lld misrouted, "
        "%lld late\n",
        "corvane, A and B polling:", static_cast<double>(load.answered) / load.seconds,
        load.answered, load.seconds, load.lost, load.misrouted, load.late);
    PrintUsageLine("corvane under that load:", after.cpu_seconds - before.cpu_seconds, load.seconds,
                   before.rss_kib, after.rss_kib);
  }
  for (const std::string& wrong : load.wrong_examples) std::printf("    %s\n", wrong.c_str());
  if (load.misrouted > 0) ok = false;

  if (!bridge.StopAndReport()) ok = false;
  if (!ok) dir.Keep();
  return ok;
}

}  // namespace

int RunLatencyBench(const BenchOptions& o) {
  ScratchDir dir;
  if (o.keep_dir) dir.Keep();
  std::printf(
      "corvane-bench-bridge latency: %lld FA; round trips per path, timeout %d ms; idle "
      "%.0f s, load %.0f s; scratch %s\n",
      o.samples, o.timeout_ms, o.idle_seconds, o.load_seconds, dir.path().c_str());
  std::fflush(stdout);
  bool ok = true;
  for (const std::string& target : o.targets) {
    try {
      if (target == "direct") ok = RunDirect(o, dir) && ok;
      if (target == "socat") ok = RunSocat(o, dir) && ok;
      if (target == "corvane") ok = RunBridge(o, dir) && ok;
    } catch (const std::exception& e) {
      std::printf("  %s: failed: %s\n", target.c_str(), e.what());
      dir.Keep();
      ok = false;
    }
  }
  if (!ok) std::printf("FAILED (files kept in %s)\n", dir.path().c_str());
  return ok ? 0 : 1;
}

}  // namespace corvane
