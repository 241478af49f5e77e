#pragma once
// Clients talking through the bridge on fixed schedules while everything each one receives
// is kept, so a test can count every client's answers against its queries.
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "tests/app/corvane_process.h"

namespace corvane::test {

// Commands one client sends on a fixed period, the n-th (from 0) n periods after the start.
struct CommandStream {
  std::size_t client;  // index into the clients given to RunTraffic
  std::chrono::milliseconds period;
  std::function<std::string(int n)> command;
  bool answered;  // whether the transceiver answers these commands
};

// The same command every time.
std::function<std::string(int)> Repeat(const std::string& command);

// A client's line; one that does not read lets its line fill up.
struct TrafficClient {
  TrafficClient(PtyPair* line, bool reads = true) : line(line), reads(reads) {}
  PtyPair* line;
  bool reads;
};

struct ClientTraffic {
  int commands = 0;
  std::size_t queries = 0;           // commands the transceiver answers
  std::vector<std::string> answers;  // everything received, cut after each ";"
  std::string partial;               // received bytes after the last ";"
  // When each query was sent, and for each answer the time since its query was sent (the
  // n-th answer belongs to the n-th query).
  std::vector<std::chrono::steady_clock::time_point> asked;
  std::vector<std::chrono::microseconds> round_trips;
};

// Sends the streams for `duration`, then reads on until every reading client has as many
// answers as queries or `settle` has passed. One entry per client.
std::vector<ClientTraffic> RunTraffic(const std::vector<TrafficClient>& clients,
                                      const std::vector<CommandStream>& streams,
                                      std::chrono::milliseconds duration,
                                      std::chrono::milliseconds settle = kAnswerTimeout);

// Waits until something arrives from a reading client or the deadline, and keeps what came.
void Listen(const std::vector<TrafficClient>& clients, std::vector<ClientTraffic>& traffic,
            Deadline until);

}  // namespace corvane::test
