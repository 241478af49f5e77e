#pragma once
// A scripted stand-in for a serial device, for tests of the port object. It records every
// call with its arguments, fails a chosen operation with a chosen code, and plays back
// received bytes, line events, modem lines and line errors that the test supplies.
//
// The script outlives the device: the port destroys its device on close, the test keeps
// the script and inspects what happened. A script lives in a std::shared_ptr, which every
// device it opened shares, so a device may close after the test has let go of it. All members are
// safe to call from any thread.
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "cport/platform/device.h"
#include "cport/platform/unique_fd.h"

namespace corvane::platform {

enum class FakeOp : uint8_t {
  Open,
  SetCommState,
  SetCommTimeouts,
  SetupComm,
  SetCommMask,
  WaitCommEvent,
  StartRead,
  StartWrite,
  AwaitTransfer,
  PurgeComm,
  ClearCommError,
  GetCommModemStatus,
  Close,
  PollCommEvent,
  DropLineErrors
};
const char* FakeOpName(FakeOp op);
// Lets test failures name the operation.
inline void PrintTo(FakeOp op, std::ostream* os) {
  *os << FakeOpName(op);
}

struct FakeCall {
  FakeCall() = default;
  FakeCall(FakeOp op) : Op(op) {}  // NOLINT: a bare op reads as "the call of op"

  FakeOp Op = FakeOp::Open;
  std::string Name;         // Open: the port name
  Dcb State{};              // SetCommState
  CommTimeouts Timeouts{};  // SetCommTimeouts
  uint32_t Arg1 = 0;        // SetupComm input size, SetCommMask mask, PurgeComm flags,
                            // StartRead/StartWrite count
  uint32_t Arg2 = 0;        // SetupComm output size
};

class FakeScript : public std::enable_shared_from_this<FakeScript> {
 public:
  static constexpr int kAlways = -1;
  // As a code: the call raises std::runtime_error instead of failing, as a call that cannot
  // even begin (no memory, no thread) would.
  static constexpr int kRaise = -1000;

  // Makes the next `times` calls of op (all of them with kAlways) fail with code.
  void Fail(FakeOp op, int code, int times = kAlways);
  void ClearFailures();

  std::vector<FakeCall> Calls() const;
  std::vector<FakeOp> Ops() const;
  int Count(FakeOp op) const;
  // The latest call of op; a default FakeCall when there was none.
  FakeCall Last(FakeOp op) const;
  void ClearCalls();
  // Number of devices opened through this script and not yet closed.
  int OpenDevices() const;

  // Bytes the device will deliver to reads, with EV_RXCHAR raised for them.
  void Receive(const std::string& bytes);
  // Bytes written to the device so far.
  std::string Sent() const;
  // Raises events (EV_* bits) for WaitCommEvent; only bits in the current mask count.
  void RaiseEvents(uint32_t mask);
  // The modem status GetCommModemStatus reads; raises nothing by itself.
  void SetModemStatus(uint32_t status);
  // Gives the device modem lines that change on the wire (ChangeModemLines). With lineWait
  // a helper thread blocks until they change, as the tty backend's does in a driver's
  // TIOCMIWAIT; without, the event wait samples them every 20 ms, as the backend does for a
  // driver that lacks that wait. Either way a change raises EV_CTS, EV_DSR, EV_RLSD and, at
  // the end of a ring, EV_RING for the lines that changed.
  void GiveModemLines(bool lineWait);
  void ChangeModemLines(uint32_t status);
  // Times a wait of the device returned (the event wait and the line helper): the cost of
  // an idle port.
  uint64_t WakeUps() const;
  // Input size last given to SetupComm; arrivals past 80 % of it raise EV_RX80FULL.
  uint32_t InputSize() const;
  // Events raised and not yet taken by a wait.
  uint32_t PendingEvents() const;
  // Line error flags returned, once, by the next ClearCommError (or forgotten by
  // DropLineErrors).
  void SetLineErrors(uint32_t errors);
  // The events the port last said nothing acts on. Kept as state, not recorded as a call:
  // it is a hint that changes with the port's handlers, not a step of the device's use.
  uint32_t QuietEvents() const;

  // Opens a fake device as OpenDevice would open a real one (recorded as Open; a scripted
  // Open failure returns its code and no device).
  int Open(const std::string& name, std::unique_ptr<Device>& device);

  FakeScript();

 private:
  friend class FakeDevice;

  void WakeWaiter();
  // Records the call and returns the scripted failure code for it, 0 when none.
  int Record(FakeCall call);

  mutable std::mutex mutex_;
  std::vector<FakeCall> calls_;
  std::map<FakeOp, std::pair<int, int>> failures_;  // op -> (code, remaining or kAlways)
  std::string input_;
  std::string sent_;
  uint32_t mask_ = 0;
  uint32_t events_ = 0;
  uint32_t modem_ = 0;
  uint32_t errors_ = 0;
  uint32_t quiet_ = 0;
  uint32_t inputSize_ = 0;
  bool modemLines_ = false;
  bool lineWait_ = false;
  uint64_t lineChanges_ = 0;  // counts ChangeModemLines calls, for the line helper
  uint64_t wakeUps_ = 0;
  std::condition_variable linesChanged_;
  int open_ = 0;
  UniqueFd wake_;  // readable after a change a waiting WaitCommEvent may care about
};

}  // namespace corvane::platform
