// The tty backend's wait for line events, and the line errors it collects for
// ClearCommError.
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <string>
#include <utility>

#include "cport/platform/device_trace.h"
#include "cport/platform/posix_common.h"
#include "cport/platform/posix_device.h"

namespace corvane::platform {
namespace {

// Modem lines have no readiness to poll together with the data: a helper waits for their
// changes in TIOCMIWAIT. Only a driver without that wait has them looked at this often,
// while the event mask asks for them. The error counters change only as bytes come in, so
// they are read when the tty reports input. Nothing else waits on a timer.
constexpr int kLineSampleMs = 20;
constexpr uint32_t kModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr uint32_t kCounterEvents = EV_ERR | EV_BREAK;

// What each descriptor of the event wait's set stands for.
enum : uint64_t { kTtyTag, kWakeTag, kStopTag, kLinesTag, kDrainTag, kLookAgainTag };

void Drain(int fd) {
  uint64_t n = 0;
  [[maybe_unused]] auto r = read(fd, &n, sizeof n);
}

}  // namespace

int PosixDevice::InitEvents() {
  epoll_ = UniqueFd(epoll_create1(EPOLL_CLOEXEC));
  if (!epoll_.valid()) return errno;
  wake_ = UniqueFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake_.valid()) return errno;
  abort_ = UniqueFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!abort_.valid()) return errno;
  inputReady_ = UniqueFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!inputReady_.valid()) return errno;
  lookAgain_ = UniqueFd(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK));
  if (!lookAgain_.valid()) return errno;
  // Bytes that are already waiting make the first wait report an arrival: nothing that
  // came while the port was being reopened is stranded.
  epoll_event tty{};
  tty.events = EPOLLIN | EPOLLET;
  tty.data.u64 = kTtyTag;
  if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd_.get(), &tty) != 0) return errno;
  for (auto [fd, tag] : {std::pair{wake_.get(), kWakeTag}, {lookAgain_.get(), kLookAgainTag}}) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = tag;
    if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd, &ev) != 0) return errno;
  }
  lineWait_ = std::make_unique<DriverWaitThread>([this] { return WaitLineChange(); },
                                                 [](std::thread& t) { InterruptDriverCall(t); });
  drainWait_ = std::make_unique<DriverWaitThread>(
      [this] { return WaitDrained(); },
      [this](std::thread& t) {
        {
          std::lock_guard lock(drainMutex_);
          drainInterrupted_ = true;
        }
        drainCv_.notify_all();
        InterruptDriverCall(t);
      });
  for (auto [helper, tag] : {std::pair{lineWait_.get(), kLinesTag}, {drainWait_.get(), kDrainTag}}) {
    if (helper->Fd() < 0) return EMFILE;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = tag;
    if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, helper->Fd(), &ev) != 0) return errno;
  }
  ResetLineBaseline();
  return 0;
}

void PosixDevice::StopHelpers() {
  if (lineWait_) lineWait_->Stop();
  if (drainWait_) drainWait_->Stop();
}

bool PosixDevice::WaitForLineChanges() {
  if (lineWaitMissing_) return false;
  if (lineWait_->Running()) return true;
  if (const int err = lineWait_->Error()) {
    // Ended on its own: the driver has no such wait, or the device went (which the tty's
    // hang-up reports). Either way it is not started again for this device.
    lineWaitMissing_ = true;
    if (NotProvided(err)) {
      DeviceTrace("<LineEvents> (" + path_ +
                  ") the driver cannot wait for modem-line changes; they are sampled every " +
                  std::to_string(kLineSampleMs) + " ms (Error: " + std::to_string(err) + ")");
    }
    return false;
  }
  {
    std::lock_guard lock(linesMutex_);
    lineWaitSeen_ = counters_;
  }
  if (lineWait_->Start() != 0) {
    lineWaitMissing_ = true;
    return false;
  }
  return true;
}

int PosixDevice::WaitLineChange() {
  // TIOCMIWAIT waits for a change after its own start: one that came since the helper's
  // last return is reported at once, from the driver's counters.
  serial_icounter_struct ic{};
  auto differs = [&] {
    return ic.cts != lineWaitSeen_.cts || ic.dsr != lineWaitSeen_.dsr ||
           ic.dcd != lineWaitSeen_.dcd || ic.rng != lineWaitSeen_.rng;
  };
  auto keep = [&] {
    lineWaitSeen_.cts = ic.cts;
    lineWaitSeen_.dsr = ic.dsr;
    lineWaitSeen_.dcd = ic.dcd;
    lineWaitSeen_.rng = ic.rng;
  };
  if (ioctl(fd_.get(), TIOCGICOUNT, &ic) == 0 && differs()) {
    keep();
    return 0;
  }
  if (ioctl(fd_.get(), TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG) != 0) return errno;
  if (ioctl(fd_.get(), TIOCGICOUNT, &ic) == 0) keep();
  return 0;
}

