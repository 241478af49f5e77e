// Event monitoring of an open port: the event thread's start and end (or the main loop's
// watch in its place), and the delivery of events by message.
#include <typeinfo>

#include "cport/com_loop_watch.h"
#include "cport/com_thread.h"
#include "cport/cport.h"
#include "rt/descriptor_watch.h"
#include "rt/main_thread.h"

void TCustomComPort::StartEventMonitoring() {
  FThreadCreated = false;
  FOwnFireSteps = typeid(*this) == typeid(TCustomComPort) || typeid(*this) == typeid(TComPort);
  RefreshHandledEvents();
  corvane::DescriptorWatcher* loop = corvane::MainLoopWatcher();
  if (FLoopDelivery && FSyncMethod == smThreadSync && loop && FDevice->EventFd() >= 0) {
    FLoopWatch = std::make_unique<TComLoopWatch>(this, *loop);
  } else {
    FEventThread = std::make_unique<TComThread>(this);
  }
  FThreadCreated = true;
}

void TCustomComPort::StopEventMonitoring() {
  // Monitoring that had already ended (a failed wait, a raising handler) was not stopped
  // by this close and left the queues as they were.
  bool stoppedHere = false;
  if (FLoopWatch) {
    stoppedHere = !FLoopWatch->Error();
    FLoopWatch.reset();
  } else if (FEventThread) {
    FEventThread->Stop();
    stoppedHere = !FEventThread->Error();
    FEventThread.reset();
  }
  if (stoppedHere && FDiscardOnClose && FDevice) {
    // Not looked at: the device is released right after, whatever the purge did.
    FDevice->PurgeComm(corvane::platform::PURGE_TXCLEAR | corvane::platform::PURGE_RXCLEAR);
  }
}

bool TCustomComPort::EventThreadRunning() const {
  if (FLoopWatch) return !FLoopWatch->Ended();
  return FEventThread && !FEventThread->Ended();
}

void TCustomComPort::PortWindowProc(TMessage& Message) {
  if (Message.Msg != PortEventMessage) {
    Message.Result = 0;
    return;
  }
  try {
    // A closed port ignores messages that were on their way when it closed.
    if (!FConnected) return;
    switch (Message.WParam) {
      case 1:
        HandleRxChar();
        break;
      case 2:
        HandleRxFlag();
        break;
      case 4:
        HandleTxEmpty();
        break;
      case 8:
        HandleCTSChange();
        break;
      case 16:
        HandleDSRChange();
        break;
      case 32:
        HandleRLSDChange();
        break;
      case 64:
        HandleBreak();
        break;
      case 128:
        HandleError();
        break;
      case 256:
        HandleRing();
        break;
      case 1024:
        HandleRx80Full();
        break;
      default:
        break;
    }
  } catch (...) {
    corvane::MainThread::Instance().HandleException(std::current_exception());
  }
}
