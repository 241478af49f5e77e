#pragma once
// The client's end of a CAT line in a test: writes commands, collects answers
// until an expected text has arrived or a deadline passes.
#include <string>

#include "tests/support/child_process.h"

namespace corvane::test {

class TtyPeer {
 public:
  // Opens a tty path (non-blocking, no controlling terminal).
  explicit TtyPeer(const std::string& path);
  // Adopts an already open descriptor, such as a pty master.
  static TtyPeer Adopt(int fd);
  TtyPeer(TtyPeer&& other) noexcept;
  TtyPeer(const TtyPeer&) = delete;
  TtyPeer& operator=(const TtyPeer&) = delete;
  ~TtyPeer();

  int fd() const { return fd_; }
  void Send(const std::string& bytes);
  // Everything received until it ends with `expected` or the deadline passes.
  std::string ReceiveUntil(const std::string& expected, Deadline deadline);
  void Close();

 private:
  TtyPeer() = default;
  int fd_ = -1;
};

}  // namespace corvane::test
