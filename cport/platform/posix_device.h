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
  // Takes over fd, an open tty whose settings and exclusivity are someone else's to keep
  // (the program's end of a virtual line): only the event wait is set up.
  static int Adopt(UniqueFd fd, std::unique_ptr<Device>& device);
  ~PosixDevice() override;

  int SetCommState(const Dcb& dcb) override;
  int SetCommTimeouts(const CommTimeouts& timeouts) override;
  int SetupComm(uint32_t inQueue, uint32_t outQueue) override;
  int SetCommMask(uint32_t mask) override;
  void SetQuietEvents(uint32_t events) override;
  WaitResult WaitCommEvent(const StopSignal& stop) override;
  uint32_t PollCommEvent() override;
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
  // Puts stop's descriptor into the event wait's set, in place of an earlier signal's.
  int WatchStop(const StopSignal& stop);
  // One look for events: Event with the bits that occurred, an empty mask when none did
  // yet. Waits for them with wait (then a set stop ends the look), else only looks.
  WaitResult LookForEvents(const StopSignal* stop, bool wait);
  // After the tty woke the wait for input: whether bytes came that no earlier wake-up
  // reported. A tty may wake its waiters more than once for one arrival.
  bool NewArrival();
  void Wake();
  // The events of the mask somebody acts on.
  uint32_t Tracked() const { return mask_.load() & ~quiet_.load(); }
  // Compares the counters, and with modemLines the modem lines, with the last sample;
  // returns the EV_* bits of what changed and adds new line errors to pendingErrors_.
  uint32_t SampleLines(bool modemLines);
  void ResetLineBaseline();
  // Whether the wait has to look at the lines at intervals (the mask asks for them and
  // the driver has them).
  bool WatchesLines(uint32_t mask) const;
  int WaitReadable(Transfer& t, int timeoutMs);
  void DropNuls(char* buf, uint32_t& n) const;
  // Empties abort_ once after each purge that signalled it, not on every transfer.
  void DrainAbort();
  int AwaitRead(Transfer& t);
  // A read of the line that keeps the count NewArrival compares against.
  ssize_t CountedRead(char* buffer, uint32_t count);
  int AwaitWrite(Transfer& t);
  void MarkWritten();

  UniqueFd fd_;
  UniqueFd epoll_;
  UniqueFd wake_;   // wakes the event wait: mask changed, output written
  UniqueFd abort_;  // readable after a purge with the abort flags
  Dcb dcb_{};
  CommTimeouts timeouts_{};
  std::atomic<uint32_t> mask_{0};
  std::atomic<uint32_t> quiet_{0};
  std::atomic<uint64_t> aborts_{0};
  uint64_t abortsDrained_ = 0;  // transfers run on one thread at a time
  std::atomic<bool> txPending_{false};
  // The waiting thread's own: the stop signal whose descriptor the wait watches, an
  // arrival seen in the same wake-up as a stop, kept for the next wait, and a hang-up seen
  // by a look that does not report failures.
  uint64_t stopSerial_ = 0;
  int stopFd_ = -1;
  bool arrivalKept_ = false;
  bool hungUp_ = false;
  // Input counted for NewArrival: bytes read, purges of the input, and what the last look
  // found had arrived in all (read plus waiting), valid while no purge came since.
  std::atomic<uint64_t> consumed_{0};
  std::atomic<uint64_t> readSeq_{0};  // odd while a read runs
  std::atomic<uint64_t> rxPurges_{0};
  uint64_t arrivedSeen_ = 0;
  uint64_t purgesSeen_ = 0;
  bool arrivedKnown_ = false;

  std::mutex linesMutex_;
  bool hasModem_ = false;
  bool hasCounters_ = false;
  int modem_ = 0;
  Counters counters_;
  uint32_t pendingErrors_ = 0;
};

}  // namespace corvane::platform
