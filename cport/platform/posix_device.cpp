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

#include "cport/platform/posix_common.h"
#include "cport/platform/posix_line.h"
#include "cport/platform/posix_path.h"
#include "cport/platform/virtual_line.h"

namespace corvane::platform {

int OpenDevice(const std::string& name, std::unique_ptr<Device>& device) {
  device.reset();
  if (name.empty()) return ENOENT;
  if (IsVirtualLineName(name)) return OpenVirtualLine(name, device);
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
  opened->path_ = path;
  if (int err = MakeTtyRaw(opened->Fd())) return err;  // the destructor lifts TIOCEXCL
  if (int err = opened->InitEvents()) return err;
  device = std::move(opened);
  return 0;
}

int PosixDevice::Adopt(UniqueFd fd, std::unique_ptr<PosixDevice>& device) {
  std::unique_ptr<PosixDevice> adopted(new PosixDevice(std::move(fd)));
  if (int err = adopted->InitEvents()) return err;
  device = std::move(adopted);
  return 0;
}

PosixDevice::PosixDevice(UniqueFd fd) : fd_(std::move(fd)) {}

PosixDevice::~PosixDevice() {
  Close();
}

int PosixDevice::Close() {
  if (!fd_.valid()) return 0;
  StopHelpers();
  // The exclusive flag belongs to the tty, not to our descriptor: a peer that keeps the tty
  // open would keep it set and lock us out of our own reopen.
  ioctl(fd_.get(), TIOCNXCL);
  return fd_.reset();
}

int PosixDevice::SetCommState(const Dcb& dcb) {
  {
    std::lock_guard input(inputMutex_);
    if (((dcb.Flags & kDcbParity) != 0) != parityMarks_.load()) {
      // Bytes waiting in the tty came in the old mode, marked or not: they are taken in and
      // decoded as such before the line changes. A failure is left to the reads.
      PullInput();
    }
    if (int err = ApplyDcbToTty(fd_.get(), dcb)) return err;
    SetInputRules(dcb);
  }
  const bool toggle = (dcb.Flags & kDcbRtsControlMask) == RTS_CONTROL_TOGGLE;
  rtsToggle_.store(toggle);
  if (toggle) {
    // RTS stays up for output still on its way: the drain lowers it then.
    std::lock_guard lock(drainMutex_);
    int rts = TIOCM_RTS;
    if (!drainWanted_ && ioctl(fd_.get(), TIOCMBIC, &rts) != 0 && !NotProvided(errno)) {
      return errno;
    }
  }
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
  inQueueSize_.store(inQueue);
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
