#pragma once
// What a running program costs, read from /proc: CPU time of all its threads and resident memory.
#include <sys/types.h>

#include <string>

namespace corvane {

struct ProcessUsage {
  double cpu_seconds = 0;  // user plus system time
  long rss_kib = 0;        // resident set size
};

// Throws std::runtime_error when the process has gone.
ProcessUsage ReadProcessUsage(pid_t pid);

// "0.42 s CPU over 30.0 s (1.4 %)".
std::string DescribeCpu(double cpu_seconds, double wall_seconds);

}  // namespace corvane
