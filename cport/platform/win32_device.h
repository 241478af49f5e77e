#pragma once
// The serial device of Windows: a COM port opened for overlapped I/O. The seam's numbers
// are Win32's own, so settings, masks and flags go to the driver as they are.
#include <cstdint>
#include <memory>
#include <string>

#include "cport/platform/device.h"

// After the seam's vocabulary: windows.h defines the same names as macros with the same
// values, which would otherwise turn the seam's constants into numbers.
#include <windows.h>

namespace corvane::platform {

// A kernel handle closed with the object.
class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE h = nullptr) : h_(h) {}
  ~OwnedHandle() { reset(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  // Closes the handle and takes next; false with GetLastError() set when CloseHandle failed.
  bool reset(HANDLE next = nullptr) {
    const HANDLE h = h_;
    h_ = next;
    return h == nullptr || h == INVALID_HANDLE_VALUE || CloseHandle(h) != 0;
  }

 private:
  HANDLE h_;
};

// The driver calls the event wait makes. Tests replace them to drive the wait's logic where
// the driver cannot wait (Wine on a pseudo-terminal ends an idle wait at once).
struct EventWaitCalls {
  BOOL(WINAPI* waitCommEvent)(HANDLE, LPDWORD, LPOVERLAPPED) = ::WaitCommEvent;
  BOOL(WINAPI* getOverlappedResult)(HANDLE, LPOVERLAPPED, LPDWORD, BOOL) = ::GetOverlappedResult;
  BOOL(WINAPI* cancelIoEx)(HANDLE, LPOVERLAPPED) = ::CancelIoEx;
};

class Win32Device final : public Device {
 public:
  // Opens "\\.\" + name (a name given with that prefix is taken as it is) exclusively for
  // overlapped I/O. A missing port is ERROR_FILE_NOT_FOUND (2), one held elsewhere
  // ERROR_ACCESS_DENIED (5).
  static int Open(const std::string& name, std::unique_ptr<Device>& device);

  int SetCommState(const Dcb& dcb) override;
  int SetCommTimeouts(const CommTimeouts& timeouts) override;
  int SetupComm(uint32_t inQueue, uint32_t outQueue) override;
  int SetCommMask(uint32_t mask) override;
  WaitResult WaitCommEvent(const StopSignal& stop) override;
  uint32_t PollCommEvent() override;
  int StartRead(Transfer& t) override;
  int StartWrite(Transfer& t) override;
  int AwaitTransfer(Transfer& t) override;
  int PurgeComm(uint32_t flags) override;
  int ClearCommError(uint32_t& errors, ComStat& stat) override;
  int GetCommModemStatus(uint32_t& status) override;
  int Close() override;

  void SetEventWaitCalls(const EventWaitCalls& calls) { calls_ = calls; }

 private:
  // One overlapped operation's record and its event; the record must stay put while the
  // driver owns it.
  struct Overlapped {
    OVERLAPPED ov{};
    OwnedHandle event;
  };

  explicit Win32Device(HANDLE port);
  static int InitOverlapped(Overlapped& o);
  int StartTransfer(Transfer& t, Overlapped& o);
  // Issues the driver's event wait on waitOv_: 0 with done set when it completed at once,
  // 0 with done clear while it is pending, else the code.
  int IssueEventWait(DWORD& mask, bool& done);
  // Ends a pending event wait and takes what it may have completed with.
  DWORD CancelEventWait(DWORD& mask);

  OwnedHandle port_;
  Overlapped waitOv_, readOv_, writeOv_;
  EventWaitCalls calls_;
};

}  // namespace corvane::platform
