#pragma once
// The figures of every target of one latency run, printed side by side at its end.
#include <optional>
#include <string>
#include <vector>

namespace corvane {

struct TargetFigures {
  std::string label;
  int clients = 0;
  std::optional<double> median_us, p99_us;  // one client, one query at a time
  std::optional<double> commands_per_s;     // every client polling
  // Of the relay program between the clients and the transceiver, per answered command
  // while every client polls; none for the transceiver alone.
  std::optional<double> cpu_us, switches;
  std::optional<double> syscalls;  // also none when the kernel does not let us count them
  std::optional<double> idle_percent, idle_wakeups_per_s;
};

// One row per target; latency added over the target labelled "direct" where the run has it.
void PrintFiguresTable(const std::vector<TargetFigures>& rows);

}  // namespace corvane
