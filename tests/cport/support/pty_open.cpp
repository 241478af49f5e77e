#include "tests/cport/support/pty_open.h"

#include <fcntl.h>
#include <pty.h>

#include <cerrno>

namespace corvane::test {

int OpenPty(int& master, int& slave, std::string& slavePath) {
  char name[128] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return errno;
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  slavePath = name;
  return 0;
}

}  // namespace corvane::test
