// Reads, writes and purges of the tty backend, under the Win32 timeout rules.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cport/platform/posix_common.h"
#include "cport/platform/posix_device.h"

namespace corvane::platform {
namespace {

constexpr int kEnded = -1;  // WaitReadable: the total or interval timeout ran out

void Drain(int fd) {
  uint64_t n = 0;
  [[maybe_unused]] auto r = read(fd, &n, sizeof n);
}

int ClampMs(int64_t ms) {
  return ms <= 0 ? 0 : ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
}

// A device that has gone reads nothing and polls hung up; only the poll tells.
bool HungUp(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

}  // namespace

void PosixDevice::DrainAbort() {
  const uint64_t aborts = aborts_.load();
  if (aborts == abortsDrained_) return;
  abortsDrained_ = aborts;
  Drain(abort_.get());
}

ssize_t PosixDevice::CountedRead(char* buffer, uint32_t count) {
  // Odd while a read is under way: bytes it took from the queue are not yet counted.
  readSeq_.fetch_add(1);
  const ssize_t n = ::read(fd_.get(), buffer, count);
  const int err = errno;
  if (n > 0) consumed_.fetch_add(static_cast<uint64_t>(n));
  readSeq_.fetch_add(1);
  errno = err;
  return n;
}

int PosixDevice::TakeInput(char* buffer, uint32_t count, uint32_t& got) {
  std::lock_guard lock(inputMutex_);
  got = ServeInput(buffer, count);
  int err = 0;
  uint64_t taken = got;  // as the bytes were queued, before NULs were dropped
  if (got < count && ReadAheadWanted()) {
    err = PullInput();
    const uint32_t more = ServeInput(buffer + got, count - got);
    got += more;
    taken += more;
  } else if (got < count) {
    const ssize_t n = CountedRead(buffer + got, count - got);
    if (n < 0 && errno != EAGAIN && errno != EINTR) err = errno;
    if (n > 0) {
      uint32_t fresh = static_cast<uint32_t>(n);
      taken += fresh;
      DropNuls(buffer + got, fresh);
      got += fresh;
    }
  }
  if (taken > 0) served_.fetch_add(taken, std::memory_order_relaxed);
  // A failure after some bytes shows again on the next read.
  if (got > 0) return 0;
  if (err != 0) return err;
  return HungUp(fd_.get()) ? EIO : 0;
}

int PosixDevice::StartRead(Transfer& t) {
  DrainAbort();
  t.Kind = TransferKind::Read;
  t.Done = 0;
  t.Pending = false;
  t.AbortTicket = aborts_.load();
  if (t.Count == 0) return 0;
  if (int err = TakeInput(t.Buffer, t.Count, t.Done)) return err;
  const CommTimeouts& to = timeouts_;
  if (to.ReadIntervalTimeout == MAXDWORD && to.ReadTotalTimeoutMultiplier == 0 &&
      to.ReadTotalTimeoutConstant == 0) {
    return 0;  // at once with what has arrived
  }
  if (to.ReadIntervalTimeout == MAXDWORD && to.ReadTotalTimeoutMultiplier == MAXDWORD) {
    t.Pending = t.Done == 0;  // the first byte, or the constant's time
  } else {
    t.Pending = t.Done < t.Count;
  }
  // Only a transfer left pending waits against its total timeout; taking what had arrived
  // did not wait, so the clock is read here and not for every read served at once.
  if (t.Pending) t.StartedAtMs = NowMs();
  return 0;
}

// Waits for the device to become readable: 0 when it is, kEnded after timeoutMs, or the
// error that ended the transfer (ECANCELED after a purge, EIO when the device went).
int PosixDevice::WaitReadable(Transfer& t, int timeoutMs) {
  readersWaiting_.fetch_add(1);
  struct Leave {
    std::atomic<int>& n;
    ~Leave() { n.fetch_sub(1); }
  } leave{readersWaiting_};
  for (;;) {
    if (aborts_.load() != t.AbortTicket) return ECANCELED;
    if (queued_.load() > 0) return 0;
    pollfd p[3] = {
        {fd_.get(), POLLIN, 0}, {abort_.get(), POLLIN, 0}, {inputReady_.get(), POLLIN, 0}};
    const int r = poll(p, 3, timeoutMs);
    if (r < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (r == 0) return kEnded;
    if (p[1].revents & POLLIN) {
      if (aborts_.load() != t.AbortTicket) return ECANCELED;
      abortsDrained_ = t.AbortTicket;
      Drain(abort_.get());
      continue;
    }
    if (p[2].revents & POLLIN) {
      Drain(inputReady_.get());
      continue;
    }
    if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return EIO;
    return 0;
  }
}

int PosixDevice::AwaitRead(Transfer& t) {
  const CommTimeouts& to = timeouts_;
  const bool firstByteOnly =
      to.ReadIntervalTimeout == MAXDWORD && to.ReadTotalTimeoutMultiplier == MAXDWORD;
  const uint64_t total = firstByteOnly
                             ? to.ReadTotalTimeoutConstant
                             : static_cast<uint64_t>(to.ReadTotalTimeoutMultiplier) * t.Count +
                                   to.ReadTotalTimeoutConstant;
  const bool interval =
      !firstByteOnly && to.ReadIntervalTimeout != 0 && to.ReadIntervalTimeout != MAXDWORD;
  int64_t lastByteAt = NowMs();
  while (t.Done < t.Count && !(firstByteOnly && t.Done > 0)) {
    int64_t waitMs = -1;
    const int64_t now = NowMs();
    if (total != 0) waitMs = static_cast<int64_t>(total) - (now - t.StartedAtMs);
    if (interval && t.Done > 0) {
      const int64_t gap = static_cast<int64_t>(to.ReadIntervalTimeout) - (now - lastByteAt);
      waitMs = waitMs < 0 ? gap : std::min(waitMs, gap);
    }
    if (waitMs != -1 && waitMs <= 0) break;
    const int r = WaitReadable(t, waitMs < 0 ? -1 : ClampMs(waitMs));
    if (r == kEnded) break;
    if (r != 0) return r;
    uint32_t got = 0;
    if (int err = TakeInput(t.Buffer + t.Done, t.Count - t.Done, got)) return err;
    if (got > 0) {
      t.Done += got;
      lastByteAt = NowMs();
    }
  }
  return 0;
}

int PosixDevice::StartWrite(Transfer& t) {
  DrainAbort();
  t.Kind = TransferKind::Write;
  t.Done = 0;
  t.Pending = false;
  t.AbortTicket = aborts_.load();
  if (t.Count == 0) return 0;
  const ssize_t n = WriteLine(t.Data, t.Count);
  if (n < 0 && errno != EAGAIN) return errno;
  t.Done = n > 0 ? static_cast<uint32_t>(n) : 0;
  t.Pending = t.Done < t.Count;
  if (t.Pending) t.StartedAtMs = NowMs();  // as for a read: the write did not wait
  if (!t.Pending) MarkWritten();
  return 0;
}

ssize_t PosixDevice::WriteLine(const char* data, uint32_t count) {
  if (!rtsToggle_.load()) return ::write(fd_.get(), data, count);
  std::lock_guard lock(drainMutex_);
  int rts = TIOCM_RTS;
  ioctl(fd_.get(), TIOCMBIS, &rts);  // a line without RTS (a pseudo-terminal) just sends
  return ::write(fd_.get(), data, count);
}

void PosixDevice::MarkWritten() {
  // Kept also while nobody watches the drain: one who starts watching before the bytes
  // have left hears it.
  txPending_.store(true);
  const bool watched = (Tracked() & EV_TXEMPTY) != 0;
  // Under RTS toggle the line drops RTS once the bytes have left, event thread or not.
  if (!rtsToggle_.load() && !watched) return;
  // The helper's drain wakes the event wait; without a helper the wait looks at the queue.
  if (!RequestDrain() && watched) Wake();
}

int PosixDevice::AwaitWrite(Transfer& t) {
  const uint64_t budget = static_cast<uint64_t>(timeouts_.WriteTotalTimeoutMultiplier) * t.Count +
                          timeouts_.WriteTotalTimeoutConstant;
  while (t.Done < t.Count) {
    if (aborts_.load() != t.AbortTicket) return ECANCELED;
    int waitMs = -1;
    if (budget != 0) {
      const int64_t left = static_cast<int64_t>(budget) - (NowMs() - t.StartedAtMs);
      if (left <= 0) break;
      waitMs = ClampMs(left);
    }
    pollfd p[2] = {{fd_.get(), POLLOUT, 0}, {abort_.get(), POLLIN, 0}};
    const int r = poll(p, 2, waitMs);
    if (r < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (r == 0) break;
    if (p[1].revents & POLLIN) {
      if (aborts_.load() != t.AbortTicket) return ECANCELED;
      abortsDrained_ = t.AbortTicket;
      Drain(abort_.get());
      continue;
    }
    if (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return EIO;
    const ssize_t n = WriteLine(t.Data + t.Done, t.Count - t.Done);
    if (n < 0 && errno != EAGAIN && errno != EINTR) return errno;
    if (n > 0) t.Done += static_cast<uint32_t>(n);
  }
  return 0;
}

int PosixDevice::AwaitTransfer(Transfer& t) {
  if (!t.Pending) return 0;
  const int err = t.Kind == TransferKind::Read ? AwaitRead(t) : AwaitWrite(t);
  t.Pending = false;
  if (t.Kind == TransferKind::Write && (t.Done > 0 || rtsToggle_.load())) MarkWritten();
  return err;
}

int PosixDevice::PurgeComm(uint32_t flags) {
  if (flags & (PURGE_TXABORT | PURGE_RXABORT)) {
    aborts_.fetch_add(1);
    const uint64_t one = 1;
    [[maybe_unused]] auto n = write(abort_.get(), &one, sizeof one);
  }
  const bool rx = flags & PURGE_RXCLEAR, tx = flags & PURGE_TXCLEAR;
  if (!rx && !tx) return 0;
  const int queue = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
  if (!rx) return tcflush(fd_.get(), queue) == 0 ? 0 : errno;
  // Bytes dropped here were never read: the event wait counts what arrives next afresh.
  // No read-ahead may take old bytes in between the two queues' clearing.
  std::lock_guard lock(inputMutex_);
  rxPurges_.fetch_add(1);
  readAhead_.clear();
  queued_.store(0);
  marks_.Reset();
  return tcflush(fd_.get(), queue) == 0 ? 0 : errno;
}

}  // namespace corvane::platform
