#pragma once
// A program started by a test, with its stdout and stderr on pipes. The destructor
// kills and reaps it if it is still running.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace corvane::test {

using Deadline = std::chrono::steady_clock::time_point;
inline Deadline In(std::chrono::milliseconds ms) {
  return std::chrono::steady_clock::now() + ms;
}
// Milliseconds left until the deadline, for poll.
int MsLeft(Deadline deadline);

class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv);
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  pid_t pid() const { return pid_; }
  // The next line of stdout without its newline, or nothing by the deadline.
  std::optional<std::string> ReadLine(Deadline deadline);
  void Signal(int signal) const;
  // The exit status once the program has ended (-signal if killed), or nothing by the deadline.
  // Drains stdout and stderr meanwhile so the program never blocks on a full pipe.
  std::optional<int> Wait(Deadline deadline);
  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  bool Drain(int timeout_ms);

  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::string out_;
  std::string err_;
  std::size_t out_taken_ = 0;
  std::optional<int> status_;
};

}  // namespace corvane::test
