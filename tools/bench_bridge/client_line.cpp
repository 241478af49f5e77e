#include "tools/bench_bridge/client_line.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>

#include <cerrno>
#include <system_error>

namespace corvane {
namespace {

void MakeRaw(int fd, const std::string& what) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    throw std::system_error(errno, std::generic_category(), "tcgetattr " + what);
  }
  ::cfmakeraw(&tio);
  ::cfsetspeed(&tio, B38400);
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    throw std::system_error(errno, std::generic_category(), "tcsetattr " + what);
  }
}

}  // namespace

ClientLine ClientLine::NewPair() {
  int master = -1;
  int slave = -1;
  char name[128] = {};
  if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    throw std::system_error(errno, std::generic_category(), "openpty");
  }
  ClientLine line;
  line.io_ = OwnedFd(master);
  line.held_slave_ = OwnedFd(slave);
  line.path_ = name;
  // The programs the benchmark starts must not inherit either end.
  for (int fd : {master, slave}) {
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    MakeRaw(fd, line.path_);
  }
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  return line;
}

ClientLine ClientLine::OpenPath(const std::string& path) {
  ClientLine line;
  line.io_ = OwnedFd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (line.io_.get() < 0) throw std::system_error(errno, std::generic_category(), "open " + path);
  MakeRaw(line.io_.get(), path);
  line.path_ = path;
  return line;
}

}  // namespace corvane
