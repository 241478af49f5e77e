#pragma once
// Serves the CAT model on one line until a stop signal or the line's end: reads
// commands, sends answers (after the configured delay), logs the traffic.
// Blocks in poll while idle.
#include <chrono>
#include <deque>
#include <string>

#include "tools/simrig/ft2000_model.h"
#include "tools/simrig/simrig_options.h"

namespace corvane {

class SimrigServer {
 public:
  SimrigServer(int line_fd, int stop_fd, const SimrigOptions& options);

  // Returns the process exit code: 0 when stopped or when the device ended, 1 on a failure.
  int Run();

 private:
  using Clock = std::chrono::steady_clock;
  struct Delayed {
    Clock::time_point due;
    std::string bytes;
  };

  bool ReadLine();
  bool Flush();
  void ReleaseDue();
  // A report while auto-information is on, when one is due.
  void ReportIfDue();
  int PollTimeoutMs() const;
  void Log(const char* direction, const std::string& bytes) const;

  int line_fd_;
  int stop_fd_;
  SimrigOptions options_;
  Ft2000Model model_;
  std::deque<Delayed> delayed_;
  std::string outgoing_;
  Clock::time_point next_report_ = Clock::now();
  int exit_code_ = 0;
};

}  // namespace corvane
