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
  Resume();
}

void TComLoopWatch::Resume() {
  FWatch = FWatcher.Watch(FComPort->FDevice->EventFd(), corvane::DescriptorWatcher::kReadable,
                          [this] { Look(); });
}

TComLoopWatch::~TComLoopWatch() {
  if (Ended()) return;
  End();
  FComPort->FDevice->SetCommMask(0);
}

void TComLoopWatch::End() {
  FWatcher.Unwatch(std::exchange(FWatch, -1));
}

void TComLoopWatch::Look() {
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
  const WaitResult r = device->LookCommEvent();
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
  if (FComPort->FDevice.get() == device) device->EndLook();
  if (std::exchange(FPaused, false)) Resume();
}
