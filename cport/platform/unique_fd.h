#pragma once
// Sole owner of a file descriptor; closes it when it goes.
#include <unistd.h>

#include <utility>

namespace corvane::platform {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  // Closes the descriptor it holds; returns close()'s errno, 0 on success. The descriptor
  // is gone either way: Linux releases it even when close reports an error.
  int reset(int fd = -1);

 private:
  int fd_ = -1;
};

}  // namespace corvane::platform
