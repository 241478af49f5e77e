#include <cstdio>
#include <memory>
#include <stdexcept>

#include "tools/bench_bridge/bench_runs.h"
#include "tools/bench_bridge/polling_run.h"
#include "tools/bench_bridge/process_usage.h"

namespace corvane {
namespace {

constexpr std::chrono::milliseconds kSetupTimeout{15'000};
// VFO A and VFO B on different frequencies: every answer names the client it belongs to.
// Port B sees the VFOs exchanged, so its "FA" set reaches the transceiver as VFO B.
const std::string kSetA = "FA14070000;";
const std::string kSetB = "FA07030000;";
const std::string kQuery = "FA;";

// Sets the client's VFO until a query reads it back (a set has no answer and may be swallowed
// by a port reset).
void SetFrequency(CatClient& client, const std::string& set, const std::string& name,
                  Deadline deadline) {
  while (BenchClock::now() < deadline) {
    client.Discard();
    client.Send(set);
    const std::optional<std::string> answer = AskUntilAnswered(client, kQuery, deadline);
    if (answer == set) return;
  }
  throw std::runtime_error("client " + name + " could not set " + set + " within 15 s");
}

}  // namespace

int RunSoak(const BenchOptions& o) {
  ScratchDir dir;
  if (o.keep_dir) dir.Keep();
  std::printf("corvane-bench-bridge soak through %s: ", o.target.c_str());
  if (o.commands > 0) {
    std::printf("%lld commands", o.commands);
  } else {
    std::printf("%.0f s", o.seconds);
  }
  std::printf(", answer timeout %d ms, scratch %s\n", o.timeout_ms, dir.path().c_str());
  std::fflush(stdout);

  bool ok = true;
  try {
    SimulatedRig rig(o.programs, dir, "simrig");
    // The bridge and the floor relay serve clients A and B; socat and the bare transceiver
    // serve one client.
    std::unique_ptr<RunningBridge> bridge;
    std::unique_ptr<FloorRelay> floor;
    std::unique_ptr<SocatRelay> relay;
    std::unique_ptr<ClientLine> direct;
    int fd_a = -1;
    int fd_b = -1;
    ChildProgram* watched = &rig.program();
    if (o.target == "corvane" || EventThreadsOf(o.target)) {
      bridge = std::make_unique<RunningBridge>(o.programs.corvane, dir.path(), rig.path(), 0,
                                               EventThreadsOf(o.target));
      fd_a = bridge->a().fd();
      fd_b = bridge->b().fd();
      watched = &bridge->program();
    } else if (o.target == "floor") {
      floor = std::make_unique<FloorRelay>(o.programs, dir, rig.path());
      fd_a = floor->a().fd();
      fd_b = floor->b().fd();
      watched = &floor->program();
    } else if (o.target == "socat") {
      relay = std::make_unique<SocatRelay>(o.programs, dir, rig.path());
      fd_a = relay->client().fd();
      watched = &relay->program();
    } else {
      direct = std::make_unique<ClientLine>(ClientLine::OpenPath(rig.path()));
      fd_a = direct->fd();
    }
    CatClient a(fd_a);
    CatClient b(fd_b);
    const Deadline setup = After(kSetupTimeout);
    std::vector<PollingClient> clients = {{"A", &a, kQuery, kSetA}};
    SetFrequency(a, kSetA, "A", setup);
    if (fd_b >= 0) {
      SetFrequency(b, kSetB, "B", setup);
      clients.push_back({"B", &b, kQuery, kSetB});
    }

    const long rss_start = ReadProcessUsage(watched->pid()).rss_kib;
    const double cpu_start = ReadProcessUsage(watched->pid()).cpu_seconds;
    PollingLimits limits;
    limits.commands = o.commands;
    limits.seconds = o.seconds;
    limits.timeout = std::chrono::milliseconds(o.timeout_ms);
    limits.progress_every_seconds = 10;
    const PollingResult run = RunPolling(clients, limits, watched);
    long rss_end = -1;
    double cpu = -1;
    if (watched->Running()) {
      const ProcessUsage end = ReadProcessUsage(watched->pid());
      rss_end = end.rss_kib;
      cpu = end.cpu_seconds - cpu_start;
    }

    const long long done = run.answered + run.lost;
    std::printf("  commands: %lld in %.1f s, %.0f commands/s\n", done, run.seconds,
                static_cast<double>(done) / run.seconds);
    std::printf("  answered: %lld\n  lost answers: %lld\n  misrouted answers: %lld\n", run.answered,
                run.lost, run.misrouted);
    std::printf("  late answers (to a query already counted lost): %lld\n", run.late);
    for (const std::string& wrong : run.wrong_examples) std::printf("    %s\n", wrong.c_str());
    std::printf("  %s RSS: %ld KiB at the start, %ld KiB at the end\n", watched->name().c_str(),
                rss_start, rss_end);
    if (cpu >= 0)
      std::printf("  %s CPU: %s\n", watched->name().c_str(), DescribeCpu(cpu, run.seconds).c_str());
    if (!run.aborted.empty()) {
      std::printf("  ended early: %s\n", run.aborted.c_str());
      ok = false;
    }
    if (run.misrouted > 0) ok = false;
    if (o.max_lost >= 0 && run.lost > o.max_lost) {
      std::printf("  lost answers exceed --max-lost %lld\n", o.max_lost);
      ok = false;
    }
    if (bridge && !bridge->StopAndReport()) ok = false;
  } catch (const std::exception& e) {
    std::printf("  failed: %s\n", e.what());
    ok = false;
  }
  return FinishRun(ok, dir);
}

}  // namespace corvane
