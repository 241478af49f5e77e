#pragma once
// The system calls a running program makes, counted per thread by the kernel's syscall-entry
// tracepoint: /proc keeps no total of them. Needs tracefs and the permission to trace the
// program; without them the count is unavailable and says why.
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "tools/bench_bridge/owned_fd.h"

namespace corvane {

class SyscallCount {
 public:
  // Starts counting for the threads the program has now and those they start later.
  explicit SyscallCount(pid_t pid);

  // The calls since construction; nothing when counting is unavailable.
  std::optional<long long> Read() const;
  const std::string& unavailable_because() const { return why_not_; }

 private:
  std::vector<OwnedFd> counters_;  // one per thread
  std::string why_not_;
};

}  // namespace corvane
