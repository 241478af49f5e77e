#include "cport/platform/posix_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "cport/platform/posix_line.h"
#include "cport/platform/posix_path.h"

namespace corvane::platform {
namespace {

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Failures of the modem and counter ioctls that only say the device has no such lines.
bool NotProvided(int err) {
  return err == ENOTTY || err == EINVAL || err == ENOTSUP;
}

}  // namespace

int OpenDevice(const std::string& name, std::unique_ptr<Device>& device) {
  device.reset();
  if (name.empty()) return ENOENT;
  return PosixDevice::Open(ResolveDevicePath(name), device);
}

int PosixDevice::Open(const std::string& path, std::unique_ptr<Device>& device) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return errno;

  struct stat st {};
  if (fstat(fd.get(), &st) != 0) return errno;
  if (!S_ISCHR(st.st_mode) || !isatty(fd.get())) return ENOTTY;

  // Another Corvane holds it: say "busy", as the tty would for any other program.
  if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? EBUSY : errno;
  if (ioctl(fd.get(), TIOCEXCL) != 0) return errno;

  std::unique_ptr<PosixDevice> opened(new PosixDevice(std::move(fd)));
  if (int err = MakeTtyRaw(opened->Fd())) return err;  // the destructor lifts TIOCEXCL
  device = std::move(opened);
  return 0;
}

PosixDevice::~PosixDevice() {
  Close();
}

int PosixDevice::Close() {
  if (!fd_.valid()) return 0;
  // The exclusive flag belongs to the tty, not to our descriptor: a peer that keeps the tty
  // open would keep it set and lock us out of our own reopen.
  ioctl(fd_.get(), TIOCNXCL);
  return fd_.reset();
}

int PosixDevice::SetCommState(const Dcb& dcb) {
  if (int err = ApplyDcbToTty(fd_.get(), dcb)) return err;
  dcb_ = dcb;
  return 0;
}

int PosixDevice::SetCommTimeouts(const CommTimeouts& timeouts) {
  if (!isatty(fd_.get())) return errno;
  timeouts_ = timeouts;
  return 0;
}

int PosixDevice::SetupComm(uint32_t inQueue, uint32_t outQueue) {
  // The tty layer sizes its own queues; what is checked is that the sizes make sense and
  // that the device is still there.
  if (inQueue > 0x7FFFFFFFu || outQueue > 0x7FFFFFFFu) return EINVAL;
  if (!isatty(fd_.get())) return errno;
  return 0;
}

int PosixDevice::SetCommMask(uint32_t mask) {
  mask_.store(mask);
  return 0;
}

WaitResult PosixDevice::WaitCommEvent(const StopSignal& stop) {
  // Event detection is not built yet: wait only for the stop signal.
  pollfd p{stop.PollFd(), POLLIN, 0};
  while (poll(&p, 1, -1) < 0) {
    if (errno != EINTR) return {WaitResult::Failed, 0, errno};
  }
  return {WaitResult::Stopped, 0, 0};
}

int PosixDevice::StartRead(Transfer& t) {
  t.Kind = TransferKind::Read;
  t.Done = 0;
  t.Pending = false;
  t.StartedAtMs = NowMs();
  if (t.Count == 0) return 0;
  const ssize_t n = ::read(fd_.get(), t.Buffer, t.Count);
  if (n >= 0) {
    t.Done = static_cast<uint32_t>(n);
    return 0;
  }
  return errno == EAGAIN ? 0 : errno;
}

int PosixDevice::StartWrite(Transfer& t) {
  t.Kind = TransferKind::Write;
  t.Done = 0;
  t.Pending = false;
  t.StartedAtMs = NowMs();
  if (t.Count == 0) return 0;
  const ssize_t n = ::write(fd_.get(), t.Data, t.Count);
  if (n < 0 && errno != EAGAIN) return errno;
  t.Done = n > 0 ? static_cast<uint32_t>(n) : 0;
  t.Pending = t.Done < t.Count;
  return 0;
}

int PosixDevice::AwaitTransfer(Transfer& t) {
  if (!t.Pending) return 0;
  if (t.Kind == TransferKind::Read) {
    t.Pending = false;  // reads complete at issue with what has arrived
    return 0;
  }
  const uint64_t budget = static_cast<uint64_t>(timeouts_.WriteTotalTimeoutMultiplier) * t.Count +
                          timeouts_.WriteTotalTimeoutConstant;
  const bool limited = budget != 0;
  while (t.Done < t.Count) {
    int waitMs = -1;
    if (limited) {
      const int64_t left = static_cast<int64_t>(budget) - (NowMs() - t.StartedAtMs);
      if (left <= 0) break;
      waitMs = left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
    }
    pollfd p{fd_.get(), POLLOUT, 0};
    const int r = poll(&p, 1, waitMs);
    if (r < 0) {
      if (errno == EINTR) continue;
      t.Pending = false;
      return errno;
    }
    if (r == 0) break;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
      t.Pending = false;
      return EIO;
    }
    const ssize_t n = ::write(fd_.get(), t.Data + t.Done, t.Count - t.Done);
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      t.Pending = false;
      return errno;
    }
    if (n > 0) t.Done += static_cast<uint32_t>(n);
  }
  t.Pending = false;
  return 0;
}

int PosixDevice::PurgeComm(uint32_t flags) {
  // Transfers finish inside their own calls, so the abort flags find nothing pending; that
  // holds for a device that has gone too, which must still close.
  const bool rx = flags & PURGE_RXCLEAR, tx = flags & PURGE_TXCLEAR;
  if (!rx && !tx) return 0;
  const int queue = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
  return tcflush(fd_.get(), queue) == 0 ? 0 : errno;
}

int PosixDevice::ClearCommError(uint32_t& errors, ComStat& stat) {
  errors = 0;
  stat = {};
  int in = 0, out = 0;
  if (ioctl(fd_.get(), FIONREAD, &in) != 0) return errno;
  if (ioctl(fd_.get(), TIOCOUTQ, &out) != 0 && !NotProvided(errno)) return errno;
  stat.cbInQue = in > 0 ? static_cast<uint32_t>(in) : 0;
  stat.cbOutQue = out > 0 ? static_cast<uint32_t>(out) : 0;
  return 0;
}

int PosixDevice::GetCommModemStatus(uint32_t& status) {
  status = 0;
  int lines = 0;
  if (ioctl(fd_.get(), TIOCMGET, &lines) != 0) {
    // A pseudo-terminal has no modem lines: all of them read off.
    return NotProvided(errno) && isatty(fd_.get()) ? 0 : errno;
  }
  if (lines & TIOCM_CTS) status |= MS_CTS_ON;
  if (lines & TIOCM_DSR) status |= MS_DSR_ON;
  if (lines & TIOCM_RI) status |= MS_RING_ON;
  if (lines & TIOCM_CD) status |= MS_RLSD_ON;
  return 0;
}

}  // namespace corvane::platform
