#include "tools/simrig/cat_line.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace corvane {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void MakeRaw(int fd, const std::string& name, bool set_speed) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) Fail("tcgetattr " + name);
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  if (set_speed && cfsetspeed(&tio, B38400) != 0) Fail("cfsetspeed " + name);
  if (tcsetattr(fd, TCSANOW, &tio) != 0) Fail("tcsetattr " + name);
}

void SetNonBlocking(int fd, const std::string& name) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) Fail("fcntl " + name);
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

int UniqueFd::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

CatLine OpenPseudoTerminal() {
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) Fail("openpty");
  CatLine line{UniqueFd(master), UniqueFd(slave), {}};
  for (int fd : {master, slave}) {
    if (fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) Fail("fcntl pty");
  }
  char name[256];
  if (ttyname_r(slave, name, sizeof name) != 0) Fail("ttyname");
  line.path = name;
  MakeRaw(slave, line.path, false);
  MakeRaw(master, "pty master", false);
  SetNonBlocking(master, "pty master");
  return line;
}

CatLine OpenDevice(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) Fail("open " + path);
  CatLine line{UniqueFd(fd), UniqueFd(), path};
  MakeRaw(fd, path, true);
  return line;
}

LineLink::LineLink(std::string link, const std::string& target) : link_(std::move(link)) {
  // Rename over the old link so a client never finds the name missing or stale.
  const std::string temporary = link_ + ".tmp" + std::to_string(getpid());
  ::unlink(temporary.c_str());
  if (::symlink(target.c_str(), temporary.c_str()) != 0) Fail("symlink " + temporary);
  if (::rename(temporary.c_str(), link_.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    errno = error;
    Fail("rename to " + link_);
  }
}

LineLink::~LineLink() {
  ::unlink(link_.c_str());
}

}  // namespace corvane
