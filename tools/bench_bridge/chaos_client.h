#pragma once
// One client of the chaos run on a `pty:` line of the bridge. It polls its reads in turn, one
// in flight, and sorts every answer that reaches it: an answer to its poll, a refusal, one of
// its own answers that no poll waits for (after a burst, a flood, a hung spell), the other
// client's answer (misrouted), or anything else. While a fault of its own is under way its
// polling is paused: the poll in flight then is abandoned, neither answered nor lost.
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tools/bench_bridge/cat_client.h"
#include "tools/bench_bridge/client_line.h"

namespace corvane {

struct PollRead {
  std::string query;
  std::string answer;  // the only answer this client may get to it
};

struct ChaosCounts {
  long long sent = 0;  // polls
  long long answered = 0;
  long long refused = 0;      // "?;" to a poll
  long long lost = 0;         // no answer within the timeout
  long long abandoned = 0;    // in flight when a fault of the client's own began
  long long extra = 0;        // own answers or refusals that no poll waited for
  long long misrouted = 0;    // the other client's answers
  long long unexpected = 0;   // neither client's
  long long line_errors = 0;  // failed reads or writes on the client's line
};

class ChaosClient {
 public:
  ChaosClient(std::string name, std::string path, std::vector<PollRead> polls,
              std::set<std::string> foreign, std::chrono::milliseconds timeout);

  const std::string& name() const { return name_; }
  const ChaosCounts& counts() const { return counts_; }
  // The first few answers that were not its own, with when they came.
  const std::vector<std::string>& wrong_examples() const { return wrong_examples_; }

  // The open line, for asking before the polls begin.
  CatClient& cat() { return *cat_; }
  // Opens the line's path; false while it cannot be opened.
  bool Open();
  void Close();
  bool open() const { return line_.has_value(); }
  // The line to poll for input; -1 while closed or not reading.
  int ReadFd() const { return open() && reading_ ? line_->fd() : -1; }

  void Pause();
  void Resume() { paused_ = false; }
  // No further polls; the one in flight still counts as answered, refused or lost.
  void StopPolling() { paused_ = true; }
  bool in_flight() const { return in_flight_; }
  void SetReading(bool reading) { reading_ = reading; }
  // Queues bytes for the line and writes what it takes now; the rest follows at the next
  // steps, whole, as from a program whose writes wait for room.
  void Write(std::string_view bytes);
  std::size_t backlog() const { return backlog_.size(); }
  // Reads and sorts what arrived, times out a lost poll, sends the next one. `now_s` labels
  // examples.
  void Step(double now_s);
  // Reads and sorts what is left, at the end of the run.
  void Drain(double now_s);

  // Its reads, `count` of them in turn, as one string.
  std::string Reads(int count) const;
  // Its sets (the values its reads must give back) and reads, for a flood.
  std::string SetsAndReads() const;

 private:
  void Sort(const std::string& answer, double now_s);
  void SendPoll();
  void NoteWrong(const std::string& answer, double now_s);
  void WriteBacklog();

  std::string name_;
  std::string path_;
  std::vector<PollRead> polls_;
  std::set<std::string> foreign_;
  std::chrono::milliseconds timeout_;
  std::optional<ClientLine> line_;
  std::optional<CatClient> cat_;
  std::string backlog_;
  bool paused_ = false;
  bool reading_ = true;
  bool in_flight_ = false;
  std::size_t next_poll_ = 0;
  std::size_t flying_ = 0;
  Deadline due_{};
  ChaosCounts counts_;
  std::vector<std::string> wrong_examples_;
};

}  // namespace corvane
