#include "cport/platform/win32_device.h"

namespace corvane::platform {

int Win32Device::StartRead(Transfer& t) {
  return StartTransfer(t);
}

int Win32Device::StartWrite(Transfer& t) {
  return StartTransfer(t);
}

// Every pending transfer has an overlapped record of its own, so two started writes never
// share one the driver still owns. Records are kept for the next transfer: a read per
// arrival costs no new event.
int Win32Device::StartTransfer(Transfer& t) {
  // The same record issued again before its await: the driver still owns its first use.
  if (pending_.count(&t) != 0) return ERROR_BUSY;
  t.Done = 0;
  t.Pending = false;
  std::unique_ptr<Overlapped> o;
  if (spare_.empty()) {
    o = std::make_unique<Overlapped>();
    if (int err = InitOverlapped(*o)) return err;
  } else {
    o = std::move(spare_.back());
    spare_.pop_back();
  }
  ResetEvent(o->ov.hEvent);
  o->ov.Internal = o->ov.InternalHigh = 0;
  o->ov.Offset = o->ov.OffsetHigh = 0;
  DWORD n = 0;
  const BOOL completed = t.Kind == TransferKind::Read
                             ? ::ReadFile(port_.get(), t.Buffer, t.Count, &n, &o->ov)
                             : ::WriteFile(port_.get(), t.Data, t.Count, &n, &o->ov);
  const DWORD err = completed ? 0 : GetLastError();
  if (completed || err != ERROR_IO_PENDING) {
    spare_.push_back(std::move(o));
    t.Done = n;
    return static_cast<int>(err);
  }
  pending_.emplace(&t, std::move(o));
  t.Pending = true;
  return 0;
}

// The driver applies the port's timeouts; a purge with the abort flags ends the transfer
// with ERROR_OPERATION_ABORTED.
int Win32Device::AwaitTransfer(Transfer& t) {
  if (!t.Pending) return 0;
  t.Pending = false;
  const auto it = pending_.find(&t);
  // Closed meanwhile: the close cancelled it.
  if (it == pending_.end()) return ERROR_OPERATION_ABORTED;
  DWORD n = 0;
  const BOOL ok = calls_.getOverlappedResult(port_.get(), &it->second->ov, &n, TRUE);
  const int err = ok ? 0 : static_cast<int>(GetLastError());
  t.Done = n;
  spare_.push_back(std::move(it->second));
  pending_.erase(it);
  return err;
}

}  // namespace corvane::platform
