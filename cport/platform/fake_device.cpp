#include "cport/platform/fake_device.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include "cport/platform/posix_driver_wait.h"

namespace corvane::platform {
namespace {

constexpr uint32_t kModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr int kSampleMs = 20;

uint32_t ModemEvents(uint32_t before, uint32_t now) {
  const uint32_t changed = before ^ now;
  uint32_t ev = 0;
  if (changed & MS_CTS_ON) ev |= EV_CTS;
  if (changed & MS_DSR_ON) ev |= EV_DSR;
  if (changed & MS_RLSD_ON) ev |= EV_RLSD;
  if ((changed & MS_RING_ON) && !(now & MS_RING_ON)) ev |= EV_RING;
  return ev;
}

}  // namespace

const char* FakeOpName(FakeOp op) {
  static const char* const kNames[] = {"Open",      "SetCommState",   "SetCommTimeouts",
                                       "SetupComm", "SetCommMask",    "WaitCommEvent",
                                       "StartRead", "StartWrite",     "AwaitTransfer",
                                       "PurgeComm", "ClearCommError", "GetCommModemStatus",
                                       "Close",     "PollCommEvent",  "DropLineErrors"};
  return kNames[static_cast<int>(op)];
}

class FakeDevice final : public Device {
 public:
  explicit FakeDevice(std::shared_ptr<FakeScript> script)
      : keep_(std::move(script)), script_(*keep_) {}
  ~FakeDevice() override { Close(); }

  int SetCommState(const Dcb& dcb) override {
    FakeCall c{FakeOp::SetCommState};
    c.State = dcb;
    return script_.Record(c);
  }
  int SetCommTimeouts(const CommTimeouts& timeouts) override {
    FakeCall c{FakeOp::SetCommTimeouts};
    c.Timeouts = timeouts;
    return script_.Record(c);
  }
  int SetupComm(uint32_t inQueue, uint32_t outQueue) override {
    FakeCall c{FakeOp::SetupComm};
    c.Arg1 = inQueue;
    c.Arg2 = outQueue;
    if (int err = script_.Record(c)) return err;
    std::lock_guard lock(script_.mutex_);
    script_.inputSize_ = inQueue;
    return 0;
  }
  int SetCommMask(uint32_t mask) override {
    FakeCall c{FakeOp::SetCommMask};
    c.Arg1 = mask;
    if (int err = script_.Record(c)) return err;
    std::lock_guard lock(script_.mutex_);
    script_.mask_ = mask;
    script_.events_ &= mask;
    // Line changes count from here, as a driver's counters would tell the tty backend.
    seenModem_ = script_.modem_;
    helperSeen_ = script_.lineChanges_;
    // Events that wait already make the first look find them, as the first wait does.
    if (script_.events_ != 0) script_.WakeWaiter();
    return 0;
  }

  void SetQuietEvents(uint32_t events) override {
    std::lock_guard lock(script_.mutex_);
    script_.quiet_ = events;
  }

  WaitResult WaitCommEvent(const StopSignal& stop) override {
    if (int err = script_.Record({FakeOp::WaitCommEvent})) return {WaitResult::Failed, 0, err};
    for (;;) {
      int timeoutMs = -1;
      {
        std::lock_guard lock(script_.mutex_);
        if (stop.IsSet()) return {WaitResult::Stopped, 0, 0};
        const bool watch = script_.modemLines_ && (script_.mask_ & ~script_.quiet_ & kModemEvents);
        if (watch && !script_.lineWait_) {
          script_.events_ |= ModemEvents(seenModem_, script_.modem_) & script_.mask_;
          seenModem_ = script_.modem_;
          timeoutMs = kSampleMs;
        }
        if (script_.events_ != 0) return {WaitResult::Event, std::exchange(script_.events_, 0u), 0};
        if (watch && script_.lineWait_ && !lineWait_.Running()) lineWait_.Start();
      }
      pollfd p[3] = {{stop.PollFd(), POLLIN, 0},
                     {script_.wake_.get(), POLLIN, 0},
                     {lineWait_.Fd(), POLLIN, 0}};
      if (poll(p, 3, timeoutMs) < 0 && errno != EINTR) return {WaitResult::Failed, 0, errno};
      std::lock_guard lock(script_.mutex_);
      ++script_.wakeUps_;
      uint64_t drained = 0;
      if (p[1].revents & POLLIN) [[maybe_unused]]
        auto n = read(script_.wake_.get(), &drained, 8);
      if (p[2].revents & POLLIN) {
        lineWait_.Consume();
        script_.events_ |= ModemEvents(seenModem_, script_.modem_) & script_.mask_;
        seenModem_ = script_.modem_;
      }
    }
  }

