#include "tests/support/tty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace corvane::test {

TtyPeer::TtyPeer(const std::string& path)
    : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "open " + path);
}

TtyPeer TtyPeer::Adopt(int fd) {
  TtyPeer peer;
  peer.fd_ = fd;
  return peer;
}

TtyPeer::TtyPeer(TtyPeer&& other) noexcept : fd_(other.fd_) {
  other.fd_ = -1;
}

TtyPeer::~TtyPeer() {
  Close();
}

void TtyPeer::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void TtyPeer::Send(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd out{fd_, POLLOUT, 0};
      ::poll(&out, 1, 1000);
    } else if (!(n < 0 && errno == EINTR)) {
      throw std::system_error(errno, std::generic_category(), "write");
    }
  }
}

std::string TtyPeer::ReceiveUntil(const std::string& expected, Deadline deadline) {
  std::string got;
  while (!got.ends_with(expected)) {
    const int left = MsLeft(deadline);
    if (left == 0) break;
    pollfd in{fd_, POLLIN, 0};
    if (::poll(&in, 1, left) <= 0) continue;
    char buffer[512];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n > 0) {
      got.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      break;
    }
  }
  return got;
}

}  // namespace corvane::test
