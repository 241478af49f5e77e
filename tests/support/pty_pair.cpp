#include "tests/support/pty_pair.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace corvane::test {

int PtyPair::OpenMaster(int& slave_fd, std::string& slave_path) {
  int master = -1;
  char name[128] = {};
  if (::openpty(&master, &slave_fd, name, nullptr, nullptr) != 0) {
    throw std::system_error(errno, std::generic_category(), "openpty");
  }
  for (int fd : {master, slave_fd}) {
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  slave_path = name;
  return master;
}

PtyPair::PtyPair() : master_(TtyPeer::Adopt(OpenMaster(slave_fd_, slave_path_))) {}

PtyPair::~PtyPair() {
  if (slave_fd_ >= 0) ::close(slave_fd_);
}

}  // namespace corvane::test
