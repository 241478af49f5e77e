#include "cport/platform/virtual_line.h"

#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>

#include "cport/platform/posix_device.h"
#include "cport/platform/unique_fd.h"
#include "cport/platform/virtual_line_device.h"

namespace corvane::platform {
namespace {

struct Line {
  UniqueFd master;  // the program's end; each open of the port gets a duplicate of it
  // The client's end, held so the program's end never reads a hang-up (EIO, POLLHUP)
  // while no client has the line open; it also keeps the termios from one client to the next.
  UniqueFd slave;
  std::string slavePath;
  std::atomic<bool> claimed{false};
};

// The client's end gets the access of a serial port, read and write for the dialout
// group, where the program may give it so: client programs of other users then reach a
// line that a service makes. Otherwise the pseudo-terminal keeps its own access.
void ShareWithDialout(int fd) {
  group entry{};
  group* found = nullptr;
  char buffer[16384];  // room for a group with many members
  if (getgrnam_r("dialout", &entry, buffer, sizeof buffer, &found) != 0 || found == nullptr) {
    return;
  }
  if (fchown(fd, static_cast<uid_t>(-1), found->gr_gid) != 0) return;
  [[maybe_unused]] const int kept = fchmod(fd, 0660);
}

int MakePseudoTerminal(Line& line) {
  line.master = UniqueFd(::open("/dev/ptmx", O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!line.master.valid()) return errno;
  if (grantpt(line.master.get()) != 0 || unlockpt(line.master.get()) != 0) return errno;
  char name[PATH_MAX];
  if (int err = ptsname_r(line.master.get(), name, sizeof name)) return err;
  line.slavePath = name;
  line.slave = UniqueFd(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!line.slave.valid()) return errno;
  // A client that sets nothing gets the bytes as they come, as on a raw serial line.
  termios tio{};
  if (tcgetattr(line.slave.get(), &tio) != 0) return errno;
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  if (cfsetspeed(&tio, B38400) != 0 || tcsetattr(line.slave.get(), TCSANOW, &tio) != 0) {
    return errno;
  }
  ShareWithDialout(line.slave.get());
  return 0;
}

bool LeadsTo(const std::string& link, const std::string& target) {
  char buffer[PATH_MAX];
  const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer);
  return n >= 0 && std::string(buffer, static_cast<size_t>(n)) == target;
}

// Puts a symbolic link to target at link. A link already there (an earlier run's) is
// replaced in one step, so a client never finds the name missing; anything else there is
// not ours to replace.
int PublishLink(const std::string& link, const std::string& target) {
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) return EEXIST;
  const std::string temporary = link + ".new" + std::to_string(getpid());
  ::unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) return errno;
  if (rename(temporary.c_str(), link.c_str()) != 0) {
    const int err = errno;
    ::unlink(temporary.c_str());
    return err;
  }
  return 0;
}

// Every virtual line of the process, by the path of its link. Lines live until the
// process ends; so do their links.
class LineRegistry {
 public:
  ~LineRegistry() {
    // A link that another program has taken over meanwhile is no longer ours to remove.
    for (const auto& [link, line] : lines_) {
      if (LeadsTo(link, line->slavePath)) ::unlink(link.c_str());
    }
  }

  // Makes the line on first use, and gives it to one port at a time.
  int Claim(const std::string& link, std::shared_ptr<Line>& claimed) {
    std::lock_guard lock(mutex_);
    auto found = lines_.find(link);
    if (found == lines_.end()) {
      auto made = std::make_shared<Line>();
      if (int err = MakePseudoTerminal(*made)) return err;
      found = lines_.emplace(link, std::move(made)).first;
    }
    Line& line = *found->second;
    if (line.claimed.load()) return EBUSY;
    // Published on every open, so a link removed or taken over meanwhile comes back with the
    // next reopen.
    if (!LeadsTo(link, line.slavePath)) {
      if (int err = PublishLink(link, line.slavePath)) return err;
    }
    line.claimed.store(true);
    claimed = found->second;
    return 0;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Line>> lines_;
};

LineRegistry& Registry() {
  static LineRegistry registry;
  return registry;
}

}  // namespace

int OpenVirtualLine(const std::string& name, std::unique_ptr<Device>& device) {
  device.reset();
  const std::string link = VirtualLinePath(name);
  if (link.empty()) return ENOENT;
  std::shared_ptr<Line> line;
  if (int err = Registry().Claim(link, line)) return err;
  auto release = [line] { line->claimed.store(false); };

  UniqueFd own(fcntl(line->master.get(), F_DUPFD_CLOEXEC, 0));
  if (!own.valid()) {
    const int err = errno;
    release();
    return err;
  }
  std::unique_ptr<PosixDevice> tty;
  if (int err = PosixDevice::Adopt(std::move(own), tty)) {
    release();
    return err;
  }
  device = std::make_unique<VirtualLineDevice>(std::move(tty), std::move(release));
  return 0;
}

}  // namespace corvane::platform
