#pragma once
// A CAT client on one line: sends commands and cuts what comes back into answers at ";".
// Never blocks longer than the deadline it is given.
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "tools/bench_bridge/deadline.h"

namespace corvane {

class CatClient {
 public:
  explicit CatClient(int fd) : fd_(fd) {}

  int fd() const { return fd_; }
  // Writes all bytes; throws std::system_error when the line fails or stays full past 1 s.
  void Send(std::string_view bytes);
  // Reads what has arrived without waiting; throws when the line has failed.
  void ReadWaiting();
  // The oldest complete answer received, if any.
  std::optional<std::string> TakeAnswer();
  // Waits for the next complete answer until the deadline.
  std::optional<std::string> AwaitAnswer(Deadline deadline);
  // Sends a query and waits for its answer; nothing when it does not come in time.
  std::optional<std::string> Ask(std::string_view query, Deadline deadline);
  // Forgets answers and partial bytes, e.g. stray answers to a query given up on.
  void Discard();

 private:
  int fd_;
  std::string partial_;
  std::deque<std::string> answers_;
};

}  // namespace corvane
