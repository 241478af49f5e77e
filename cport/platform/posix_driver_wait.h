#pragma once
// A helper thread for what a tty's event wait cannot poll for together with its data
// (modem-line changes, the output having drained): the thread blocks in the driver's own
// wait and makes a descriptor readable after each completion, so the event wait sleeps
// until something happened instead of looking at intervals.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "cport/platform/unique_fd.h"

namespace corvane::platform {

class DriverWaitThread {
 public:
  // wait blocks until the awaited thing happens: 0 when it did, EINTR when interrupt made it
  // return, any other code ends the thread (the driver has no such wait, or the device went).
  // interrupt makes a wait in progress on the given thread return; Stop() repeats it until
  // the thread has ended, so an interruption that comes just before the wait is not lost.
  using Wait = std::function<int()>;
  using Interrupt = std::function<void(std::thread&)>;

  DriverWaitThread(Wait wait, Interrupt interrupt);
  ~DriverWaitThread();
  DriverWaitThread(const DriverWaitThread&) = delete;
  DriverWaitThread& operator=(const DriverWaitThread&) = delete;

  // Starts the thread (0, or the platform code when it cannot).
  int Start();
  void Stop();
  bool Running() const;
  // Valid from construction (-1 when the system had no descriptor left, and Start() fails).
  // Readable after each completion, and once more when the thread ends on its own; Consume() it.
  int Fd() const { return fd_.get(); }
  void Consume();
  // Why the thread ended on its own; 0 while it runs or after Stop().
  int Error() const;

 private:
  void Run();

  Wait wait_;
  Interrupt interrupt_;
  UniqueFd fd_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable ended_;
  bool stopping_ = false;
  bool running_ = false;
  int error_ = 0;
};

// Interrupts a thread blocked in a driver call with a signal whose handler does nothing
// and does not restart the call, so the call fails with EINTR.
void InterruptDriverCall(std::thread& thread);

}  // namespace corvane::platform
