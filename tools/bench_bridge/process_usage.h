#pragma once
// What a running program costs, read from /proc: CPU time, context switches and resident
// memory, summed over its threads.
#include <sys/types.h>

#include <string>

namespace corvane {

struct ProcessUsage {
  // User plus system time of the threads alive now, to the nanosecond where the kernel keeps
  // scheduler statistics, else to the clock tick (then including threads that have ended).
  double cpu_seconds = 0;
  long long voluntary_switches = 0;  // a thread went to sleep: one per wake-up
  long long involuntary_switches = 0;
  long rss_kib = 0;  // resident set size
};

// Throws std::runtime_error when the process has gone.
ProcessUsage ReadProcessUsage(pid_t pid);

// "0.42 s CPU over 30.0 s (1.4 %)".
std::string DescribeCpu(double cpu_seconds, double wall_seconds);

}  // namespace corvane
