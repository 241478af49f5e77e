#pragma once
// A pseudo-terminal standing in for a serial line. The test talks on the master side;
// the program under test opens slave_path(). The test keeps a slave descriptor of its
// own open, so the master never sees a hang-up while the program closes and reopens
// the line.
#include <cstddef>
#include <string>

#include "tests/support/tty_peer.h"

namespace corvane::test {

class PtyPair {
 public:
  PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;
  ~PtyPair();

  const std::string& slave_path() const { return slave_path_; }
  TtyPeer& master() { return master_; }
  int slave_fd() const { return slave_fd_; }
  // Fills the line towards the master, whose side nobody reads, as a client that stops
  // reading does: the program's writes on the slave side find no room. Returns the bytes
  // it took.
  size_t FillTowardsMaster();

 private:
  static int OpenMaster(int& slave_fd, std::string& slave_path);
  int slave_fd_ = -1;
  std::string slave_path_;
  TtyPeer master_;
};

}  // namespace corvane::test
