#pragma once
// Clients polling as fast as answers come, each with one query in flight as real station
// software does. Every answer is checked against the text its client must get; a query whose
// answer does not come within the timeout counts as lost and the client asks again.
#include <string>
#include <vector>

#include "tools/bench_bridge/cat_client.h"
#include "tools/bench_bridge/child_program.h"

namespace corvane {

struct PollingClient {
  std::string name;
  CatClient* client;
  std::string query;
  std::string expected;  // the only answer this client may receive
};

struct PollingLimits {
  long long commands = 0;  // queries to finish over all clients; 0 for no limit
  double seconds = 0;      // wall time to poll; 0 for no limit
  std::chrono::milliseconds timeout{500};
  double progress_every_seconds = 0;  // progress lines on stderr; 0 for none
};

struct PollingResult {
  long long sent = 0;
  long long answered = 0;   // with the expected text
  long long lost = 0;       // no answer within the timeout
  long long misrouted = 0;  // any other text reached the client
  long long late = 0;       // expected text while nothing was in flight (answer to a lost query)
  double seconds = 0;
  std::vector<std::string> wrong_examples;  // "B got FA14070000;", the first few
  std::string aborted;                      // why the run ended early, empty if it did not
};

// Polls until the limits are reached, a stop signal comes, or the watched program ends.
PollingResult RunPolling(std::vector<PollingClient>& clients, const PollingLimits& limits,
                         ChildProgram* watched);

// Adds one run's counts to a total over several (a path's turns), keeping the first few
// wrong answers and the first reason a run ended early.
void AddUp(PollingResult& total, const PollingResult& run);

}  // namespace corvane
