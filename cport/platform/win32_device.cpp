#include "cport/platform/win32_device.h"

#include <cstring>

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
  for (Overlapped* o : {&opened->waitOv_, &opened->readOv_, &opened->writeOv_}) {
    if (int err = InitOverlapped(*o)) return err;
  }
  device = std::move(opened);
  return 0;
}

Win32Device::Win32Device(HANDLE port) : port_(port) {}

int Win32Device::InitOverlapped(Overlapped& o) {
  // Manual reset: GetOverlappedResult and the stop wait both look at the same event.
  o.event.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!o.event.valid()) return static_cast<int>(GetLastError());
  o.ov.hEvent = o.event.get();
  return 0;
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
  return ::SetCommMask(port_.get(), mask) ? 0 : static_cast<int>(GetLastError());
}

int Win32Device::PurgeComm(uint32_t flags) {
  return ::PurgeComm(port_.get(), flags) ? 0 : static_cast<int>(GetLastError());
}

int Win32Device::ClearCommError(uint32_t& errors, ComStat& stat) {
  DWORD e = 0;
  COMSTAT s{};
  if (!::ClearCommError(port_.get(), &e, &s)) return static_cast<int>(GetLastError());
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
  return port_.reset() ? 0 : static_cast<int>(GetLastError());
}

}  // namespace corvane::platform