  // A look in place of a wait, for a loop watching the script's wake-up: recorded as a wait.
  // Modem lines that change on the wire are seen only by waits.
  int EventFd() const override { return script_.wake_.get(); }
  WaitResult LookCommEvent() override {
    if (int err = script_.Record({FakeOp::WaitCommEvent})) return {WaitResult::Failed, 0, err};
    std::lock_guard lock(script_.mutex_);
    uint64_t drained = 0;
    [[maybe_unused]] auto n = read(script_.wake_.get(), &drained, 8);
    ++script_.wakeUps_;
    return {WaitResult::Event, std::exchange(script_.events_, 0u), 0};
  }

  uint32_t PollCommEvent() override {
    if (script_.Record({FakeOp::PollCommEvent})) return 0;
    std::lock_guard lock(script_.mutex_);
    return std::exchange(script_.events_, 0u);
  }

  int StartRead(Transfer& t) override {
    FakeCall c{FakeOp::StartRead};
    c.Arg1 = t.Count;
    t.Kind = TransferKind::Read;
    t.Done = 0;
    t.Pending = false;
    if (int err = script_.Record(c)) return err;
    std::lock_guard lock(script_.mutex_);
    const auto n = std::min<size_t>(t.Count, script_.input_.size());
    std::memcpy(t.Buffer, script_.input_.data(), n);
    script_.input_.erase(0, n);
    t.Done = static_cast<uint32_t>(n);
    return 0;
  }
  int StartWrite(Transfer& t) override {
    FakeCall c{FakeOp::StartWrite};
    c.Arg1 = t.Count;
    t.Kind = TransferKind::Write;
    t.Done = 0;
    t.Pending = false;
    if (int err = script_.Record(c)) return err;
    std::lock_guard lock(script_.mutex_);
    script_.sent_.append(t.Data, t.Count);
    t.Done = t.Count;
    return 0;
  }
  int AwaitTransfer(Transfer& t) override {
    t.Pending = false;
    return script_.Record({FakeOp::AwaitTransfer});
  }
  int PurgeComm(uint32_t flags) override {
    FakeCall c{FakeOp::PurgeComm};
    c.Arg1 = flags;
    if (int err = script_.Record(c)) return err;
    std::lock_guard lock(script_.mutex_);
    if (flags & PURGE_RXCLEAR) script_.input_.clear();
    return 0;
  }
  int ClearCommError(uint32_t& errors, ComStat& stat) override {
    errors = 0;
    stat = {};
    if (int err = script_.Record({FakeOp::ClearCommError})) return err;
    std::lock_guard lock(script_.mutex_);
    errors = std::exchange(script_.errors_, 0u);
    stat.cbInQue = static_cast<uint32_t>(script_.input_.size());
    return 0;
  }
  int DropLineErrors() override {
    if (int err = script_.Record({FakeOp::DropLineErrors})) return err;
    std::lock_guard lock(script_.mutex_);
    script_.errors_ = 0;
    return 0;
  }
  int GetCommModemStatus(uint32_t& status) override {
    status = 0;
    if (int err = script_.Record({FakeOp::GetCommModemStatus})) return err;
    std::lock_guard lock(script_.mutex_);
    status = script_.modem_;
    return 0;
  }
  int Close() override {
    if (closed_) return 0;
    closed_ = true;
    lineWait_.Stop();
    const int err = script_.Record({FakeOp::Close});
    std::lock_guard lock(script_.mutex_);
    --script_.open_;
    return err;
  }

 private:
  // The line helper's wait: until ChangeModemLines was called since its last return.
  int WaitLineChange() {
    std::unique_lock lock(script_.mutex_);
    script_.linesChanged_.wait(
        lock, [this] { return script_.lineChanges_ != helperSeen_ || helperInterrupted_; });
    ++script_.wakeUps_;
    if (std::exchange(helperInterrupted_, false)) return EINTR;
    helperSeen_ = script_.lineChanges_;
    return 0;
  }

  std::shared_ptr<FakeScript> keep_;
  FakeScript& script_;
  bool closed_ = false;
  // Under the script's mutex: the modem status the last report compared against, the line
  // helper's count of changes seen, and its interruption.
  uint32_t seenModem_ = 0;
  uint64_t helperSeen_ = 0;
  bool helperInterrupted_ = false;
  DriverWaitThread lineWait_{[this] { return WaitLineChange(); }, [this](std::thread&) {
                               {
                                 std::lock_guard lock(script_.mutex_);
                                 helperInterrupted_ = true;
                               }
                               script_.linesChanged_.notify_all();
                             }};
};

FakeScript::FakeScript() : wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (!wake_.valid()) throw std::system_error(errno, std::generic_category(), "fake device");
}

