#include "cport/platform/unique_fd.h"

#include <cerrno>

namespace corvane::platform {

int UniqueFd::reset(int fd) {
  int err = 0;
  if (fd_ >= 0 && ::close(fd_) != 0) err = errno;
  fd_ = fd;
  return err;
}

}  // namespace corvane::platform
