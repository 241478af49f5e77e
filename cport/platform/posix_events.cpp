// The tty backend's wait for line events, and the line errors it collects for
// ClearCommError.
#include <linux/serial.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <utility>

#include "cport/platform/posix_common.h"
#include "cport/platform/posix_device.h"

namespace corvane::platform {
namespace {

// Modem lines and counters have no readiness to wait on together with the data: they are
// looked at this often, and only while the event mask asks for them on a device that has
// them. Data never waits on a timer.
constexpr int kLineSampleMs = 20;
constexpr uint32_t kLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_ERR | EV_BREAK;

// What each descriptor of the event wait's set stands for.
enum : uint64_t { kTtyTag, kWakeTag, kStopTag };

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
  // Bytes that are already waiting make the first wait report an arrival: nothing that
  // came while the port was being reopened is stranded.
  epoll_event tty{};
  tty.events = EPOLLIN | EPOLLET;
  tty.data.u64 = kTtyTag;
  if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd_.get(), &tty) != 0) return errno;
  epoll_event wake{};
  wake.events = EPOLLIN;
  wake.data.u64 = kWakeTag;
  if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, wake_.get(), &wake) != 0) return errno;
  ResetLineBaseline();
  return 0;
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
  ResetLineBaseline();
  // A wait in progress looks at the new mask.
  Wake();
  return 0;
}

void PosixDevice::SetQuietEvents(uint32_t events) {
  if (quiet_.exchange(events) == events) return;
  // A drain nobody waits for is forgotten, not reported late to a handler assigned after it.
  if (events & EV_TXEMPTY) txPending_.store(false);
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

bool PosixDevice::WatchesLines(uint32_t mask) const {
  return (mask & kLineEvents) != 0 && (hasModem_ || hasCounters_);
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
    pendingErrors_ |= errors;
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

WaitResult PosixDevice::LookForEvents(const StopSignal* stop, bool wait) {
  const uint32_t mask = mask_.load();
  const uint32_t tracked = mask & ~quiet_.load();
  uint32_t ev = 0;
  int timeoutMs = -1;
  if (WatchesLines(tracked)) {
    ev |= SampleLines(true);
    timeoutMs = kLineSampleMs;
  }
  if ((tracked & EV_TXEMPTY) && txPending_.load()) {
    int out = 0;
    if (ioctl(fd_.get(), TIOCOUTQ, &out) != 0 || out <= 0) {
      txPending_.store(false);
      ev |= EV_TXEMPTY;
    } else {
      timeoutMs = 1;  // draining: look again soon, only until the queue is empty
    }
  }
  if (stop && stop->IsSet()) return {WaitResult::Stopped, 0, 0};
  if (hungUp_) return {WaitResult::Failed, 0, EIO};
  if (std::exchange(arrivalKept_, false)) {
    int in = 0;
    if (ioctl(fd_.get(), FIONREAD, &in) == 0 && in > 0) ev |= EV_RXCHAR;
  }
  if (wait && (ev & mask)) return {WaitResult::Event, ev & mask, 0};

  epoll_event ready[3];
  const int n = epoll_wait(epoll_.get(), ready, 3, wait ? timeoutMs : 0);
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
      default: {
        // The device has gone (unplugged, hung up): every later wait would fail at once.
        if (ready[i].events & (EPOLLHUP | EPOLLERR)) {
          hungUp_ = true;
          if (wait) return {WaitResult::Failed, 0, EIO};
          break;
        }
        if ((ready[i].events & EPOLLIN) && NewArrival()) ev |= EV_RXCHAR;
      }
    }
  }
  if (stopped || (stop && stop->IsSet())) {
    // The edge of an arrival is gone once seen: a later wait on this device reports it.
    arrivalKept_ = (ev & EV_RXCHAR) != 0;
    return {WaitResult::Stopped, 0, 0};
  }
  return {WaitResult::Event, ev & mask, 0};
}

bool PosixDevice::NewArrival() {
  // Bytes read meanwhile would count twice, in the queue and as read; a look that cannot
  // tell reports what waits and counts afresh next time.
  const uint64_t purges = rxPurges_.load();
  const uint64_t seq = readSeq_.load();
  const uint64_t readBefore = consumed_.load();
  int in = 0;
  if (ioctl(fd_.get(), FIONREAD, &in) != 0) in = 0;
  const uint64_t read = consumed_.load();
  const bool exact = (seq & 1) == 0 && seq == readSeq_.load() && read == readBefore &&
                     purges == rxPurges_.load();
  const uint64_t arrived = read + static_cast<uint64_t>(in > 0 ? in : 0);
  const bool fresh =
      in > 0 && (!exact || !arrivedKnown_ || purges != purgesSeen_ || arrived > arrivedSeen_);
  arrivedKnown_ = exact;
  arrivedSeen_ = arrived;
  purgesSeen_ = purges;
  return fresh;
}

int PosixDevice::ClearCommError(uint32_t& errors, ComStat& stat) {
  errors = 0;
  stat = {};
  int in = 0, out = 0;
  if (ioctl(fd_.get(), FIONREAD, &in) != 0) return errno;
  if (ioctl(fd_.get(), TIOCOUTQ, &out) != 0 && !NotProvided(errno)) return errno;
  stat.cbInQue = in > 0 ? static_cast<uint32_t>(in) : 0;
  stat.cbOutQue = out > 0 ? static_cast<uint32_t>(out) : 0;
  // The modem lines stay for the event wait to compare; only the errors are collected.
  SampleLines(false);
  std::lock_guard lock(linesMutex_);
  errors = std::exchange(pendingErrors_, 0u);
  return 0;
}

}  // namespace corvane::platform