int FakeScript::Open(const std::string& name, std::unique_ptr<Device>& device) {
  device.reset();
  FakeCall c{FakeOp::Open};
  c.Name = name;
  if (int err = Record(c)) return err;
  {
    std::lock_guard lock(mutex_);
    ++open_;
  }
  device = std::make_unique<FakeDevice>(shared_from_this());
  return 0;
}

int FakeScript::Record(FakeCall call) {
  std::lock_guard lock(mutex_);
  const FakeOp op = call.Op;
  calls_.push_back(std::move(call));
  auto it = failures_.find(op);
  if (it == failures_.end()) return 0;
  const int code = it->second.first;
  if (it->second.second != kAlways && --it->second.second == 0) failures_.erase(it);
  if (code == kRaise) throw std::runtime_error(std::string("scripted failure of ") + FakeOpName(op));
  return code;
}

void FakeScript::WakeWaiter() {
  const uint64_t one = 1;
  [[maybe_unused]] auto n = write(wake_.get(), &one, sizeof one);
}

void FakeScript::Fail(FakeOp op, int code, int times) {
  {
    std::lock_guard lock(mutex_);
    if (times == 0) return;
    failures_[op] = {code, times};
  }
  // A device whose wait fails is ready at once for whoever watches it instead of waiting.
  if (op == FakeOp::WaitCommEvent) WakeWaiter();
}

void FakeScript::ClearFailures() {
  std::lock_guard lock(mutex_);
  failures_.clear();
}

std::vector<FakeCall> FakeScript::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<FakeOp> FakeScript::Ops() const {
  std::lock_guard lock(mutex_);
  std::vector<FakeOp> ops;
  for (const auto& c : calls_) ops.push_back(c.Op);
  return ops;
}

int FakeScript::Count(FakeOp op) const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(
      std::count_if(calls_.begin(), calls_.end(), [op](const FakeCall& c) { return c.Op == op; }));
}

FakeCall FakeScript::Last(FakeOp op) const {
  std::lock_guard lock(mutex_);
  for (auto it = calls_.rbegin(); it != calls_.rend(); ++it) {
    if (it->Op == op) return *it;
  }
  return {};
}

void FakeScript::ClearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

int FakeScript::OpenDevices() const {
  std::lock_guard lock(mutex_);
  return open_;
}

void FakeScript::Receive(const std::string& bytes) {
  {
    std::lock_guard lock(mutex_);
    const bool wasHigh = input_.size() * 5 > uint64_t{inputSize_} * 4;
    input_ += bytes;
    events_ |= mask_ & EV_RXCHAR;
    if (inputSize_ > 0 && !wasHigh && input_.size() * 5 > uint64_t{inputSize_} * 4) {
      events_ |= mask_ & EV_RX80FULL;
    }
  }
  WakeWaiter();
}

std::string FakeScript::Sent() const {
  std::lock_guard lock(mutex_);
  return sent_;
}

void FakeScript::RaiseEvents(uint32_t mask) {
  {
    std::lock_guard lock(mutex_);
    events_ |= mask & mask_;
  }
  WakeWaiter();
}

void FakeScript::SetModemStatus(uint32_t status) {
  std::lock_guard lock(mutex_);
  modem_ = status;
}

void FakeScript::GiveModemLines(bool lineWait) {
  std::lock_guard lock(mutex_);
  modemLines_ = true;
  lineWait_ = lineWait;
}

void FakeScript::ChangeModemLines(uint32_t status) {
  {
    std::lock_guard lock(mutex_);
    modem_ = status;
    ++lineChanges_;
  }
  linesChanged_.notify_all();
}

uint64_t FakeScript::WakeUps() const {
  std::lock_guard lock(mutex_);
  return wakeUps_;
}

uint32_t FakeScript::PendingEvents() const {
  std::lock_guard lock(mutex_);
  return events_;
}

uint32_t FakeScript::InputSize() const {
  std::lock_guard lock(mutex_);
  return inputSize_;
}

uint32_t FakeScript::QuietEvents() const {
  std::lock_guard lock(mutex_);
  return quiet_;
}

void FakeScript::SetLineErrors(uint32_t errors) {
  std::lock_guard lock(mutex_);
  errors_ = errors;
}

}  // namespace corvane::platform
