#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <vector>

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

// Round trips are taken in turns of this many per path, so that a machine whose speed
// drifts (a virtual one, with neighbours) weighs on every path alike.
constexpr long long kTurn = 100;

// One path between a client and the transceiver, kept up for the whole run: the transceiver
// alone ("direct"), or a relay program in front of it with one client line or two.
struct Path {
  std::string label;
  std::unique_ptr<SimulatedRig> rig;
  std::unique_ptr<SocatRelay> socat;
  std::unique_ptr<FloorRelay> floor;
  std::unique_ptr<RunningBridge> bridge;
  std::optional<ClientLine> direct_line;
  std::vector<std::unique_ptr<CatClient>> lines;
  std::vector<PollingClient> clients;
  ChildProgram* relay = nullptr;    // null for the transceiver alone
  ChildProgram* watched = nullptr;  // the program whose end ends the measurement
  RoundTrips trips;
  TargetFigures figures;
  bool ok = true;
};

void AddClient(Path& path, const std::string& name, int fd) {
  path.lines.push_back(std::make_unique<CatClient>(fd));
  CatClient* client = path.lines.back().get();
  // Each client's answer tells it apart from the other's: VFO A for A, VFO B for B.
  path.clients.push_back(
      {name, client, kQuery, ReadyAnswer(*client, path.label + " client " + name)});
}

std::unique_ptr<Path> StartPath(const ProgramPaths& programs, const ScratchDir& dir,
                                const std::string& target) {
  auto path = std::make_unique<Path>();
  const std::size_t eq = target.find('=');
  path->label = target.substr(0, eq);
  path->figures.label = path->label;
  path->rig = std::make_unique<SimulatedRig>(programs, dir, "simrig-" + path->label);
  path->watched = &path->rig->program();
  if (target == "direct") {
    // The transceiver's own line: nothing between it and the client.
  } else if (target == "socat") {
    path->socat = std::make_unique<SocatRelay>(programs, dir, path->rig->path());
    path->relay = &path->socat->program();
  } else if (target == "floor") {
    path->floor = std::make_unique<FloorRelay>(programs, dir, path->rig->path());
    path->relay = &path->floor->program();
  } else {
    // Each bridge of the run reads its configuration from a directory of its own.
    const std::string home = dir.File(path->label);
    if (::mkdir(home.c_str(), 0755) != 0 && errno != EEXIST) {
      throw std::system_error(errno, std::generic_category(), "mkdir " + home);
    }
    const std::string program = eq == std::string::npos ? programs.corvane : target.substr(eq + 1);
    path->bridge =
        std::make_unique<RunningBridge>(program, home, path->rig->path(), TcpClientsOf(target),
                                        EventThreadsOf(target));
    path->relay = &path->bridge->program();
  }
  if (path->relay != nullptr) path->watched = path->relay;

  if (target == "direct") {
    path->direct_line = ClientLine::OpenPath(path->rig->path());
    AddClient(*path, "A", path->direct_line->fd());
  } else if (path->socat) {
    AddClient(*path, "A", path->socat->client().fd());
  } else if (path->floor) {
    AddClient(*path, "A", path->floor->a().fd());
    AddClient(*path, "B", path->floor->b().fd());
  } else if (TcpClientsOf(target) > 0) {
    int n = 0;
    for (int fd : path->bridge->ConnectTcpClients(After(kReadyTimeout))) {
      AddClient(*path, "A#" + std::to_string(++n), fd);
    }
  } else if (path->bridge) {
    AddClient(*path, "A", path->bridge->a().fd());
    AddClient(*path, "B", path->bridge->b().fd());
  }
  path->figures.clients = static_cast<int>(path->clients.size());
  return path;
}

// What the relay costs while nobody talks to it.
void MeasurePathIdle(const BenchOptions& o, Path& path) {
  if (path.relay == nullptr || o.idle_seconds <= 0) return;
  const IdleCost idle = MeasureIdle(*path.relay, o.idle_seconds);
  if (!idle.aborted.empty()) {
    PrintLine(path.label, "idle", "ended early: " + idle.aborted);
    path.ok = false;
    return;
  }
  PrintLine(path.label, "idle", DescribeIdle(idle));
  path.figures.idle_percent = 100.0 * idle.cpu_seconds / idle.wall_seconds;
  path.figures.idle_wakeups_per_s = static_cast<double>(idle.wakeups) / idle.wall_seconds;
}

// One client of each path asks one query at a time, the paths taking turns.
void MeasureRoundTripsInTurns(const BenchOptions& o, std::vector<std::unique_ptr<Path>>& paths) {
  for (long long done = 0; done < o.samples; done += kTurn) {
    for (auto& path : paths) {
      if (!path->ok || !path->trips.aborted.empty()) continue;
      RoundTrips turn = MeasureRoundTrips(*path->clients[0].client, kQuery,
                                          std::min(kTurn, o.samples - done),
                                          std::chrono::milliseconds(o.timeout_ms),
                                          std::chrono::milliseconds(0), path->watched);
      RoundTrips& all = path->trips;
      all.micros.insert(all.micros.end(), turn.micros.begin(), turn.micros.end());
      all.lost += turn.lost;
      all.wrong += turn.wrong;
      all.seconds += turn.seconds;
      all.aborted = turn.aborted;
    }
  }
  for (auto& path : paths) {
    if (!path->ok) continue;
    RoundTrips& trips = path->trips;
    PrintLine(path->label, "round trips", Summarize(trips));
    if (!trips.aborted.empty() || trips.wrong != 0) path->ok = false;
    if (!trips.micros.empty()) {
      std::sort(trips.micros.begin(), trips.micros.end());
      path->figures.median_us = Percentile(trips.micros, 0.5);
      path->figures.p99_us = Percentile(trips.micros, 0.99);
    }
  }
}

