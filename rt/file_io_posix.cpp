#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "rt/file_io.h"

namespace corvane {

const char kTextLineEnd[] = "\n";

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool WriteInPlace(const std::string& path, const std::string& data) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  return fd.get() >= 0 && WriteAll(fd.get(), data) && fd.Close();
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return errno == ENOENT ? std::optional<std::string>("") : std::nullopt;
  std::string data;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) return data;
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    data.append(buffer, static_cast<size_t>(n));
  }
}

bool WriteWholeFile(const std::string& path, const std::string& data) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return WriteInPlace(path, data);
  char resolved[PATH_MAX];
  // Through a symbolic link the file it points to is replaced, not the link.
  const std::string target = ::realpath(path.c_str(), resolved) ? resolved : path;
  std::string temp = target + ".XXXXXX";
  Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) return WriteInPlace(path, data);
  (void)::fchown(fd.get(), st.st_uid, st.st_gid);  // only root can; others keep their own
  const bool written = ::fchmod(fd.get(), st.st_mode & 07777) == 0 && WriteAll(fd.get(), data) &&
                       ::fsync(fd.get()) == 0 && fd.Close() &&
                       ::rename(temp.c_str(), target.c_str()) == 0;
  if (!written) ::unlink(temp.c_str());
  return written;
}

bool MoveFileOver(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool FileExists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

bool EmptyFile(const std::string& path) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  return fd.get() >= 0 && fd.Close();
}

bool AppendToFile(const std::string& path, const std::string& bytes) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
  return fd.get() >= 0 && WriteAll(fd.get(), bytes) && fd.Close();
}

}  // namespace corvane