bool PosixDevice::RequestDrain() {
  // A line without modem lines (a pseudo-terminal) has no transmitter whose last byte may
  // still be on its way: an empty queue is a drained line, and no helper thread is needed.
  {
    std::lock_guard lock(linesMutex_);
    if (!hasModem_) return false;
  }
  {
    std::lock_guard lock(drainMutex_);
    drainWanted_ = true;
  }
  drainCv_.notify_all();
  return drainWait_ && drainWait_->Start() == 0;
}

int PosixDevice::WaitDrained() {
  {
    std::unique_lock lock(drainMutex_);
    drainCv_.wait(lock, [this] { return drainWanted_ || drainInterrupted_; });
    if (std::exchange(drainInterrupted_, false)) return EINTR;
  }
  if (tcdrain(fd_.get()) != 0) return errno;
  std::lock_guard lock(drainMutex_);
  int out = 0;
  // A write that came meanwhile is drained next; until then RTS stays up for it.
  if (ioctl(fd_.get(), TIOCOUTQ, &out) == 0 && out > 0) return EINTR;
  drainWanted_ = false;
  if (rtsToggle_.load()) {
    int rts = TIOCM_RTS;
    ioctl(fd_.get(), TIOCMBIC, &rts);
  }
  return 0;
}

uint32_t PosixDevice::InputFillEvent() {
  const uint32_t size = inQueueSize_.load();
  int in = 0;
  if (size == 0 || size > 0x7FFFFFFFu || ioctl(fd_.get(), FIONREAD, &in) != 0) return 0;
  const uint64_t waiting = static_cast<uint64_t>(in > 0 ? in : 0) + queued_.load();
  const uint64_t mark = static_cast<uint64_t>(size) * 4;
  const uint64_t served = served_.load();
  const uint64_t purges = rxPurges_.load();
  if (inputHigh_) {
    // Reads since the last look, counted as if they came before this arrival: when they
    // took the queue to the mark or below, this arrival passes it afresh.
    const uint64_t taken = served - servedAtFill_;
    if (purges != purgesAtFill_ || taken >= levelAtFill_ || (levelAtFill_ - taken) * 5 <= mark) {
      inputHigh_ = false;
    }
  }
  levelAtFill_ = waiting;
  servedAtFill_ = served;
  purgesAtFill_ = purges;
  const bool high = waiting * 5 > mark;
  return std::exchange(inputHigh_, high) || !high ? 0 : EV_RX80FULL;
}

int PosixDevice::WatchStop(const StopSignal& stop) {
  if (stop.Serial() == stopSerial_) return 0;
  // The earlier signal's descriptor may be open still; once closed it left the set by
  // itself, and its number may now name something else, which the set does not hold.
  if (stopFd_ >= 0) epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, stopFd_, nullptr);
  stopFd_ = -1;
  stopSerial_ = 0;
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = kStopTag;
  if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, stop.PollFd(), &ev) != 0) return errno;
  stopFd_ = stop.PollFd();
  stopSerial_ = stop.Serial();
  return 0;
}

void PosixDevice::Wake() {
  const uint64_t one = 1;
  [[maybe_unused]] auto n = write(wake_.get(), &one, sizeof one);
}

int PosixDevice::SetCommMask(uint32_t mask) {
  mask_.store(mask);
  // Monitoring ended: nobody waits for line changes any more.
  if (mask == 0 && lineWait_) lineWait_->Stop();
  ResetLineBaseline();
  // A wait in progress looks at the new mask.
  Wake();
  return 0;
}

void PosixDevice::SetQuietEvents(uint32_t events) {
  const uint32_t before = quiet_.exchange(events);
  if (before == events) return;
  if ((before & EV_TXEMPTY) && !(events & EV_TXEMPTY) && txPending_.load()) {
    // Watched from now on: output still queued drains for the new watcher; a drain that
    // already happened was nobody's and is not reported late.
    int out = 0;
    if (ioctl(fd_.get(), TIOCOUTQ, &out) == 0 && out > 0) {
      RequestDrain();
    } else {
      txPending_.store(false);
    }
  }
  // A wait in progress looks again at what it has to watch.
  Wake();
}

