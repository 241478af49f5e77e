#pragma once
// Event monitoring by the main thread's own loop, in place of an event thread: the loop
// watches the device's descriptor and, when it is ready, the port looks at what happened
// exactly as its event thread would, and runs the handlers there and then. Same events,
// same batches, same order; no thread and no hand-over between a byte and its handler.
//
// Main thread only. Used for a port with LoopDelivery whose events go to the main thread
// (smThreadSync), whose device offers a descriptor, while the loop can watch descriptors.
// What a handler raises ends the monitoring and is kept, unshown, as an event thread keeps
// it; a device that refuses the look ends it too, reported through the port's error route.
#include <exception>

#include "cport/cport_types.h"

class TCustomComPort;
namespace corvane {
class DescriptorWatcher;
}

class TComLoopWatch {
 public:
  // Sets the device's event mask from the port's Events and starts watching.
  TComLoopWatch(TCustomComPort* AComPort, corvane::DescriptorWatcher& Watcher);
  // Stops watching; the event mask is cleared unless monitoring ended by a failure.
  ~TComLoopWatch();
  TComLoopWatch(const TComLoopWatch&) = delete;
  TComLoopWatch& operator=(const TComLoopWatch&) = delete;

  bool Ended() const { return FWatch < 0 && !FPaused; }
  // What ended the monitoring early; null while it runs.
  std::exception_ptr Error() const { return FError; }
  // Whether the caller runs inside the handlers of a batch (a close from there would end
  // the monitoring under its own feet).
  bool WaitsForCaller() const { return FRunning; }

 private:
  void Resume();
  // lineReady: woken by the line's own descriptor rather than the device's event set.
  void Look(bool lineReady);
  // Watches the line's descriptor while the device leaves it out of its set.
  void FollowLine();
  void End();

  TCustomComPort* FComPort;
  corvane::DescriptorWatcher& FWatcher;
  int FWatch = -1;
  int FLineWatch = -1;
  bool FRunning = false;
  bool FPaused = false;  // unwatched while a handler's own loop runs
  std::exception_ptr FError;
};
