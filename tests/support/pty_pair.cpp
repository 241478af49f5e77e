#include "tests/support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace corvane::test {

size_t PtyPair::FillTowardsMaster() {
  ::fcntl(slave_fd_, F_SETFL, ::fcntl(slave_fd_, F_GETFL) | O_NONBLOCK);
  const std::string block(4096, 'x');
  size_t filled = 0;
  // A line that refuses a block may still take a short answer, and the pty moves bytes on to
  // the reader's side a little later, making room again: full is when a byte is refused twice
  // in a row, 10 ms apart.
  for (int refused = 0; refused < 2; ::poll(nullptr, 0, 10)) {
    const size_t before = filled;
    for (size_t size : {block.size(), size_t{1}}) {
      ssize_t n;
      while ((n = ::write(slave_fd_, block.data(), size)) > 0) filled += static_cast<size_t>(n);
    }
    refused = filled == before ? refused + 1 : 0;
  }
  return filled;
}

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
