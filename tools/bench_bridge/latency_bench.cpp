#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>

#include "tools/bench_bridge/bench_runs.h"
#include "tools/bench_bridge/figures_table.h"
#include "tools/bench_bridge/idle_window.h"
#include "tools/bench_bridge/polling_run.h"
#include "tools/bench_bridge/round_trips.h"
#include "tools/bench_bridge/syscall_count.h"

namespace corvane {
namespace {

constexpr std::chrono::milliseconds kReadyTimeout{10'000};
const std::string kQuery = "FA;";

std::string ReadyAnswer(CatClient& client, const std::string& what) {
  const std::optional<std::string> answer = AskUntilAnswered(client, kQuery, After(kReadyTimeout));
  if (!answer) throw std::runtime_error(what + ": no answer to " + kQuery + " within 10 s");
  return *answer;
}

void PrintLine(const std::string& label, const std::string& what, const std::string& text) {
  std::printf("  %-36s %s\n", (label + " " + what + ":").c_str(), text.c_str());
  std::fflush(stdout);
}

// One path measured end to end: what the relay program between the clients and the
// transceiver costs idle, one client's round trips, then every client polling. `relay` is
// null for the transceiver alone; `watched` is the program whose end ends the measurement.
// False when the path did not work end to end.
bool MeasurePath(const BenchOptions& o, const std::string& label,
                 const std::vector<std::pair<std::string, CatClient*>>& named_clients,
                 ChildProgram* relay, ChildProgram& watched, TargetFigures& figures) {
  figures.label = label;
  figures.clients = static_cast<int>(named_clients.size());
  std::vector<PollingClient> clients;
  for (const auto& [name, client] : named_clients) {
    // Each client's answer tells it apart from the other's: VFO A for A, VFO B for B.
    clients.push_back({name, client, kQuery, ReadyAnswer(*client, label + " client " + name)});
  }
  bool ok = true;

  if (relay != nullptr && o.idle_seconds > 0) {
    const IdleCost idle = MeasureIdle(*relay, o.idle_seconds);
    if (!idle.aborted.empty()) {
      PrintLine(label, "idle", "ended early: " + idle.aborted);
      return false;
    }
    PrintLine(label, "idle", DescribeIdle(idle));
    figures.idle_percent = 100.0 * idle.cpu_seconds / idle.wall_seconds;
    figures.idle_wakeups_per_s = static_cast<double>(idle.wakeups) / idle.wall_seconds;
  }

  RoundTrips trips = MeasureRoundTrips(*clients[0].client, kQuery, o.samples,
                                       std::chrono::milliseconds(o.timeout_ms),
                                       std::chrono::milliseconds(0), &watched);
  PrintLine(label, "round trips", Summarize(trips));
  if (!trips.aborted.empty() || trips.wrong != 0) ok = false;
  if (!trips.micros.empty()) {
    std::sort(trips.micros.begin(), trips.micros.end());
    figures.median_us = Percentile(trips.micros, 0.5);
    figures.p99_us = Percentile(trips.micros, 0.99);
  }

  PollingLimits limits;
  limits.seconds = o.load_seconds;
  limits.timeout = std::chrono::milliseconds(o.timeout_ms);
  std::optional<ProcessUsage> before;
  std::optional<SyscallCount> syscalls;
  if (relay != nullptr) {
    before = ReadProcessUsage(relay->pid());
    syscalls.emplace(relay->pid());
  }
  const PollingResult load = RunPolling(clients, limits, &watched);
  if (!load.aborted.empty()) {
    PrintLine(label, "polling", "ended early: " + load.aborted);
    return false;
  }
  char text[200];
  std::snprintf(text, sizeof text,
                "%.0f commands/s with %d client(s) (%lld answered in %.1f s), %lld lost, "
                "%lld misrouted, %lld late",
                static_cast<double>(load.answered) / load.seconds, figures.clients, load.answered,
                load.seconds, load.lost, load.misrouted, load.late);
  PrintLine(label, "polling", text);
  for (const std::string& wrong : load.wrong_examples) std::printf("    %s\n", wrong.c_str());
  if (load.misrouted > 0) ok = false;
  figures.commands_per_s = static_cast<double>(load.answered) / load.seconds;

  if (relay != nullptr && load.answered > 0) {
    const std::optional<long long> calls = syscalls->Read();
    const ProcessUsage after = ReadProcessUsage(relay->pid());
    const double n = static_cast<double>(load.answered);
    figures.cpu_us = (after.cpu_seconds - before->cpu_seconds) * 1e6 / n;
    figures.switches =
        static_cast<double>(after.voluntary_switches + after.involuntary_switches -
                            before->voluntary_switches - before->involuntary_switches) /
        n;
    if (calls) figures.syscalls = static_cast<double>(*calls) / n;
    std::snprintf(text, sizeof text,
                  "%.1f us CPU, %s system calls, %.1f context switches per command; RSS %ld KiB "
                  "-> %ld KiB",
                  *figures.cpu_us,
                  calls ? std::to_string(static_cast<long long>(*figures.syscalls + 0.5)).c_str()
                        : ("? (" + syscalls->unavailable_because() + ")").c_str(),
                  *figures.switches, before->rss_kib, after.rss_kib);
    PrintLine(label, "under that load", text);
  }
  return ok;
}

bool RunDirect(const BenchOptions& o, const ScratchDir& dir, TargetFigures& figures) {
  SimulatedRig rig(o.programs, dir, "simrig-direct");
  ClientLine line = ClientLine::OpenPath(rig.path());
  CatClient client(line.fd());
  return MeasurePath(o, "direct", {{"A", &client}}, nullptr, rig.program(), figures);
}

bool RunSocat(const BenchOptions& o, const ScratchDir& dir, TargetFigures& figures) {
  SimulatedRig rig(o.programs, dir, "simrig-socat");
  SocatRelay relay(o.programs, dir, rig.path());
  CatClient client(relay.client().fd());
  return MeasurePath(o, "socat", {{"A", &client}}, &relay.program(), relay.program(), figures);
}

bool RunFloor(const BenchOptions& o, const ScratchDir& dir, TargetFigures& figures) {
  SimulatedRig rig(o.programs, dir, "simrig-floor");
  FloorRelay relay(o.programs, dir, rig.path());
  CatClient a(relay.a().fd());
  CatClient b(relay.b().fd());
  return MeasurePath(o, "floor", {{"A", &a}, {"B", &b}}, &relay.program(), relay.program(),
                     figures);
}

bool RunBridge(const BenchOptions& o, const ScratchDir& dir, const std::string& label,
               const std::string& program, TargetFigures& figures) {
  SimulatedRig rig(o.programs, dir, "simrig-" + label);
  // Each bridge of the run reads its configuration from a directory of its own.
  const std::string home = dir.File(label);
  if (::mkdir(home.c_str(), 0755) != 0 && errno != EEXIST) {
    throw std::system_error(errno, std::generic_category(), "mkdir " + home);
  }
  RunningBridge bridge(program, home, rig.path());
  CatClient a(bridge.a().fd());
  CatClient b(bridge.b().fd());
  bool ok =
      MeasurePath(o, label, {{"A", &a}, {"B", &b}}, &bridge.program(), bridge.program(), figures);
  bool clean = false;
  PrintLine(label, "end", bridge.Stop(clean));
  return ok && clean;
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
  std::vector<TargetFigures> rows;
  for (const std::string& target : o.targets) {
    const std::size_t eq = target.find('=');
    TargetFigures figures;
    figures.label = target.substr(0, eq);
    try {
      if (target == "direct") {
        ok = RunDirect(o, dir, figures) && ok;
      } else if (target == "socat") {
        ok = RunSocat(o, dir, figures) && ok;
      } else if (target == "floor") {
        ok = RunFloor(o, dir, figures) && ok;
      } else if (target == "corvane") {
        ok = RunBridge(o, dir, "corvane", o.programs.corvane, figures) && ok;
      } else {
        ok = RunBridge(o, dir, target.substr(0, eq), target.substr(eq + 1), figures) && ok;
      }
    } catch (const std::exception& e) {
      std::printf("  %s: failed: %s\n", target.c_str(), e.what());
      ok = false;
    }
    rows.push_back(figures);
  }
  PrintFiguresTable(rows);
  return FinishRun(ok, dir);
}

}  // namespace corvane