void PosixDevice::ResetLineBaseline() {
  std::lock_guard lock(linesMutex_);
  hasModem_ = ioctl(fd_.get(), TIOCMGET, &modem_) == 0;
  serial_icounter_struct ic{};
  hasCounters_ = ioctl(fd_.get(), TIOCGICOUNT, &ic) == 0;
  counters_ = {ic.cts,     ic.dsr,    ic.rng, ic.dcd,        ic.frame,
               ic.overrun, ic.parity, ic.brk, ic.buf_overrun};
}

uint32_t PosixDevice::SampleLines(bool modemLines) {
  std::lock_guard lock(linesMutex_);
  uint32_t ev = 0;
  int lines = 0;
  if (modemLines && hasModem_ && ioctl(fd_.get(), TIOCMGET, &lines) == 0) {
    const int changed = lines ^ modem_;
    if (changed & TIOCM_CTS) ev |= EV_CTS;
    if (changed & TIOCM_DSR) ev |= EV_DSR;
    if (changed & TIOCM_CD) ev |= EV_RLSD;
    if ((changed & TIOCM_RI) && !(lines & TIOCM_RI)) ev |= EV_RING;  // end of a ring
    modem_ = lines;
  }
  serial_icounter_struct ic{};
  if (hasCounters_ && ioctl(fd_.get(), TIOCGICOUNT, &ic) == 0) {
    if (modemLines) {
      // The counters also catch changes shorter than the sampling interval.
      if (ic.cts != counters_.cts) ev |= EV_CTS;
      if (ic.dsr != counters_.dsr) ev |= EV_DSR;
      if (ic.dcd != counters_.dcd) ev |= EV_RLSD;
      if (ic.rng != counters_.rng) ev |= EV_RING;
      counters_.cts = ic.cts;
      counters_.dsr = ic.dsr;
      counters_.dcd = ic.dcd;
      counters_.rng = ic.rng;
    }
    uint32_t errors = 0;
    if (ic.frame != counters_.frame) errors |= CE_FRAME;
    if (ic.overrun != counters_.overrun) errors |= CE_OVERRUN;
    if (ic.parity != counters_.parity) errors |= CE_RXPARITY;
    if (ic.buf_overrun != counters_.bufOverrun) errors |= CE_RXOVER;
    if (ic.brk != counters_.brk) {
      errors |= CE_BREAK;
      ev |= EV_BREAK;
    }
    if (errors & ~CE_BREAK) ev |= EV_ERR;
    pendingErrors_.fetch_or(errors);
    counters_.frame = ic.frame;
    counters_.overrun = ic.overrun;
    counters_.parity = ic.parity;
    counters_.brk = ic.brk;
    counters_.bufOverrun = ic.buf_overrun;
  }
  return ev;
}

WaitResult PosixDevice::WaitCommEvent(const StopSignal& stop) {
  if (int err = WatchStop(stop)) return {WaitResult::Failed, 0, err};
  for (;;) {
    const WaitResult r = LookForEvents(&stop, true);
    if (r.Outcome != WaitResult::Event || r.Mask != 0) return r;
  }
}

uint32_t PosixDevice::PollCommEvent() {
  const WaitResult r = LookForEvents(nullptr, false);
  return r.Outcome == WaitResult::Event ? r.Mask : 0;
}

WaitResult PosixDevice::LookCommEvent() {
  return LoopLook(false);
}

WaitResult PosixDevice::LookLineEvent() {
  return LoopLook(true);
}

WaitResult PosixDevice::LoopLook(bool lineReady) {
  lookCountKept_.store(false);
  if (hungUp_) return {WaitResult::Failed, 0, EIO};
  arrivedWaiting_ = kNotCounted;
  const WaitResult r = LookForEvents(nullptr, false, lineReady);
  // Gone: as for a wait, the failure comes first, not the bytes that came with it.
  if (hungUp_) return {WaitResult::Failed, 0, EIO};
  if ((r.Mask & EV_RXCHAR) && arrivedWaiting_ != kNotCounted &&
      readSeq_.load() == arrivedSeq_ && !ReadAheadWanted()) {
    lookCount_ = {arrivedWaiting_, arrivedSeq_, rxPurges_.load()};
    lookCountKept_.store(true, std::memory_order_release);
  }
  return r;
}

void PosixDevice::EndLook() {
  lookCountKept_.store(false);
  // The line went back into the set while bytes waited unread; once every byte the last
  // arrival saw is read, the loop can watch the line itself again.
  if (lineOutsideWanted_ && !lineOutside_ && arrivedKnown_ && consumed_.load() >= arrivedSeen_) {
    MoveLine(true);
  }
}

