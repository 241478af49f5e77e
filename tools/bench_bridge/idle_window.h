#pragma once
// What a program costs while nobody talks to it.
#include <string>

#include "tools/bench_bridge/child_program.h"
#include "tools/bench_bridge/process_usage.h"

namespace corvane {

struct IdleCost {
  double cpu_seconds = 0;
  double wall_seconds = 0;
  long long wakeups = 0;  // times one of its threads woke from a sleep
  long rss_start_kib = 0;
  long rss_end_kib = 0;
  std::string aborted;  // set when the program ended or a stop signal came
};

// Waits `seconds` without touching the program's lines and reads its usage before and after.
IdleCost MeasureIdle(ChildProgram& program, double seconds);

// "0.0012 % of a core, 2.0 wake-ups/s, RSS 3264 KiB -> 3264 KiB".
std::string DescribeIdle(const IdleCost& idle);

}  // namespace corvane
