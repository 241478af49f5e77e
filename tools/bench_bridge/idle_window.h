#pragma once
// What a program costs while nobody talks to it.
#include <string>

#include "tools/bench_bridge/child_program.h"
#include "tools/bench_bridge/process_usage.h"

namespace corvane {

struct IdleCost {
  double cpu_seconds = 0;
  double wall_seconds = 0;
  long rss_start_kib = 0;
  long rss_end_kib = 0;
  std::string aborted;  // set when the program ended or a stop signal came
};

// Waits `seconds` without touching the program's lines and reads its usage before and after.
IdleCost MeasureIdle(ChildProgram& program, double seconds);

}  // namespace corvane
