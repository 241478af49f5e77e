#pragma once
// The serial device of a POSIX tty: real serial ports, USB adapters and pseudo-terminals.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "cport/platform/device.h"
#include "cport/platform/unique_fd.h"

namespace corvane::platform {

class PosixDevice final : public Device {
 public:
  // Opens path (already resolved) with O_NONBLOCK, exclusively: TIOCEXCL keeps other
  // programs out and an advisory flock keeps a second Corvane out even as root (root passes
  // TIOCEXCL). A device held elsewhere is EBUSY; a path that is no tty is ENOTTY.
  static int Open(const std::string& path, std::unique_ptr<Device>& device);
  ~PosixDevice() override;

  int SetCommState(const Dcb& dcb) override;
  int SetCommTimeouts(const CommTimeouts& timeouts) override;
  int SetupComm(uint32_t inQueue, uint32_t outQueue) override;
  int SetCommMask(uint32_t mask) override;
  WaitResult WaitCommEvent(const StopSignal& stop) override;
  int StartRead(Transfer& t) override;
  int StartWrite(Transfer& t) override;
  int AwaitTransfer(Transfer& t) override;
  int PurgeComm(uint32_t flags) override;
  int ClearCommError(uint32_t& errors, ComStat& stat) override;
  int GetCommModemStatus(uint32_t& status) override;
  int Close() override;

  int Fd() const { return fd_.get(); }

 private:
  // The driver's line counters (TIOCGICOUNT), where it keeps them.
  struct Counters {
    int cts = 0, dsr = 0, rng = 0, dcd = 0;
    int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
  };

  explicit PosixDevice(UniqueFd fd);
  // Sets up the event wait: the tty's arrivals edge-triggered, so each arrival is seen once
  // however long its bytes stay unread.
  int InitEvents();
  void Wake();
  // Compares the counters, and with modemLines the modem lines, with the last sample;
  // returns the EV_* bits of what changed and adds new line errors to pendingErrors_.
  uint32_t SampleLines(bool modemLines);
  void ResetLineBaseline();
  // Whether the wait has to look at the lines at intervals (the mask asks for them and
  // the driver has them).
  bool WatchesLines(uint32_t mask) const;
  int WaitReadable(Transfer& t, int timeoutMs);
  void DropNuls(char* buf, uint32_t& n) const;
  int AwaitRead(Transfer& t);
  int AwaitWrite(Transfer& t);
  void MarkWritten();

  UniqueFd fd_;
  UniqueFd epoll_;
  UniqueFd wake_;   // wakes the event wait: mask changed, output written
  UniqueFd abort_;  // readable after a purge with the abort flags
  Dcb dcb_{};
  CommTimeouts timeouts_{};
  std::atomic<uint32_t> mask_{0};
  std::atomic<uint64_t> aborts_{0};
  std::atomic<bool> txPending_{false};

  std::mutex linesMutex_;
  bool hasModem_ = false;
  bool hasCounters_ = false;
  int modem_ = 0;
  Counters counters_;
  uint32_t pendingErrors_ = 0;
};

}  // namespace corvane::platform
