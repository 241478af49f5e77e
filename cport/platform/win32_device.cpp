#include "cport/platform/win32_device.h"

#include <cstring>
#include <string>

#include "cport/platform/device_trace.h"
#include "cport/platform/virtual_line.h"

namespace corvane::platform {

static_assert(sizeof(DCB) == sizeof(Dcb), "the seam's control block is the driver's");
static_assert(sizeof(COMMTIMEOUTS) == 5 * sizeof(uint32_t), "timeouts are five numbers");

int OpenDevice(const std::string& name, std::unique_ptr<Device>& device) {
  device.reset();
  if (name.empty()) return ERROR_FILE_NOT_FOUND;
  // Virtual lines are pseudo-terminals; Windows clients get com0com pairs instead.
  if (IsVirtualLineName(name)) return ERROR_NOT_SUPPORTED;
  return Win32Device::Open(name, device);
}

int Win32Device::Open(const std::string& name, std::unique_ptr<Device>& device) {
  const std::string path = name.rfind("\\\\.\\", 0) == 0 ? name : "\\\\.\\" + name;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  std::unique_ptr<Win32Device> opened(new Win32Device(h));
  if (int err = InitOverlapped(opened->waitOv_)) return err;
  device = std::move(opened);
  return 0;
}

Win32Device::Win32Device(HANDLE port) : port_(port) {}

Win32Device::~Win32Device() {
  Close();
}

int Win32Device::InitOverlapped(Overlapped& o) {
  // Manual reset: GetOverlappedResult and the stop wait both look at the same event.
  o.event.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!o.event.valid()) return static_cast<int>(GetLastError());
  o.ov.hEvent = o.event.get();
  return 0;
}

void Win32Device::CancelAndAwait(Overlapped& o) {
  // ERROR_NOT_FOUND: it had ended already; the wait below then returns at once.
  calls_.cancelIoEx(port_.get(), &o.ov);
  DWORD n = 0;
  calls_.getOverlappedResult(port_.get(), &o.ov, &n, TRUE);
}

int Win32Device::SetCommState(const Dcb& dcb) {
  DCB d;
  std::memcpy(&d, &dcb, sizeof d);
  d.DCBlength = sizeof d;
  return ::SetCommState(port_.get(), &d) ? 0 : static_cast<int>(GetLastError());
}

int Win32Device::SetCommTimeouts(const CommTimeouts& timeouts) {
  COMMTIMEOUTS t{timeouts.ReadIntervalTimeout, timeouts.ReadTotalTimeoutMultiplier,
                 timeouts.ReadTotalTimeoutConstant, timeouts.WriteTotalTimeoutMultiplier,
                 timeouts.WriteTotalTimeoutConstant};
  return ::SetCommTimeouts(port_.get(), &t) ? 0 : static_cast<int>(GetLastError());
}

int Win32Device::SetupComm(uint32_t inQueue, uint32_t outQueue) {
  return ::SetupComm(port_.get(), inQueue, outQueue) ? 0 : static_cast<int>(GetLastError());
}

int Win32Device::SetCommMask(uint32_t mask) {
  // Counted first: the wait this call ends must find the count already moved.
  maskChanges_.fetch_add(1);
  if (calls_.setCommMask(port_.get(), mask)) return 0;
  const int err = static_cast<int>(GetLastError());
  const uint32_t handled = mask & ~quiet_.load();
  if (handled == mask || !calls_.setCommMask(port_.get(), handled)) return err;
  DeviceTrace("Serial driver refused event mask " + std::to_string(mask) + " (Error: " +
              std::to_string(err) + "), waiting for " + std::to_string(handled) + " instead");
  return 0;
}

int Win32Device::PurgeComm(uint32_t flags) {
  if (calls_.purgeComm(port_.get(), flags)) return 0;
  const int err = static_cast<int>(GetLastError());
  if ((flags & (PURGE_TXABORT | PURGE_RXABORT)) == 0) return err;
  // What the abort is for can be done without the driver (a removed adapter refuses it):
  // this device's own transfers end with ERROR_OPERATION_ABORTED, which their awaits take.
  bool cancelled = true;
  for (auto& [t, o] : pending_) {
    const bool ofKind =
        t->Kind == TransferKind::Read ? (flags & PURGE_RXABORT) != 0 : (flags & PURGE_TXABORT) != 0;
    if (ofKind && !calls_.cancelIoEx(port_.get(), &o->ov) && GetLastError() != ERROR_NOT_FOUND)
      cancelled = false;
  }
  const bool clearAsked = (flags & (PURGE_TXCLEAR | PURGE_RXCLEAR)) != 0;
  return cancelled && !clearAsked ? 0 : err;
}

int Win32Device::ClearCommError(uint32_t& errors, ComStat& stat) {
  DWORD e = 0;
  COMSTAT s{};
  if (!calls_.clearCommError(port_.get(), &e, &s)) return static_cast<int>(GetLastError());
  errors = e;
  stat.cbInQue = s.cbInQue;
  stat.cbOutQue = s.cbOutQue;
  return 0;
}

int Win32Device::GetCommModemStatus(uint32_t& status) {
  DWORD s = 0;
  if (!::GetCommModemStatus(port_.get(), &s)) return static_cast<int>(GetLastError());
  status = s;
  return 0;
}

int Win32Device::Close() {
  if (!port_.valid()) return 0;
  if (waitPending_) CancelEventWait();
  for (auto& [t, o] : pending_) CancelAndAwait(*o);
  // Their owners' awaits find no transfer any more.
  const int err = port_.reset() ? 0 : static_cast<int>(GetLastError());
  pending_.clear();
  spare_.clear();
  return err;
}

}  // namespace corvane::platform
