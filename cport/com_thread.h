#pragma once
// The event thread of an open port: it waits on the device for line events and hands each
// batch to the port, on the main thread or on itself as the port's SyncMethod says.
//
// Constructed and destroyed on the main thread. Destruction stops the thread and waits
// for it while serving its pending calls into the main thread, so a batch being delivered
// completes first. What a handler raises under smThreadSync or smNone ends the thread; it
// is kept, unshown, until the thread is destroyed.
//
// Under smThreadSync the thread waits on the device again while the main thread runs the
// handlers of its last batch, rather than waking only to go back to waiting once they
// return; it hands the next batch over once they have all returned, with every event that
// occurred until then, as if it had waited only then.
#include <atomic>
#include <exception>
#include <thread>

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
  // The device refused the event wait (gone, hung up): set before the failure is reported,
  // so whoever hears of it can rely on it.
  bool WaitRefused() const { return FWaitRefused.load(); }
  // Whether stopping the thread from the calling thread would wait for itself: the caller
  // is the thread, or runs the handlers of a batch the thread waits for (smThreadSync).
  bool WaitsForCaller() const;

 private:
  void Execute();
  // The wait-and-dispatch loop of Execute.
  void Watch();
  // The handled events of the device's batch: in, the events the wait reported, out, the
  // whole batch to hand over, empty when nobody acts on any of them. Waits first for the
  // batch still being delivered.
  TComEvents NextBatch(TComEvents reported);
  void DispatchEvents();
  void ForwardEventsToWindow();
  void RunEventHandlers();
  // Hands a failed wait to the port's error route on the main thread, so monitoring does
  // not end unheard.
  void ReportWaitFailure(int error);

  TCustomComPort* FComPort;
  corvane::platform::Device* FDevice;
  std::atomic<bool> FWaitRefused{false};
  corvane::platform::StopSignal FStopEvent;
  // The batch being delivered: written by the thread before each dispatch, read by the
  // main thread only until the thread has collected the delivery.
  TComEvents FEvents;
  corvane::PendingCall FDelivery;  // smThreadSync: the batch handed to the main thread
  // Set while the main thread runs the handlers of a batch handed over by FDelivery.
  std::atomic<bool> FRunningDelivery{false};
  std::atomic<std::thread::id> FThreadId{};
  corvane::ServedThread FThread;   // last, so it ends before the members it uses go
};
