// corvane-bench-bridge: latency, throughput, soak and idle cost of the bridge between two CAT
// clients and the simulated transceiver, with a bare socat relay and the transceiver alone
// as baselines; and the bridge under faults thrown at it.
#include <cstdio>

#include "tools/bench_bridge/bench_options.h"
#include "tools/bench_bridge/bench_runs.h"
#include "tools/bench_bridge/stop_request.h"

int main(int argc, char** argv) {
  using namespace corvane;
  std::string error;
  const std::optional<BenchOptions> options =
      ParseBenchOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::fprintf(stderr, "corvane-bench-bridge: %s\n%s\n", error.c_str(), kBenchUsage);
    return 2;
  }
  InstallStopHandlers();
  switch (options->mode) {
    case BenchMode::kLatency:
      return RunLatencyBench(*options);
    case BenchMode::kSoak:
      return RunSoak(*options);
    case BenchMode::kIdle:
      return RunIdleBench(*options);
    case BenchMode::kChaos:
      return RunChaos(*options);
  }
  return 2;
}
