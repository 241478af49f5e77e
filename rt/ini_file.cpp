#include "rt/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>

#include "rt/ini_text.h"

namespace corvane {
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

// The whole file; empty when it does not exist, nothing when it cannot be read.
std::optional<std::string> ReadWhole(const std::string& path) {
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

// An existing file is replaced through a new file and a rename, so a full disk or a
// crash midway leaves the old contents rather than a cut-off file. Where no file can be
// made beside it (a read-only directory), it is overwritten in place.
bool WriteFile(const std::string& path, const std::string& data) {
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

bool HasLineBreak(const std::string& s) {
  return s.find_first_of("\r\n") != std::string::npos;
}

void CheckWritable(const std::string& section, const std::string& ident, const std::string& value) {
  if (HasLineBreak(section) || section.find(']') != std::string::npos)
    throw std::invalid_argument("Invalid INI section name '" + section + "'");
  if (HasLineBreak(ident) || ident.find('=') != std::string::npos ||
      ident.find_first_not_of(" \t") == std::string::npos || ident.front() == '[' ||
      ident.front() == ';' || ident.front() == '#')
    throw std::invalid_argument("Invalid INI key name '" + ident + "'");
  if (HasLineBreak(value))
    throw std::invalid_argument("Line break in the INI value of '" + ident + "'");
}

}  // namespace
}  // namespace corvane

using corvane::IniText;

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) const {
  const auto text = corvane::ReadWhole(file_name_);
  if (!text) return Default;
  return IniText(*text).Value(Section, Ident).value_or(Default);
}

int32_t TIniFile::ReadInteger(const std::string& Section, const std::string& Ident,
                              int32_t Default) const {
  const auto text = corvane::ReadWhole(file_name_);
  if (!text) return Default;
  const auto value = IniText(*text).Value(Section, Ident);
  if (!value) return Default;
  return corvane::ParseIniInteger(*value).value_or(Default);
}

bool TIniFile::SectionExists(const std::string& Section) const {
  const auto text = corvane::ReadWhole(file_name_);
  return text && IniText(*text).HasSection(Section);
}

bool TIniFile::ValueExists(const std::string& Section, const std::string& Ident) const {
  const auto text = corvane::ReadWhole(file_name_);
  return text && IniText(*text).Value(Section, Ident).has_value();
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident,
                           const std::string& Value) {
  corvane::CheckWritable(Section, Ident, Value);
  const auto text = corvane::ReadWhole(file_name_);
  // A file that exists but cannot be read must not be replaced by a one-key file.
  if (!text) throw corvane::EIniFileException("Unable to write to " + file_name_);
  IniText ini(*text);
  ini.SetValue(Section, Ident, Value);
  if (!corvane::WriteFile(file_name_, ini.Text()))
    throw corvane::EIniFileException("Unable to write to " + file_name_);
}

void TIniFile::WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value) {
  WriteString(Section, Ident, std::to_string(Value));
}
