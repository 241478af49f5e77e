#pragma once
// A one-way signal that tells a thread blocked in Device::WaitCommEvent to give up. Once
// set it stays set. Set() may be called from any thread, any number of times.
#include <atomic>
#include <cstdint>

#include "rt/wake_signal.h"

namespace corvane::platform {

class StopSignal {
 public:
  // Throws std::system_error when the system has no object left for it.
  StopSignal();

  void Set();
  // A plain load: the waiting thread asks after every wake-up.
  bool IsSet() const { return set_.load(std::memory_order_acquire); }
  // POSIX: a descriptor that polls readable once the signal is set; backends wait on it.
  int PollFd() const { return static_cast<int>(signal_.Native()); }
  // Windows: a manual-reset event, signalled once the signal is set.
  void* EventHandle() const { return reinterpret_cast<void*>(signal_.Native()); }
  // Tells signals apart over the life of the process, unlike their addresses and
  // descriptors, which a later signal may reuse; for backends that keep the descriptor
  // registered between waits.
  uint64_t Serial() const { return serial_; }

 private:
  corvane::WakeSignal signal_;
  uint64_t serial_;
  std::atomic<bool> set_{false};
};

}  // namespace corvane::platform
