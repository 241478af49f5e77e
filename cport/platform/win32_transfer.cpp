#include "cport/platform/win32_device.h"

namespace corvane::platform {

// Reads and writes each have a record of their own: one of each may be in flight while
// the event thread waits on the third.
int Win32Device::StartRead(Transfer& t) {
  return StartTransfer(t, readOv_);
}

int Win32Device::StartWrite(Transfer& t) {
  return StartTransfer(t, writeOv_);
}

int Win32Device::StartTransfer(Transfer& t, Overlapped& o) {
  t.Done = 0;
  t.Pending = false;
  ResetEvent(o.ov.hEvent);
  o.ov.Offset = o.ov.OffsetHigh = 0;
  DWORD n = 0;
  const BOOL completed = t.Kind == TransferKind::Read
                             ? ::ReadFile(port_.get(), t.Buffer, t.Count, &n, &o.ov)
                             : ::WriteFile(port_.get(), t.Data, t.Count, &n, &o.ov);
  if (completed) {
    t.Done = n;
    return 0;
  }
  const DWORD err = GetLastError();
  if (err != ERROR_IO_PENDING) return static_cast<int>(err);
  t.Pending = true;
  return 0;
}

// The driver applies the port's timeouts; a purge with the abort flags ends the transfer
// with ERROR_OPERATION_ABORTED.
int Win32Device::AwaitTransfer(Transfer& t) {
  if (!t.Pending) return 0;
  Overlapped& o = t.Kind == TransferKind::Read ? readOv_ : writeOv_;
  DWORD n = 0;
  const BOOL ok = GetOverlappedResult(port_.get(), &o.ov, &n, TRUE);
  t.Pending = false;
  t.Done = n;
  return ok ? 0 : static_cast<int>(GetLastError());
}

}  // namespace corvane::platform
