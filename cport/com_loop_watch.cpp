#include "cport/com_loop_watch.h"

#include <utility>

#include "cport/com_event_mask.h"
#include "cport/cport.h"
#include "rt/descriptor_watch.h"
#include "rt/main_thread.h"

using namespace corvane::platform;

TComLoopWatch::TComLoopWatch(TCustomComPort* AComPort, corvane::DescriptorWatcher& Watcher)
    : FComPort(AComPort), FWatcher(Watcher) {
  // The result is not looked at: a device that refuses the mask simply reports nothing.
  FComPort->FDevice->SetCommMask(EventSetToMask(FComPort->FEvents));
  // An arrival then wakes the loop on the line itself, with no look into the device's set.
  if (FComPort->FDevice->LineFd() >= 0) FComPort->FDevice->WatchLineOutside(true);
  Resume();
}

void TComLoopWatch::Resume() {
  FWatch = FWatcher.Watch(FComPort->FDevice->EventFd(), corvane::DescriptorWatcher::kReadable,
                          [this] { Look(false); });
  FollowLine();
}

void TComLoopWatch::FollowLine() {
  Device* device = FComPort->FDevice.get();
  const bool outside = FWatch >= 0 && device->LineWatchedOutside();
  if (outside && FLineWatch < 0) {
    FLineWatch = FWatcher.Watch(device->LineFd(), corvane::DescriptorWatcher::kReadable,
                                [this] { Look(true); });
  } else if (!outside && FLineWatch >= 0) {
    FWatcher.Unwatch(std::exchange(FLineWatch, -1));
  }
}

TComLoopWatch::~TComLoopWatch() {
  Device* device = FComPort->FDevice.get();
  if (!Ended()) {
    End();
    device->SetCommMask(0);
  }
  // An event thread that watches later waits on the device's set alone.
  if (device) device->WatchLineOutside(false);
}

void TComLoopWatch::End() {
  FWatcher.Unwatch(std::exchange(FWatch, -1));
  if (FLineWatch >= 0) FWatcher.Unwatch(std::exchange(FLineWatch, -1));
}

void TComLoopWatch::Look(bool lineReady) {
  if (FRunning) {
    // A handler runs a loop of its own (a modal dialog): the next batch waits until this
    // one's handlers have returned, as it would for an event thread. Unwatched meanwhile,
    // or the ready device would wake that loop again and again.
    End();
    FPaused = true;
    return;
  }
  if (Ended()) return;
  Device* device = FComPort->FDevice.get();
  const WaitResult r = lineReady ? device->LookLineEvent() : device->LookCommEvent();
  if (r.Outcome == WaitResult::Failed) {
    // As the event thread: the device refused, and would refuse again at once.
    End();
    device->SetCommMask(0);
    FError = std::make_exception_ptr(EComPort(CE_WaitFailed + 1, r.Error));
    try {
      FComPort->ReportPortError(CE_WaitFailed + 1, r.Error);
    } catch (...) {
      corvane::MainThread::Instance().HandleException(std::current_exception());
    }
    return;
  }
  const TComEvents reported = MaskToEventSet(r.Mask);
  const auto handled = TComEvents::FromBits(FComPort->FHandledEvents.load());
  if ((reported & handled).empty()) {
    device->EndLook();
    FollowLine();
    return;
  }
  FRunning = true;
  try {
    FComPort->RunEventHandlers(reported);
  } catch (...) {
    FRunning = false;
    FPaused = false;
    End();
    FError = std::current_exception();
    // The handler may have closed the port: the device is asked only while it is there.
    if (FComPort->FDevice.get() == device) device->EndLook();
    return;
  }
  FRunning = false;
  if (FComPort->FDevice.get() != device) return;
  device->EndLook();
  if (std::exchange(FPaused, false)) {
    Resume();
  } else if (!Ended()) {
    FollowLine();
  }
}
