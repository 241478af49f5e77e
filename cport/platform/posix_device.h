#pragma once
// The serial device of a POSIX tty: real serial ports, USB adapters and pseudo-terminals.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "cport/platform/device.h"
#include "cport/platform/parity_marks.h"
#include "cport/platform/posix_driver_wait.h"
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
  static int Adopt(UniqueFd fd, std::unique_ptr<PosixDevice>& device);
  // The input rules of dcb the backend carries out itself (dropping NULs, the event
  // character), for a tty whose line settings are someone else's. Parity marks come from
  // a line setting: without it on the line there are none to undo.
  void SetInputRulesOnly(const Dcb& dcb);
  ~PosixDevice() override;

  int SetCommState(const Dcb& dcb) override;
  int SetCommTimeouts(const CommTimeouts& timeouts) override;
  int SetupComm(uint32_t inQueue, uint32_t outQueue) override;
  int SetCommMask(uint32_t mask) override;
  void SetQuietEvents(uint32_t events) override;
  WaitResult WaitCommEvent(const StopSignal& stop) override;
  uint32_t PollCommEvent() override;
  int EventFd() const override { return epoll_.get(); }
  WaitResult LookCommEvent() override;
  void EndLook() override;
  int LineFd() const override { return fd_.get(); }
  void WatchLineOutside(bool outside) override;
  bool LineWatchedOutside() const override { return lineOutside_; }
  WaitResult LookLineEvent() override;
  std::string TakeUnreadInput() override;
  void PutBackInput(const std::string& bytes) override;
  int StartRead(Transfer& t) override;
  int StartWrite(Transfer& t) override;
  int AwaitTransfer(Transfer& t) override;
  int PurgeComm(uint32_t flags) override;
  int ClearCommError(uint32_t& errors, ComStat& stat) override;
  int ClearCommErrorIn(uint32_t& errors, uint32_t& inQueue) override;
  int DropLineErrors() override;
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
  // yet. Waits for them with wait (then a set stop ends the look), else only looks; with
  // lineReady (a loop found the line readable) it looks at the line only, and may read the
  // arrival in (LookLineEvent).
  WaitResult LookForEvents(const StopSignal* stop, bool wait, bool lineReady = false);
  // A look from a loop; lineReady as for LookForEvents.
  WaitResult LoopLook(bool lineReady);
  // After the tty woke the wait for input: whether bytes came that no earlier wake-up
  // reported. A tty may wake its waiters more than once for one arrival. ttyEmpty: the
  // caller has just read the tty empty, which spares asking it.
  bool NewArrival(bool ttyEmpty = false);
  // What the tty's readiness for input means for the events of tracked; lineReady as for
  // LookForEvents.
  uint32_t InputEvents(uint32_t tracked, bool lineReady = false);
  // The line into the event wait's set (false) or out of it, for a loop that watches it.
  void MoveLine(bool outside);
  void Wake();
  // The events of the mask somebody acts on.
  uint32_t Tracked() const { return mask_.load() & ~quiet_.load(); }
  // Modem-line changes: waited for by a helper blocked in TIOCMIWAIT, started when the mask
  // first asks for them. False when the driver has no such wait: the lines are sampled then.
  bool WaitForLineChanges();
  // The helper's wait: returns once a line changed since its last return.
  int WaitLineChange();
  // Output drained: a helper blocked in tcdrain once asked to, which then also ends an RTS
  // toggle. False when no helper can run.
  bool RequestDrain();
  int WaitDrained();
  // One write of the line; raises RTS first under RTS toggle.
  ssize_t WriteLine(const char* data, uint32_t count);
  // Whether the input queue has passed 80 % of the size SetupComm was given.
  uint32_t InputFillEvent();
  void StopHelpers();
  // Compares the counters, and with modemLines the modem lines, with the last sample;
  // returns the EV_* bits of what changed and adds new line errors to pendingErrors_.
  uint32_t SampleLines(bool modemLines);
  void ResetLineBaseline();
  int WaitReadable(Transfer& t, int timeoutMs);
  // The input rules of the line settings that the tty cannot carry out itself. Needs
  // inputMutex_.
  void SetInputRules(const Dcb& dcb);
  // A tty cannot show a byte without consuming it: while the event character is watched or
  // parity marks are to be undone, the bytes are taken in as they arrive, into a read-ahead
  // that reads serve first and the input count includes.
  bool ReadAheadWanted() const;
  // Moves what the tty holds into the read-ahead, up to its cap. Needs inputMutex_.
  int PullInput();
  // A loop's look at its readable line: with the read-ahead empty, one read takes the
  // arrival in, so that the handlers it runs count and read it without asking the tty.
  // Returns whether that read left the tty empty.
  bool TakeArrivalIn();
  // Tells a read blocked on the tty that bytes went into the read-ahead instead.
  void SignalInputTaken();
  // Hands over bytes of the read-ahead. Needs inputMutex_.
  uint32_t ServeInput(char* buffer, uint32_t count);
  // One read for a transfer: the read-ahead first, then the tty. 0 with got 0 when nothing
  // has come; a failure only when nothing was read.
  int TakeInput(char* buffer, uint32_t count, uint32_t& got);
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
  UniqueFd inputReady_;  // readable after bytes went into the read-ahead
  std::atomic<int> readersWaiting_{0};  // reads blocked on the tty and inputReady_
  // In the event wait's set: expires when a look that does not wait has to look again
  // (modem lines sampled, output drained without a helper), so that a loop watching the
  // set wakes then.
  UniqueFd lookAgain_;
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
  // What the last arrival found waiting in the tty, when that count was exact.
  static constexpr uint32_t kNotCounted = ~0u;
  uint32_t arrivedWaiting_ = kNotCounted;
  uint64_t arrivedSeq_ = 0;  // the reads' sequence number that count was taken at
  // A loop's look runs the handlers on the thread that looked, at once: their count query
  // takes what the look found, not a second ioctl, while no read or purge came between.
  // Set by LookCommEvent, used once, dropped by EndLook.
  struct LookCount {
    uint32_t waiting;
    uint64_t readSeq, purges;  // every read moves readSeq_
  };
  LookCount lookCount_{};
  std::atomic<bool> lookCountKept_{false};
  // A loop watches the line itself (wanted), and the line is out of the set now.
  bool lineOutsideWanted_ = false;
  bool lineOutside_ = false;

  std::string path_;
  std::atomic<uint32_t> inQueueSize_{0};
  // The waiting thread's: whether the last arrival found the queue 80 % full, how full, and
  // the reads and purges counted then. Reads since that take it below the mark again.
  bool inputHigh_ = false;
  uint64_t levelAtFill_ = 0;
  uint64_t servedAtFill_ = 0;
  uint64_t purgesAtFill_ = 0;
  std::atomic<uint64_t> served_{0};  // bytes handed to reads, as they were queued
  std::atomic<bool> rtsToggle_{false};

  // Held by every read of the tty, so bytes keep their order between the read-ahead and
  // the reads; also guards the read-ahead and its rules.
  std::mutex inputMutex_;
  std::deque<char> readAhead_;
  ParityMarkDecoder marks_;
  bool dropNuls_ = false;
  char eventChar_ = 0;
  std::atomic<bool> parityMarks_{false};
  std::atomic<uint32_t> queued_{0};         // the read-ahead's size, for lock-free looks
  std::atomic<bool> eventCharSeen_{false};  // taken in, not yet reported

  // Helpers for what the event wait cannot poll for; their descriptors are in its set.
  std::unique_ptr<DriverWaitThread> lineWait_;
  bool lineWaitMissing_ = false;  // the waiting thread's
  Counters lineWaitSeen_;         // the line helper's own
  std::unique_ptr<DriverWaitThread> drainWait_;
  // Guards the drain request and, under RTS toggle, a write against the drain's lowering
  // of RTS: a write that comes just after the drain keeps RTS up.
  std::mutex drainMutex_;
  std::condition_variable drainCv_;
  bool drainWanted_ = false;
  bool drainInterrupted_ = false;

  std::mutex linesMutex_;
  bool hasModem_ = false;
  bool hasCounters_ = false;
  int modem_ = 0;
  Counters counters_;
  // Line errors collected from the counters and not yet asked for; atomic so that a read
  // forgets them without the lock.
  std::atomic<uint32_t> pendingErrors_{0};
};

}  // namespace corvane::platform
