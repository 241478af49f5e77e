#pragma once
// The three runs of the benchmark; each prints its figures and returns the exit status.
#include "tools/bench_bridge/bench_options.h"

namespace corvane {

// Round-trip latency direct, through socat and through the bridge; routed commands per
// second with two clients; the bridge's CPU and memory idle and under that load.
int RunLatencyBench(const BenchOptions& options);
// Two clients polling through the bridge for a long time; lost and misrouted answers.
int RunSoak(const BenchOptions& options);
// The bridge's CPU while idle, and queries lost to its port resets under slow polling.
int RunIdleBench(const BenchOptions& options);
// The bridge under faults thrown at it for a while; misrouted answers, resets, memory, trace.
int RunChaos(const BenchOptions& options);

}  // namespace corvane
