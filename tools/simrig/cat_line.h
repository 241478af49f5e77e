#pragma once
// The radio's side of the CAT line: a fresh pseudo-terminal or an existing tty,
// both in raw mode. Failures throw std::system_error with the errno.
#include <string>

namespace corvane {

// Owns one file descriptor.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  ~UniqueFd();
  int get() const { return fd_; }
  int release();

 private:
  int fd_ = -1;
};

struct CatLine {
  UniqueFd io;          // the end the radio reads and writes
  UniqueFd held_slave;  // pty only: kept open so io never sees a hang-up between clients
  std::string path;     // what a client opens
};

CatLine OpenPseudoTerminal();
// Opens an existing tty non-blocking, raw, 38400 8N1.
CatLine OpenDevice(const std::string& path);

// A symlink to the line, replaced atomically if it exists and removed again on destruction.
class LineLink {
 public:
  LineLink(std::string link, const std::string& target);
  LineLink(const LineLink&) = delete;
  LineLink& operator=(const LineLink&) = delete;
  ~LineLink();

 private:
  std::string link_;
};

}  // namespace corvane
