#pragma once
// An OS object that is signalled or not, as its owner says, so that a thread sleeping in
// the OS's own wait can include it: the main thread's wake-up (signalled while calls are
// queued) and the stop signal of a port's event wait. One file per OS.
#include <cstdint>

namespace corvane {

class WakeSignal {
 public:
  // Throws std::system_error when the OS has no object left for it.
  WakeSignal();
  ~WakeSignal();
  WakeSignal(const WakeSignal&) = delete;
  WakeSignal& operator=(const WakeSignal&) = delete;

  // Safe from any thread and, on POSIX, from a signal handler.
  void Set(bool signalled);
  // An eventfd that is readable while signalled (POSIX), a manual-reset event (Windows).
  std::intptr_t Native() const { return native_; }

 private:
  std::intptr_t native_;
};

}  // namespace corvane
