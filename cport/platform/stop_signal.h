#pragma once
// A one-way signal that tells a thread blocked in Device::WaitCommEvent to give up. Once
// set it stays set. Set() may be called from any thread, any number of times.
#include "cport/platform/unique_fd.h"

namespace corvane::platform {

class StopSignal {
 public:
  // Throws std::system_error when the system has no descriptor left for it.
  StopSignal();

  void Set();
  bool IsSet() const;
  // A descriptor that polls readable once the signal is set; backends wait on it.
  int PollFd() const { return fd_.get(); }

 private:
  UniqueFd fd_;
};

}  // namespace corvane::platform
