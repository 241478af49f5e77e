#include "log/log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "rt/local_time.h"

namespace {

constexpr char kLineEnd[] = "\n";

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// close() may report a failed deferred write (NFS, full disk); EINTR still releases the fd.
bool CloseFile(int fd) {
  return ::close(fd) == 0 || errno == EINTR;
}

}  // namespace

void TLog::SetActive(bool Value) {
  if (!Value) {
    Active_ = false;
    return;
  }
  Active_ = true;
  const int fd = ::open(FileName_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0 || !CloseFile(fd)) Active_ = false;
}

void TLog::WriteLine(std::uint8_t MsgLevel, const std::string& Text) {
  if (!Active_ || MsgLevel > Level_) return;
  // O_CREAT on the append open brings back a file deleted while the log is active, and an
  // existing trace is never emptied by a failing append.
  const int fd = ::open(FileName_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return;
  const std::tm now = corvane::LocalNow();
  std::string line = corvane::ShortDateText(now);
  line += ' ';
  line += corvane::LongTimeText(now);
  line += ' ';
  line += Text;
  line += kLineEnd;
  WriteAll(fd, line);
  CloseFile(fd);
}

void TLog::BackUpFile() {
  if (FileName_.empty()) return;
  std::rename(FileName_.c_str(), (FileName_ + ".1").c_str());
}
