#pragma once
// The event thread of an open port: it waits on the device for line events and hands each
// batch to the port, on the main thread or on itself as the port's SyncMethod says.
//
// Constructed and destroyed on the main thread. Destruction stops the thread and waits
// for it while serving its pending calls into the main thread, so a batch being delivered
// completes first. What a handler raises under smThreadSync or smNone ends the thread; it
// is kept, unshown, until the thread is destroyed.
#include <exception>

#include "cport/cport_types.h"
#include "cport/platform/stop_signal.h"
#include "rt/main_thread.h"

class TCustomComPort;
namespace corvane::platform {
class Device;
}

class TComThread {
 public:
  // Sets the device's event mask from the port's Events and starts watching.
  explicit TComThread(TCustomComPort* AComPort);
  ~TComThread();
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;

  void SignalStop();
  // Signals the stop and waits for the thread, serving its pending calls meanwhile.
  void Stop();
  bool Ended() const { return FThread.Ended(); }
  // What ended the thread early; null while it runs or after a regular stop.
  std::exception_ptr Error() const { return FThread.Error(); }

 private:
  void Execute();
  void DispatchEvents();
  void ForwardEventsToWindow();
  void RunEventHandlers();

  TCustomComPort* FComPort;
  corvane::platform::Device* FDevice;
  corvane::platform::StopSignal FStopEvent;
  // The batch being delivered: written by the thread before each dispatch, read by the
  // main thread only while the thread waits for it.
  TComEvents FEvents;
  corvane::ServedThread FThread;  // last, so it ends before the members it uses go
};
