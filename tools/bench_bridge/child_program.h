#pragma once
// A program the benchmark starts: the simulated transceiver, a socat relay or the bridge.
// It runs in a given directory with stderr (and, unless captured, stdout) going to a file,
// dies with the benchmark (parent-death signal), and is stopped and reaped on destruction.
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "tools/bench_bridge/deadline.h"
#include "tools/bench_bridge/owned_fd.h"

namespace corvane {

// How to start one: its command line, where, and where its output goes.
struct ChildLaunch {
  std::vector<std::string> argv;
  std::string directory;    // current directory of the child; empty for ours
  std::string output_file;  // stderr, and stdout unless capture_stdout
  bool capture_stdout = false;
};

class ChildProgram {
 public:
  explicit ChildProgram(const ChildLaunch& launch);
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;
  ~ChildProgram();

  pid_t pid() const { return pid_; }
  const std::string& name() const { return name_; }
  // The next line of the captured stdout, or nothing by the deadline or at its end.
  std::optional<std::string> ReadLine(Deadline deadline);
  // True while the program has not ended; reaps it when it has.
  bool Running();
  // SIGTERM, then SIGKILL if it has not ended by the deadline. Returns the exit status,
  // or -signal when a signal ended it.
  int Stop(Deadline deadline);
  // How it ended, once it has.
  std::optional<int> status() const { return status_; }

 private:
  bool WaitUntil(Deadline deadline);

  pid_t pid_ = -1;
  std::string name_;
  OwnedFd out_;
  std::string out_text_;
  std::optional<int> status_;
};

// "exit 0", "killed by signal 9".
std::string DescribeStatus(int status);

}  // namespace corvane
