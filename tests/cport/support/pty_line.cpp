#include "tests/cport/support/pty_line.h"

// termios2 reads rates that <termios.h> cannot name, so <termios.h> (and <pty.h>) stay out.
#include <asm/termbits.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tests/cport/support/pty_open.h"

namespace corvane::test {

PtyLine::PtyLine() {
  if (int err = OpenPty(master_, slave_, slavePath_)) {
    ADD_FAILURE() << "openpty: " << std::strerror(err);
  }
}

PtyLine::~PtyLine() {
  CloseSlave();
  CloseMaster();
}

void PtyLine::CloseMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void PtyLine::CloseSlave() {
  if (slave_ >= 0) close(slave_);
  slave_ = -1;
}

LineState PtyLine::Line() const {
  termios2 t{};
  LineState s;
  // On a pty the termios requests on the master act on the slave's settings.
  if (ioctl(master_, TCGETS2, &t) != 0) {
    ADD_FAILURE() << "TCGETS2: " << std::strerror(errno);
    return s;
  }
  s.ispeed = t.c_ispeed;
  s.ospeed = t.c_ospeed;
  switch (t.c_cflag & CSIZE) {
    case CS5:
      s.dataBits = 5;
      break;
    case CS6:
      s.dataBits = 6;
      break;
    case CS7:
      s.dataBits = 7;
      break;
    default:
      s.dataBits = 8;
      break;
  }
  s.parityEnabled = t.c_cflag & PARENB;
  s.parityOdd = t.c_cflag & PARODD;
  s.markSpace = t.c_cflag & CMSPAR;
  s.twoStopBits = t.c_cflag & CSTOPB;
  s.rtsCts = t.c_cflag & CRTSCTS;
  s.xonOut = t.c_iflag & IXON;
  s.xoffIn = t.c_iflag & IXOFF;
  s.parityCheck = t.c_iflag & INPCK;
  s.raw = !(t.c_lflag & (ICANON | ECHO | ISIG)) && !(t.c_oflag & OPOST);
  s.startChar = t.c_cc[VSTART];
  s.stopChar = t.c_cc[VSTOP];
  return s;
}

void PtyLine::SetSpeed(uint32_t bps) {
  termios2 t{};
  ASSERT_EQ(ioctl(master_, TCGETS2, &t), 0);
  t.c_cflag &= ~(CBAUD | CIBAUD);
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = t.c_ospeed = bps;
  ASSERT_EQ(ioctl(master_, TCSETS2, &t), 0);
}

}  // namespace corvane::test
