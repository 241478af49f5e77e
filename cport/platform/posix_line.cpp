#include "cport/platform/posix_line.h"

// Linux's termios2 with BOTHER carries any bit rate; <termios.h> must stay out of here.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>

namespace corvane::platform {
namespace {

int GetTermios(int fd, termios2& t) {
  return ioctl(fd, TCGETS2, &t) == 0 ? 0 : errno;
}
int SetTermios(int fd, const termios2& t) {
  return ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}

// Errors that mean "this device has no modem lines", not "the device failed".
bool NoModemLines(int err) {
  return err == ENOTTY || err == EINVAL || err == ENOTSUP;
}

int SetModemLine(int fd, int line, bool on) {
  if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return 0;
  return NoModemLines(errno) ? 0 : errno;
}

int CharSize(uint8_t byteSize, tcflag_t& bits) {
  switch (byteSize) {
    case 5:
      bits = CS5;
      return 0;
    case 6:
      bits = CS6;
      return 0;
    case 7:
      bits = CS7;
      return 0;
    case 8:
      bits = CS8;
      return 0;
    default:
      return EINVAL;
  }
}

int ParityBits(uint8_t parity, tcflag_t& bits) {
  switch (parity) {
    case NOPARITY:
      bits = 0;
      return 0;
    case ODDPARITY:
      bits = PARENB | PARODD;
      return 0;
    case EVENPARITY:
      bits = PARENB;
      return 0;
    case MARKPARITY:
      bits = PARENB | CMSPAR | PARODD;
      return 0;
    case SPACEPARITY:
      bits = PARENB | CMSPAR;
      return 0;
    default:
      return EINVAL;
  }
}

// A UART with 5 data bits sends 1.5 stop bits when asked for two; with more data bits it
// cannot send 1.5 at all.
int StopBitsFlag(uint8_t stopBits, uint8_t byteSize, tcflag_t& bits) {
  switch (stopBits) {
    case ONESTOPBIT:
      bits = 0;
      return 0;
    case ONE5STOPBITS:
      bits = CSTOPB;
      return byteSize == 5 ? 0 : EINVAL;
    case TWOSTOPBITS:
      bits = CSTOPB;
      return byteSize == 5 ? EINVAL : 0;
    default:
      return EINVAL;
  }
}

bool WantsHardwareFlow(const Dcb& dcb) {
  return (dcb.Flags & kDcbOutxCtsFlow) != 0 ||
         (dcb.Flags & kDcbRtsControlMask) == RTS_CONTROL_HANDSHAKE;
}

bool RateClose(speed_t got, uint32_t want) {
  const long long diff = std::llabs(static_cast<long long>(got) - static_cast<long long>(want));
  return diff * 100 <= static_cast<long long>(want) * 3;
}

}  // namespace

int MakeTtyRaw(int fd) {
  termios2 t{};
  if (int err = GetTermios(fd, t)) return err;
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag |= CREAD | CLOCAL;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  return SetTermios(fd, t);
}

int ApplyDcbToTty(int fd, const Dcb& dcb) {
  tcflag_t size = 0, parity = 0, stop = 0;
  if (int err = CharSize(dcb.ByteSize, size)) return err;
  if (int err = ParityBits(dcb.Parity, parity)) return err;
  if (int err = StopBitsFlag(dcb.StopBits, dcb.ByteSize, stop)) return err;
  // Rate 0 would hang the line up; the top half of the range is a negative custom rate.
  if (dcb.BaudRate == 0 || dcb.BaudRate > 0x7FFFFFFFu) return EINVAL;

  termios2 before{};
  if (int err = GetTermios(fd, before)) return err;
  termios2 t = before;
  // The modem lines as they were, to put back with the settings when one cannot be set.
  int linesBefore = 0;
  const bool hasLines = ioctl(fd, TIOCMGET, &linesBefore) == 0;

  t.c_cflag &= ~(CBAUD | CIBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | size | parity | stop | CREAD | CLOCAL;
  t.c_ispeed = dcb.BaudRate;
  t.c_ospeed = dcb.BaudRate;
  if (WantsHardwareFlow(dcb)) t.c_cflag |= CRTSCTS;

  // Checking parity on input: bytes in error come marked, so the read path can pass them
  // on as received or replace them, and tell them from real NULs.
  t.c_iflag &= ~(INPCK | IGNPAR | PARMRK | ISTRIP | IXON | IXOFF | IXANY);
  if (dcb.Flags & kDcbParity) t.c_iflag |= INPCK | PARMRK;
  if (dcb.Flags & kDcbOutX) t.c_iflag |= IXON;
  if (dcb.Flags & kDcbInX) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);

  if (int err = SetTermios(fd, t)) return err;

  termios2 after{};
  int err = GetTermios(fd, after);
  if (err == 0) {
    const bool rateOk = RateClose(after.c_ospeed, dcb.BaudRate);
    const bool markSpaceOk = (parity & CMSPAR) == 0 || (after.c_cflag & CMSPAR) != 0;
    const bool flowOk = (t.c_cflag & CRTSCTS) == 0 || (after.c_cflag & CRTSCTS) != 0;
    if (!rateOk || !markSpaceOk || !flowOk) err = EINVAL;
  }
  if (err != 0) {
    SetTermios(fd, before);
    return err;
  }

  const uint32_t dtr = dcb.Flags & kDcbDtrControlMask;
  const uint32_t rts = dcb.Flags & kDcbRtsControlMask;
  // DTR handshake has no termios form: the line is held on so the peer may send. Under RTS
  // handshake the driver drives RTS; under toggle the device's writes do.
  err = SetModemLine(fd, TIOCM_DTR, dtr != DTR_CONTROL_DISABLE);
  if (err == 0 && rts != RTS_CONTROL_TOGGLE) {
    err = SetModemLine(fd, TIOCM_RTS, rts != RTS_CONTROL_DISABLE);
  }
  if (err != 0) {
    // The line keeps the state it had, settings and lines alike.
    SetTermios(fd, before);
    if (hasLines) {
      SetModemLine(fd, TIOCM_DTR, (linesBefore & TIOCM_DTR) != 0);
      SetModemLine(fd, TIOCM_RTS, (linesBefore & TIOCM_RTS) != 0);
    }
  }
  return err;
}

}  // namespace corvane::platform
