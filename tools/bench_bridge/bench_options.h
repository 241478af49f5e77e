#pragma once
// The benchmark's command line: one subcommand and its options.
#include <optional>
#include <string>
#include <vector>

#include "tools/bench_bridge/bench_targets.h"
#include "tools/bench_bridge/chaos_faults.h"

namespace corvane {

enum class BenchMode { kLatency, kSoak, kIdle, kChaos };

struct BenchOptions {
  BenchMode mode = BenchMode::kLatency;
  ProgramPaths programs;
  int timeout_ms = 500;
  bool keep_dir = false;
  // latency: target names, or LABEL=PATH for a further bridge program under that label
  std::vector<std::string> targets = {"direct",      "socat",           "floor",
                                      "corvane",     "corvane-threads", "corvane-tcp",
                                      "corvane-tcp4"};
  long long samples = 10'000;
  double idle_seconds = 30;  // 60 for the idle subcommand
  double load_seconds = 10;
  // soak
  std::string target = "corvane";
  long long commands = 1'000'000;
  double seconds = 0;       // by time instead of by count when set; chaos: its length
  long long max_lost = -1;  // report only
  // idle
  int poll_interval_ms = 1000;
  double duration_seconds = 600;
  // chaos
  long long seed = -1;  // drawn and printed when not given
  std::vector<Fault> faults = AllFaults();
  int refuse_every = 7;  // the transceiver refuses one read in this many; 0 for none
};

// Parses the arguments after the program name; on a bad command line returns nothing and
// puts the reason into error.
std::optional<BenchOptions> ParseBenchOptions(const std::vector<std::string>& args,
                                              std::string& error);

inline constexpr const char* kBenchUsage =
    "usage: corvane-bench-bridge latency [--samples N] [--idle-seconds S] [--load-seconds S]\n"
    "                                    [--targets direct,socat,floor,corvane,corvane-threads,\n"
    "                                               corvane-tcp,corvane-tcp4,LABEL=PATH...]\n"
    "       corvane-bench-bridge soak [--commands N | --seconds S] [--max-lost N]\n"
    "                                 [--target corvane|corvane-threads|floor|socat|direct]\n"
    "       corvane-bench-bridge idle [--idle-seconds S] [--poll-interval-ms N]\n"
    "                                 [--duration-seconds S]\n"
    "       corvane-bench-bridge chaos [--seconds S] [--seed N] [--refuse N]\n"
    "                                  [--faults reopen-client,pull-rig,silence-rig,burst,flood,\n"
    "                                            noise,hung-client]\n"
    "common: [--timeout-ms N] (answer timeout, default 500, chaos 1500) [--corvane PATH] [--simrig "
    "PATH]\n"
    "        [--floor PATH] [--socat PATH] [--keep-dir]\n"
    "corvane runs the bridge as it ships, its main loop watching the lines; corvane-threads with\n"
    "an event thread per line (--event-threads).\n"
    "corvane-tcp runs the bridge with port A a TCP line and one client connected to it,\n"
    "corvane-tcp4 with four.\n"
    "A latency target LABEL=PATH runs the bridge program at PATH under LABEL, beside the others,\n"
    "e.g. an earlier build: before=/path/to/corvane.";

}  // namespace corvane
