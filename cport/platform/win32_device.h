#pragma once
// The serial device of Windows: a COM port opened for overlapped I/O. The seam's numbers
// are Win32's own, so settings, masks and flags go to the driver as they are.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

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

// The driver calls the backend makes where a test must play the driver: Wine on a
// pseudo-terminal ends an idle wait at once and never fails a purge or a mask.
struct DriverCalls {
  BOOL(WINAPI* waitCommEvent)(HANDLE, LPDWORD, LPOVERLAPPED) = ::WaitCommEvent;
  BOOL(WINAPI* getOverlappedResult)(HANDLE, LPOVERLAPPED, LPDWORD, BOOL) = ::GetOverlappedResult;
  BOOL(WINAPI* cancelIoEx)(HANDLE, LPOVERLAPPED) = ::CancelIoEx;
  BOOL(WINAPI* purgeComm)(HANDLE, DWORD) = ::PurgeComm;
  BOOL(WINAPI* setCommMask)(HANDLE, DWORD) = ::SetCommMask;
  BOOL(WINAPI* clearCommError)(HANDLE, LPDWORD, LPCOMSTAT) = ::ClearCommError;
};

// Threading: as the seam says; the event wait runs on the event thread while the main
// thread starts, awaits and cancels transfers and changes the mask.
class Win32Device final : public Device {
 public:
  // Opens "\\.\" + name (a name given with that prefix is taken as it is) exclusively for
  // overlapped I/O. A missing port is ERROR_FILE_NOT_FOUND (2), one held elsewhere
  // ERROR_ACCESS_DENIED (5).
  static int Open(const std::string& name, std::unique_ptr<Device>& device);
  // Cancels and awaits whatever is still pending before anything it uses goes away.
  ~Win32Device() override;

  int SetCommState(const Dcb& dcb) override;
  int SetCommTimeouts(const CommTimeouts& timeouts) override;
  int SetupComm(uint32_t inQueue, uint32_t outQueue) override;
  // A driver that refuses one of the bits gets the events something acts on instead.
  int SetCommMask(uint32_t mask) override;
  void SetQuietEvents(uint32_t events) override { quiet_.store(events); }
  WaitResult WaitCommEvent(const StopSignal& stop) override;
  uint32_t PollCommEvent() override;
  // Each transfer record gets an overlapped record of its own while it is pending.
  int StartRead(Transfer& t) override;
  int StartWrite(Transfer& t) override;
  int AwaitTransfer(Transfer& t) override;
  // The abort flags end this device's own transfers even where the driver refuses the
  // purge (a removed adapter).
  int PurgeComm(uint32_t flags) override;
  int ClearCommError(uint32_t& errors, ComStat& stat) override;
  int GetCommModemStatus(uint32_t& status) override;
  // Cancels and awaits pending transfers, closes the port, then their events.
  int Close() override;

  void SetDriverCalls(const DriverCalls& calls) { calls_ = calls; }
  // Transfers issued and not yet awaited.
  size_t PendingTransfers() const { return pending_.size(); }

 private:
  // One overlapped operation's record and its event; the record, its event and whatever
  // the driver writes for it must stay put until the operation has ended.
  struct Overlapped {
    OVERLAPPED ov{};
    OwnedHandle event;
  };

  explicit Win32Device(HANDLE port);
  static int InitOverlapped(Overlapped& o);
  int StartTransfer(Transfer& t);
  // Issues the driver's event wait on waitOv_ into waitMask_: 0 with done set when it
  // completed at once, 0 with done clear while it is pending, else the code.
  int IssueEventWait(bool& done);
  // Ends a pending event wait and returns the mask it may have completed with meanwhile.
  DWORD CancelEventWait();
  // Cancels one operation and waits until the driver has let go of it.
  void CancelAndAwait(Overlapped& o);

  // Declared before the port: members go in reverse order, so the port handle is closed
  // before the events and records the driver used.
  Overlapped waitOv_;
  DWORD waitMask_ = 0;  // the wait's result, owned by the driver while the wait is pending
  bool waitPending_ = false;
  std::map<const Transfer*, std::unique_ptr<Overlapped>> pending_;
  std::vector<std::unique_ptr<Overlapped>> spare_;
  std::atomic<uint32_t> quiet_{0};
  std::atomic<uint32_t> maskChanges_{0};  // SetCommMask calls, which end a wait with mask 0
  OwnedHandle port_;
  DriverCalls calls_;
};

}  // namespace corvane::platform