// The load is taken in turns of this long per path, for the same reason.
constexpr double kLoadTurnSeconds = 0.5;

// What one path's relay has cost since its load began.
struct LoadCost {
  ProcessUsage before;
  SyscallCount syscalls;
};

// Every client of each path polling, in turns, and what each relay costs per answered
// command meanwhile (its rests between turns cost next to nothing and are counted too).
void MeasureLoadInTurns(const BenchOptions& o, std::vector<std::unique_ptr<Path>>& paths) {
  std::vector<PollingResult> loads(paths.size());
  std::vector<std::unique_ptr<LoadCost>> costs(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    ChildProgram* relay = paths[i]->ok ? paths[i]->relay : nullptr;
    if (relay != nullptr) {
      costs[i].reset(new LoadCost{ReadProcessUsage(relay->pid()), SyscallCount(relay->pid())});
    }
  }
  const int turns = std::max(1, static_cast<int>(o.load_seconds / kLoadTurnSeconds + 0.5));
  PollingLimits limits;
  limits.seconds = o.load_seconds / turns;
  limits.timeout = std::chrono::milliseconds(o.timeout_ms);
  for (int turn = 0; turn < turns; ++turn) {
    for (std::size_t i = 0; i < paths.size(); ++i) {
      if (!paths[i]->ok || !loads[i].aborted.empty()) continue;
      AddUp(loads[i], RunPolling(paths[i]->clients, limits, paths[i]->watched));
    }
  }

  for (std::size_t i = 0; i < paths.size(); ++i) {
    Path& path = *paths[i];
    const PollingResult& load = loads[i];
    if (!path.ok) continue;
    if (!load.aborted.empty()) {
      PrintLine(path.label, "polling", "ended early: " + load.aborted);
      path.ok = false;
      continue;
    }
    TargetFigures& figures = path.figures;
    char text[200];
    std::snprintf(text, sizeof text,
                  "%.0f commands/s with %d client(s) (%lld answered in %.1f s), %lld lost, "
                  "%lld misrouted, %lld late",
                  static_cast<double>(load.answered) / load.seconds, figures.clients,
                  load.answered, load.seconds, load.lost, load.misrouted, load.late);
    PrintLine(path.label, "polling", text);
    for (const std::string& wrong : load.wrong_examples) std::printf("    %s\n", wrong.c_str());
    if (load.misrouted > 0) path.ok = false;
    figures.commands_per_s = static_cast<double>(load.answered) / load.seconds;

    if (costs[i] == nullptr || load.answered == 0) continue;
    const ProcessUsage& before = costs[i]->before;
    const std::optional<long long> calls = costs[i]->syscalls.Read();
    const ProcessUsage after = ReadProcessUsage(path.relay->pid());
    const double n = static_cast<double>(load.answered);
    figures.cpu_us = (after.cpu_seconds - before.cpu_seconds) * 1e6 / n;
    figures.switches = static_cast<double>(after.voluntary_switches + after.involuntary_switches -
                                           before.voluntary_switches -
                                           before.involuntary_switches) /
                       n;
    if (calls) figures.syscalls = static_cast<double>(*calls) / n;
    std::snprintf(text, sizeof text,
                  "%.1f us CPU, %s system calls, %.1f context switches per command; RSS %ld KiB "
                  "-> %ld KiB",
                  *figures.cpu_us,
                  calls ? std::to_string(static_cast<long long>(*figures.syscalls + 0.5)).c_str()
                        : ("? (" + costs[i]->syscalls.unavailable_because() + ")").c_str(),
                  *figures.switches, before.rss_kib, after.rss_kib);
    PrintLine(path.label, "under that load", text);
  }
}

}  // namespace

int RunLatencyBench(const BenchOptions& o) {
  ScratchDir dir;
  if (o.keep_dir) dir.Keep();
  std::printf(
      "corvane-bench-bridge latency: %lld FA; round trips per path, in turns of %lld, timeout "
      "%d ms; idle %.0f s, load %.0f s; scratch %s\n",
      o.samples, kTurn, o.timeout_ms, o.idle_seconds, o.load_seconds, dir.path().c_str());
  std::fflush(stdout);
  bool ok = true;
  std::vector<std::unique_ptr<Path>> paths;
  for (const std::string& target : o.targets) {
    try {
      paths.push_back(StartPath(o.programs, dir, target));
    } catch (const std::exception& e) {
      std::printf("  %s: failed: %s\n", target.c_str(), e.what());
      // Its row stays in its place, empty.
      paths.push_back(std::make_unique<Path>());
      paths.back()->figures.label = target.substr(0, target.find('='));
      paths.back()->ok = false;
    }
  }
  // Idle first, while no path has been talked to since its start; then the round trips,
  // all paths up; then the paths under load in turns, each while the others rest.
  for (auto& path : paths) {
    if (path->ok) MeasurePathIdle(o, *path);
  }
  MeasureRoundTripsInTurns(o, paths);
  MeasureLoadInTurns(o, paths);
  std::vector<TargetFigures> rows;
  for (auto& path : paths) {
    if (path->bridge) {
      bool clean = false;
      PrintLine(path->label, "end", path->bridge->Stop(clean));
      path->ok = path->ok && clean;
    }
    ok = ok && path->ok;
    rows.push_back(path->figures);
  }
  PrintFiguresTable(rows);
  return FinishRun(ok, dir);
}

}  // namespace corvane
