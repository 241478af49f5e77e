#pragma once
// Round-trip times of one client asking one query at a time, and their summary.
#include <string>
#include <vector>

#include "tools/bench_bridge/cat_client.h"
#include "tools/bench_bridge/child_program.h"

namespace corvane {

struct RoundTrips {
  std::vector<double> micros;  // answered queries only
  long long lost = 0;          // no answer within the timeout
  long long wrong = 0;         // an answer with another token
  double seconds = 0;
  std::string aborted;
};

// Asks `query` `samples` times, each after the previous answer (or timeout).
// `pause_ms` waits between queries (0: at once). Stops early on a stop signal or
// when the watched program ends.
RoundTrips MeasureRoundTrips(CatClient& client, const std::string& query, long long samples,
                             std::chrono::milliseconds timeout, std::chrono::milliseconds pause,
                             ChildProgram* watched);

// The value at `fraction` (0.5 for the median) of values sorted ascending; not empty.
double Percentile(const std::vector<double>& sorted, double fraction);

// "median 123 us, p99 456 us, max 789 us over 10000 answers, 0 lost, 0 wrong, 8123 queries/s"
std::string Summarize(RoundTrips trips);

}  // namespace corvane