void PosixDevice::WatchLineOutside(bool outside) {
  lineOutsideWanted_ = outside;
  MoveLine(outside);
}

void PosixDevice::MoveLine(bool outside) {
  if (outside == lineOutside_) return;
  // Back in the set edge-triggered, bytes that wait are reported once by the next look.
  epoll_event tty{};
  tty.events = EPOLLIN | EPOLLET;
  tty.data.u64 = kTtyTag;
  if (epoll_ctl(epoll_.get(), outside ? EPOLL_CTL_DEL : EPOLL_CTL_ADD, fd_.get(), &tty) != 0) {
    return;  // where it was, it is still watched
  }
  lineOutside_ = outside;
}

uint32_t PosixDevice::InputEvents(uint32_t tracked, bool lineReady) {
  uint32_t ev = 0;
  bool ttyEmpty = false;
  if (ReadAheadWanted()) {
    std::lock_guard lock(inputMutex_);
    PullInput();  // a failure is left to the reads
  } else if (lineReady) {
    ttyEmpty = TakeArrivalIn();
  }
  if (NewArrival(ttyEmpty)) ev |= EV_RXCHAR;
  if ((tracked & kCounterEvents) && hasCounters_) ev |= SampleLines(false);
  if (tracked & EV_RX80FULL) ev |= InputFillEvent();
  return ev;
}

WaitResult PosixDevice::LookForEvents(const StopSignal* stop, bool wait, bool lineReady) {
  const uint32_t mask = mask_.load();
  const uint32_t tracked = mask & ~quiet_.load();
  uint32_t ev = 0;
  int timeoutMs = -1;
  if ((tracked & kModemEvents) && hasModem_ && !WaitForLineChanges()) {
    ev |= SampleLines(true);
    timeoutMs = kLineSampleMs;
  }
  // The drain helper reports the output drained once the driver says the line is idle,
  // which an empty queue alone does not mean (the last byte may still be on its way).
  // Without a helper the queue is looked at again until it is empty.
  if ((tracked & EV_TXEMPTY) && txPending_.load() && !drainWait_->Running()) {
    int out = 0;
    if (ioctl(fd_.get(), TIOCOUTQ, &out) != 0 || out <= 0) {
      txPending_.store(false);
      ev |= EV_TXEMPTY;
    } else {
      timeoutMs = kLineSampleMs;
    }
  }
  if (stop && stop->IsSet()) return {WaitResult::Stopped, 0, 0};
  if (hungUp_) return {WaitResult::Failed, 0, EIO};
  if (std::exchange(arrivalKept_, false)) {
    int in = 0;
    if ((ioctl(fd_.get(), FIONREAD, &in) == 0 && in > 0) || queued_.load() > 0) ev |= EV_RXCHAR;
  }
  if (wait && (ev & mask)) return {WaitResult::Event, ev & mask, 0};

  if (!wait && timeoutMs >= 0) {
    // Whoever watches the set instead of waiting on it is woken for the next look.
    itimerspec due{};
    due.it_value.tv_nsec = static_cast<long>(timeoutMs) * 1000000L;
    timerfd_settime(lookAgain_.get(), 0, &due, nullptr);
  }
  if (lineReady) {
    // Readable and nothing new: the line hung up, or bytes wait that nobody reads, which
    // the edge-triggered set watches for afresh from now on.
    const uint32_t input = InputEvents(tracked, true);
    ev |= input;
    if (!(input & EV_RXCHAR)) {
      pollfd line{fd_.get(), POLLIN, 0};
      if (poll(&line, 1, 0) > 0) {
        if (line.revents & (POLLHUP | POLLERR)) {
          hungUp_ = true;
        } else if (line.revents & POLLIN) {
          MoveLine(false);
        }
      }
    }
    if ((tracked & EV_RXFLAG) && eventCharSeen_.exchange(false)) ev |= EV_RXFLAG;
    return {WaitResult::Event, ev & mask, 0};
  }
  epoll_event ready[6];
  const int n = epoll_wait(epoll_.get(), ready, 6, wait ? timeoutMs : 0);
  if (n < 0) {
    if (errno == EINTR) return {WaitResult::Event, ev & mask, 0};
    return {WaitResult::Failed, 0, errno};
  }
  bool stopped = false;
  for (int i = 0; i < n; ++i) {
    switch (ready[i].data.u64) {
      case kStopTag:
        // A look without a stop leaves it to the next wait, which sees it again.
        stopped = stop != nullptr;
        break;
      case kWakeTag:
        Drain(wake_.get());
        break;
      case kLookAgainTag:
        Drain(lookAgain_.get());
        break;
      case kLinesTag:
        lineWait_->Consume();
        if ((tracked & kModemEvents) && hasModem_) ev |= SampleLines(true);
        break;
      case kDrainTag:
        // The next look finds the queue empty and reports it.
        drainWait_->Consume();
        if ((tracked & EV_TXEMPTY) && txPending_.load()) {
          int out = 0;
          if (ioctl(fd_.get(), TIOCOUTQ, &out) != 0 || out <= 0) {
            txPending_.store(false);
            ev |= EV_TXEMPTY;
          }
        }
        break;
      default: {
        // The device has gone (unplugged, hung up): every later wait would fail at once.
        if (ready[i].events & (EPOLLHUP | EPOLLERR)) {
          hungUp_ = true;
          if (wait) return {WaitResult::Failed, 0, EIO};
          break;
        }
        if (!(ready[i].events & EPOLLIN)) break;
        ev |= InputEvents(tracked);
      }
    }
  }
  if (stopped || (stop && stop->IsSet())) {
    // The edge of an arrival is gone once seen: a later wait on this device reports it.
    arrivalKept_ = (ev & EV_RXCHAR) != 0;
    return {WaitResult::Stopped, 0, 0};
  }
  if ((tracked & EV_RXFLAG) && eventCharSeen_.exchange(false)) ev |= EV_RXFLAG;
  return {WaitResult::Event, ev & mask, 0};
}

