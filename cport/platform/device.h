#pragma once
// The one interface between the port object and an operating system's serial device.
//
// Every operation returns 0 on success or the platform's error code (errno on POSIX);
// there is no thread-global "last error", because the port's event thread and the main
// thread call into the same device at once. Concurrency: WaitCommEvent and PollCommEvent
// run on the event thread while the main thread calls everything else; a backend must let
// those proceed side by side and must end the wait promptly once the stop signal is set.
// Apart from that pairing, calls come from one thread at a time.
#include <cstdint>
#include <memory>
#include <string>

#include "cport/platform/comm_types.h"
#include "cport/platform/stop_signal.h"

namespace corvane::platform {

// "The operation is not provided by this backend."
inline constexpr int kErrNotSupported = 38;  // ENOSYS on Linux

enum class TransferKind : uint8_t { Write, Read };

// One read or write in flight. The caller owns the bytes: Buffer for a read must stay
// valid, and Data for a write unchanged, until AwaitTransfer has returned.
struct Transfer {
  TransferKind Kind = TransferKind::Read;
  char* Buffer = nullptr;      // read target
  const char* Data = nullptr;  // write source
  uint32_t Count = 0;          // bytes asked for
  uint32_t Done = 0;           // bytes moved so far
  bool Pending = false;        // issued but not complete; AwaitTransfer finishes it
  int64_t StartedAtMs = 0;     // monotonic issue time, for the total timeouts
  uint64_t AbortTicket = 0;    // backend's purge count at issue; a later purge ends it
};

struct WaitResult {
  enum Kind : uint8_t { Event, Stopped, Failed };
  Kind Outcome = Failed;
  uint32_t Mask = 0;  // EV_* bits that occurred, when Outcome is Event
  int Error = 0;      // platform code, when Outcome is Failed
};

class Device {
 public:
  virtual ~Device() = default;

  // Line settings; on failure the device keeps the settings it had.
  virtual int SetCommState(const Dcb& dcb) = 0;
  virtual int SetCommTimeouts(const CommTimeouts& timeouts) = 0;
  // Driver queue sizes in bytes (the values arrive as the port's signed sizes, bit for bit).
  virtual int SetupComm(uint32_t inQueue, uint32_t outQueue) = 0;
  virtual int SetCommMask(uint32_t mask) = 0;
  // Events of the mask that nothing would act on: the backend need not track them, and the
  // wait may still report them. Set from the main thread whenever that changes, also
  // while a wait is in progress. The default tracks everything.
  virtual void SetQuietEvents(uint32_t /*events*/) {}
  // Blocks until an event of the mask occurs or stop is set.
  virtual WaitResult WaitCommEvent(const StopSignal& stop) = 0;
  // What WaitCommEvent would report now, without waiting: the EV_* bits of the mask that
  // occurred since the last wait, 0 for none. A failure is left for the next wait to report.
  // Called by the thread that waits, between its waits.
  virtual uint32_t PollCommEvent() = 0;
  // A descriptor that becomes readable whenever LookCommEvent may find an event, so that
  // the loop that runs the main thread can watch the device in place of a thread blocked in
  // WaitCommEvent; -1 when the device has none (a thread has to wait then).
  virtual int EventFd() const { return -1; }
  // What WaitCommEvent would return now, without waiting: an Event whose mask is 0 when
  // nothing occurred, or a failure the wait would report. For the one that looks when
  // EventFd is ready instead of waiting.
  virtual WaitResult LookCommEvent() { return {WaitResult::Event, PollCommEvent(), 0}; }
  // The handlers of what the last LookCommEvent reported have returned: what that look
  // learnt about the line (a device may keep it for their count queries) is stale now.
  virtual void EndLook() {}
  // The line's own descriptor, which a loop may watch beside EventFd so that an arrival
  // costs no look into EventFd's set: readable (level) while bytes wait. -1 when there is
  // none. WatchLineOutside(true) takes the line out of EventFd's set for as long as
  // LineWatchedOutside() says so: the device takes it back while bytes wait that nobody
  // reads (a readable line would wake the loop again and again), and gives it out again
  // once they are read. Whoever watches follows LineWatchedOutside() after every look.
  virtual int LineFd() const { return -1; }
  virtual void WatchLineOutside(bool /*outside*/) {}
  virtual bool LineWatchedOutside() const { return false; }
  // LookCommEvent for a loop that found LineFd ready. The look may read the arrival in at
  // once, so that the handlers it runs count and read it without asking the line again.
  virtual WaitResult LookLineEvent() { return LookCommEvent(); }
  // Bytes the device took in ahead of the reads and nobody has read, handed over when the
  // port closes without dropping its input, so that they outlive the device as bytes
  // waiting in the line would; PutBackInput gives them to the next device of the same
  // line, whose reads serve them first and whose next look reports them as an arrival.
  virtual std::string TakeUnreadInput() { return {}; }
  virtual void PutBackInput(const std::string& /*bytes*/) {}
  // Issue a transfer without waiting: returns 0 with t.Pending false when it completed at
  // once (t.Done bytes), with t.Pending true when AwaitTransfer has to finish it.
  virtual int StartRead(Transfer& t) = 0;
  virtual int StartWrite(Transfer& t) = 0;
  // Waits until t completes under the device's timeouts; t.Done holds the byte count.
  virtual int AwaitTransfer(Transfer& t) = 0;
  virtual int PurgeComm(uint32_t flags) = 0;
  // Reads and resets the CE_* line error flags, with the queue counts.
  virtual int ClearCommError(uint32_t& errors, ComStat& stat) = 0;
  // The same for a caller that needs only the input count, as a port does before every
  // read; a backend whose output count costs a call of its own leaves it out.
  virtual int ClearCommErrorIn(uint32_t& errors, uint32_t& inQueue) {
    ComStat stat;
    const int err = ClearCommError(errors, stat);
    inQueue = stat.cbInQue;
    return err;
  }
  // Forgets the pending line errors as reading them would, for a caller that wants neither
  // the errors nor the counts: every read does. A backend that collects the errors itself
  // forgets what it has collected without asking the driver.
  virtual int DropLineErrors() {
    uint32_t errors = 0;
    uint32_t inQueue = 0;
    return ClearCommErrorIn(errors, inQueue);
  }
  virtual int GetCommModemStatus(uint32_t& status) = 0;
  // Releases the device. The device is released even when the code is not 0.
  virtual int Close() = 0;
};

// Opens the serial device a port name stands for, exclusively, in raw mode. On success
// returns 0 and sets device; otherwise returns the platform code and leaves it empty.
int OpenDevice(const std::string& name, std::unique_ptr<Device>& device);

}  // namespace corvane::platform
