#include "cport/platform/win32_device.h"

namespace corvane::platform {

int Win32Device::IssueEventWait(DWORD& mask, bool& done) {
  mask = 0;
  done = false;
  ResetEvent(waitOv_.ov.hEvent);
  if (calls_.waitCommEvent(port_.get(), &mask, &waitOv_.ov)) {
    done = true;
    return 0;
  }
  const DWORD err = GetLastError();
  return err == ERROR_IO_PENDING ? 0 : static_cast<int>(err);
}

DWORD Win32Device::CancelEventWait(DWORD& mask) {
  calls_.cancelIoEx(port_.get(), &waitOv_.ov);
  DWORD n = 0;
  // The driver owns mask and the record until the wait has ended, cancelled or not.
  if (calls_.getOverlappedResult(port_.get(), &waitOv_.ov, &n, TRUE)) return mask;
  return 0;
}

WaitResult Win32Device::WaitCommEvent(const StopSignal& stop) {
  WaitResult result;
  for (;;) {
    DWORD mask = 0;
    bool done = false;
    if (int err = IssueEventWait(mask, done)) {
      result.Error = err;
      return result;
    }
    if (!done) {
      const HANDLE handles[2] = {waitOv_.ov.hEvent, stop.EventHandle()};
      const DWORD r = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
      if (r == WAIT_OBJECT_0 + 1) {
        // The thread is ending: whatever the wait completed with meanwhile ends with it.
        CancelEventWait(mask);
        result.Outcome = WaitResult::Stopped;
        return result;
      }
      DWORD n = 0;
      if (r != WAIT_OBJECT_0 || !calls_.getOverlappedResult(port_.get(), &waitOv_.ov, &n, FALSE)) {
        result.Error = static_cast<int>(GetLastError());
        return result;
      }
    }
    // An empty mask: SetCommMask ended the wait, and the new mask is waited on.
    if (mask != 0) {
      result.Outcome = WaitResult::Event;
      result.Mask = mask;
      return result;
    }
  }
}

// A wait that has something to report completes at once; one that would block is
// cancelled again, keeping whatever it completed with meanwhile.
uint32_t Win32Device::PollCommEvent() {
  DWORD mask = 0;
  bool done = false;
  if (IssueEventWait(mask, done) != 0) return 0;
  return done ? mask : CancelEventWait(mask);
}

}  // namespace corvane::platform
