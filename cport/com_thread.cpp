#include "cport/com_thread.h"

#include "cport/com_event_mask.h"
#include "cport/cport.h"

using namespace corvane::platform;

TComThread::TComThread(TCustomComPort* AComPort)
    : FComPort(AComPort), FDevice(AComPort->FDevice.get()) {
  // The result is not looked at: a device that refuses the mask simply reports nothing.
  FDevice->SetCommMask(EventSetToMask(FComPort->FEvents));
  FThread.Start([this] { Execute(); });
}

TComThread::~TComThread() {
  Stop();
}

void TComThread::Stop() {
  SignalStop();
  corvane::MainThread::Instance().JoinServing(FThread);
}

void TComThread::SignalStop() {
  FStopEvent.Set();
}

bool TComThread::WaitsForCaller() const {
  return FRunningDelivery || FThreadId.load() == std::this_thread::get_id();
}

void TComThread::ReportWaitFailure(int error) {
  // Without a main thread nobody takes the report, and a close would wait for it for ever;
  // the failure still ends monitoring, kept as the thread's end.
  if (!corvane::MainThread::Instance().Attached()) return;
  TCustomComPort* port = FComPort;
  // Send, not a synchronous call: what the report raises goes to the application's
  // exception handler, which shows it, instead of coming back here. A close waiting for
  // this thread serves the call first, so the port is still there when it runs.
  corvane::MainThread::Instance().Send(
      [port, error] { port->ReportPortError(CE_WaitFailed + 1, error); });
}

void TComThread::Execute() {
  FThreadId.store(std::this_thread::get_id());
  try {
    Watch();
  } catch (...) {
    // A batch still queued for the main thread is delivered before the thread ends: a
    // close that joins this thread would otherwise leave the batch waiting for ever. The
    // failure that ended the watch is the one kept.
    try {
      FDelivery.Finish();
    } catch (...) {
    }
    throw;
  }
}

void TComThread::Watch() {
  for (;;) {
    const WaitResult r = FDevice->WaitCommEvent(FStopEvent);
    // The stop wins over events that came with it.
    if (r.Outcome == WaitResult::Stopped || FStopEvent.IsSet()) break;
    if (r.Outcome == WaitResult::Failed) {
      FWaitRefused.store(true);
      FDelivery.Finish();
      // The device refused the wait (gone, hung up): waiting again would only fail again at
      // once. Monitoring ends here; reopening the port starts it afresh.
      FDevice->SetCommMask(0);
      ReportWaitFailure(r.Error);
      // Also kept as the thread's end, so the close knows the thread was not stopped by it.
      throw EComPort(CE_WaitFailed + 1, r.Error);
    }
    const TComEvents batch = NextBatch(MaskToEventSet(r.Mask));
    // A stop that came while the last batch was being delivered wins over this one: only
    // the batch already handed over completes inside the close.
    if (FStopEvent.IsSet()) break;
    if (batch.empty()) continue;
    FEvents = batch;
    DispatchEvents();
  }
  // A batch being delivered completes first; what its handlers raised ends the thread here.
  FDelivery.Finish();
  FDevice->SetCommMask(0);
}

TComEvents TComThread::NextBatch(TComEvents reported) {
  const auto handled =
      TComEvents::FromBits(FComPort->FHandledEvents.load(std::memory_order_acquire));
  // A batch nobody acts on would cost a trip to the main thread that changes nothing.
  if ((reported & handled).empty()) return {};
  if (!FDelivery.Started()) return reported;
  const bool ran = FDelivery.Ran();
  FDelivery.Finish();
  // Had the thread waited only now, what occurred while the handlers ran would be part of
  // this batch.
  return ran ? reported : reported | MaskToEventSet(FDevice->PollCommEvent());
}

void TComThread::DispatchEvents() {
  switch (FComPort->FSyncMethod) {
    case smThreadSync:
      FDelivery.Start([this] {
        FRunningDelivery = true;
        try {
          RunEventHandlers();
          FRunningDelivery = false;
        } catch (...) {
          FRunningDelivery = false;
          // Monitoring ends with this failure now, not at the device's next event.
          FStopEvent.Set();
          throw;
        }
      });
      break;
    case smWindowSync:
      ForwardEventsToWindow();
      break;
    case smNone:
      RunEventHandlers();
      break;
  }
}

void TComThread::ForwardEventsToWindow() {
  TCustomComPort* port = FComPort;
  for (TComEvent e : corvane::kDispatchOrder) {
    if (!FEvents.contains(e)) continue;
    const uintptr_t bit = corvane::EventMaskBit(e);
    corvane::MainThread::Instance().Send([port, bit] {
      TCustomComPort::TMessage m;
      m.Msg = TCustomComPort::PortEventMessage;
      m.WParam = bit;
      port->PortWindowProc(m);
    });
  }
}

void TComThread::RunEventHandlers() {
  FComPort->RunEventHandlers(FEvents);
}
