#include "tools/bench_bridge/bench_options.h"

#include <charconv>
#include <functional>
#include <map>
#include <sstream>

namespace corvane {
namespace {

// Paths of the programs next to the benchmark in the same build tree.
#ifndef CORVANE_BENCH_CORVANE
#define CORVANE_BENCH_CORVANE "corvane"
#endif
#ifndef CORVANE_BENCH_SIMRIG
#define CORVANE_BENCH_SIMRIG "corvane-simrig"
#endif
#ifndef CORVANE_BENCH_FLOOR
#define CORVANE_BENCH_FLOOR "corvane-relay-floor"
#endif

bool ToNumber(const std::string& text, double& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && value >= 0;
}

bool ToCount(const std::string& text, long long& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && value >= 0;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, ',');) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

bool KnownTarget(const std::string& name) {
  return name == "direct" || name == "socat" || name == "floor" || name == "corvane" ||
         EventThreadsOf(name);
}

// The bridge with its port A as a TCP line, and how many connections talk through it.
bool TcpTarget(const std::string& name) {
  return TcpClientsOf(name) > 0;
}

// LABEL=PATH: a further bridge program; the label must not pass for a known target.
bool BridgeAtPath(const std::string& target) {
  const std::size_t eq = target.find('=');
  return eq != std::string::npos && eq > 0 && eq + 1 < target.size() &&
         !KnownTarget(target.substr(0, eq)) && !TcpTarget(target.substr(0, eq));
}

}  // namespace

std::optional<BenchOptions> ParseBenchOptions(const std::vector<std::string>& args,
                                              std::string& error) {
  BenchOptions options;
  options.programs.corvane = CORVANE_BENCH_CORVANE;
  options.programs.simrig = CORVANE_BENCH_SIMRIG;
  options.programs.relay_floor = CORVANE_BENCH_FLOOR;
  if (args.empty()) {
    error = "no subcommand";
    return std::nullopt;
  }
  const std::map<std::string, BenchMode> modes = {{"latency", BenchMode::kLatency},
                                                  {"soak", BenchMode::kSoak},
                                                  {"idle", BenchMode::kIdle},
                                                  {"chaos", BenchMode::kChaos}};
  const auto mode = modes.find(args[0]);
  if (mode == modes.end()) {
    error = "unknown subcommand " + args[0];
    return std::nullopt;
  }
  options.mode = mode->second;
  if (options.mode == BenchMode::kIdle) options.idle_seconds = 60;
  if (options.mode == BenchMode::kChaos) {
    // Longer than the bridge's own give-up, so an answer it still delivers is not counted lost.
    options.timeout_ms = 1500;
    options.seconds = 180;
  }

  long long count = 0;
  auto count_into = [&](auto& field) {
    return [&field, &count](const std::string& v) {
      if (!ToCount(v, count)) return false;
      field = static_cast<std::remove_reference_t<decltype(field)>>(count);
      return true;
    };
  };
  auto seconds_into = [](double& field) {
    return [&field](const std::string& v) { return ToNumber(v, field); };
  };
  auto text_into = [](std::string& field) {
    return [&field](const std::string& v) {
      field = v;
      return !v.empty();
    };
  };
  bool by_commands = false;
  bool by_seconds = false;
  const std::map<std::string, std::function<bool(const std::string&)>> valued = {
      {"--timeout-ms", count_into(options.timeout_ms)},
      {"--corvane", text_into(options.programs.corvane)},
      {"--simrig", text_into(options.programs.simrig)},
      {"--socat", text_into(options.programs.socat)},
      {"--floor", text_into(options.programs.relay_floor)},
      {"--samples", count_into(options.samples)},
      {"--idle-seconds", seconds_into(options.idle_seconds)},
      {"--load-seconds", seconds_into(options.load_seconds)},
      {"--targets",
       [&](const std::string& v) {
         options.targets = SplitList(v);
         for (const std::string& t : options.targets) {
           if (!KnownTarget(t) && !TcpTarget(t) && !BridgeAtPath(t)) return false;
         }
         return !options.targets.empty();
       }},
      {"--target",
       [&](const std::string& v) {
         options.target = v;
         return KnownTarget(v);
       }},
      {"--commands",
       [&](const std::string& v) {
         by_commands = true;
         return ToCount(v, options.commands) && options.commands > 0;
       }},
      {"--seconds",
       [&](const std::string& v) {
         by_seconds = true;
         return ToNumber(v, options.seconds) && options.seconds > 0;
       }},
      {"--max-lost", count_into(options.max_lost)},
      {"--poll-interval-ms", count_into(options.poll_interval_ms)},
      {"--duration-seconds", seconds_into(options.duration_seconds)},
      {"--seed", count_into(options.seed)},
      {"--refuse", count_into(options.refuse_every)},
      {"--faults",
       [&](const std::string& v) {
         const std::optional<std::vector<Fault>> faults = ParseFaults(v);
         if (faults) options.faults = *faults;
         return faults.has_value();
       }},
  };

  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--keep-dir") {
      options.keep_dir = true;
      continue;
    }
    const auto option = valued.find(args[i]);
    if (option == valued.end()) {
      error = "unknown option " + args[i];
      return std::nullopt;
    }
    if (i + 1 >= args.size()) {
      error = args[i] + " needs a value";
      return std::nullopt;
    }
    if (!option->second(args[i + 1])) {
      error = "bad value for " + args[i] + ": " + args[i + 1];
      return std::nullopt;
    }
    ++i;
  }
  if (by_commands && by_seconds) {
    error = "give --commands or --seconds, not both";
    return std::nullopt;
  }
  // A run by time polls as many commands as fit.
  if (by_seconds) options.commands = 0;
  if (options.timeout_ms <= 0 || options.poll_interval_ms <= 0) {
    error = "--timeout-ms and --poll-interval-ms must be positive";
    return std::nullopt;
  }
  return options;
}

}  // namespace corvane
