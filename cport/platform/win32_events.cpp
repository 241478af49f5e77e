#include "cport/platform/win32_device.h"

namespace corvane::platform {

int Win32Device::IssueEventWait(bool& done) {
  waitMask_ = 0;
  done = false;
  ResetEvent(waitOv_.ov.hEvent);
  if (calls_.waitCommEvent(port_.get(), &waitMask_, &waitOv_.ov)) {
    done = true;
    return 0;
  }
  const DWORD err = GetLastError();
  if (err != ERROR_IO_PENDING) return static_cast<int>(err);
  waitPending_ = true;
  return 0;
}

DWORD Win32Device::CancelEventWait() {
  // The driver owns the mask and the record until the wait has ended, cancelled or not.
  CancelAndAwait(waitOv_);
  waitPending_ = false;
  return waitMask_;
}

WaitResult Win32Device::WaitCommEvent(const StopSignal& stop) {
  WaitResult result;
  int failedEndings = 0;
  for (;;) {
    if (stop.IsSet()) {
      result.Outcome = WaitResult::Stopped;
      return result;
    }
    const uint32_t maskChanges = maskChanges_.load();
    bool done = false;
    // A wait the driver refuses at once is the end: the device is gone or will not wait.
    if (int err = IssueEventWait(done)) {
      result.Error = err;
      return result;
    }
    if (!done) {
      const HANDLE handles[2] = {waitOv_.ov.hEvent, stop.EventHandle()};
      const DWORD r = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
      if (r != WAIT_OBJECT_0) {
        const DWORD err = r == WAIT_OBJECT_0 + 1 ? 0 : GetLastError();
        // The thread is ending, or cannot wait at all: whatever the wait completed with
        // meanwhile ends with it.
        CancelEventWait();
        result.Outcome = err == 0 ? WaitResult::Stopped : WaitResult::Failed;
        result.Error = static_cast<int>(err);
        return result;
      }
      DWORD n = 0;
      const BOOL ok = calls_.getOverlappedResult(port_.get(), &waitOv_.ov, &n, FALSE);
      waitPending_ = false;
      // A wait that ended in failure delivers nothing, and the wait is issued again: a
      // refusal then is the end. A second failed ending in a row is the end too, or a driver
      // that fails every wait it takes (Wine on a pseudo-terminal) would keep this thread
      // spinning.
      if (!ok) {
        const DWORD err = GetLastError();
        if (++failedEndings < 2) continue;
        result.Error = static_cast<int>(err);
        return result;
      }
    }
    failedEndings = 0;
    if (waitMask_ != 0) {
      result.Outcome = WaitResult::Event;
      result.Mask = waitMask_;
      return result;
    }
    // An empty mask is what SetCommMask does to a wait. One that no SetCommMask explains
    // may be a driver telling of a removed device: the line is asked before waiting again.
    if (maskChanges_.load() == maskChanges) {
      DWORD errors = 0;
      COMSTAT stat{};
      if (!calls_.clearCommError(port_.get(), &errors, &stat)) {
        result.Error = static_cast<int>(GetLastError());
        return result;
      }
    }
  }
}

// A wait that has something to report completes at once; one that would block is
// cancelled again, keeping whatever it completed with meanwhile.
uint32_t Win32Device::PollCommEvent() {
  bool done = false;
  if (IssueEventWait(done) != 0) return 0;
  return done ? waitMask_ : CancelEventWait();
}

}  // namespace corvane::platform