bool PosixDevice::NewArrival(bool ttyEmpty) {
  // Bytes read meanwhile would count twice, in the queue and as read; a look that cannot
  // tell reports what waits and counts afresh next time.
  const uint64_t purges = rxPurges_.load();
  const uint64_t seq = readSeq_.load();
  const uint64_t readBefore = consumed_.load();
  int in = 0;
  if (!ttyEmpty && ioctl(fd_.get(), FIONREAD, &in) != 0) in = 0;
  const uint64_t read = consumed_.load();
  const bool exact = (seq & 1) == 0 && seq == readSeq_.load() && read == readBefore &&
                     purges == rxPurges_.load();
  const uint64_t arrived = read + static_cast<uint64_t>(in > 0 ? in : 0);
  // Bytes the read-ahead took in wait there, counted as read.
  const bool waiting = in > 0 || queued_.load() > 0;
  const bool fresh =
      waiting && (!exact || !arrivedKnown_ || purges != purgesSeen_ || arrived > arrivedSeen_);
  arrivedKnown_ = exact;
  arrivedSeen_ = arrived;
  arrivedWaiting_ = !exact ? kNotCounted : in > 0 ? static_cast<uint32_t>(in) : 0;
  arrivedSeq_ = seq;
  purgesSeen_ = purges;
  return fresh;
}

int PosixDevice::ClearCommError(uint32_t& errors, ComStat& stat) {
  stat = {};
  if (int err = ClearCommErrorIn(errors, stat.cbInQue)) return err;
  int out = 0;
  if (ioctl(fd_.get(), TIOCOUTQ, &out) != 0 && !NotProvided(errno)) return errno;
  stat.cbOutQue = out > 0 ? static_cast<uint32_t>(out) : 0;
  return 0;
}

int PosixDevice::ClearCommErrorIn(uint32_t& errors, uint32_t& inQueue) {
  errors = 0;
  inQueue = 0;
  if (ReadAheadWanted()) {
    // Marked bytes count as what they decode to; a failure is left to the reads.
    std::lock_guard lock(inputMutex_);
    PullInput();
  }
  int in = 0;
  if (lookCountKept_.exchange(false, std::memory_order_acquire) &&
      lookCount_.readSeq == readSeq_.load() && lookCount_.purges == rxPurges_.load()) {
    in = static_cast<int>(lookCount_.waiting);
  } else if (ioctl(fd_.get(), FIONREAD, &in) != 0) {
    return errno;
  }
  inQueue = (in > 0 ? static_cast<uint32_t>(in) : 0) + queued_.load();
  // The modem lines stay for the event wait to compare; only the errors are collected.
  SampleLines(false);
  errors = pendingErrors_.exchange(0u);
  return 0;
}

int PosixDevice::DropLineErrors() {
  // What the driver's counters show and nobody has collected yet stays for the next count:
  // reading them costs a call a read cannot afford.
  pendingErrors_.store(0u);
  return 0;
}

}  // namespace corvane::platform
