#pragma once
// The client's end of a CAT line. A pseudo-terminal pair whose master the benchmark talks
// on while the program under test opens the slave path; the benchmark keeps a slave
// descriptor of its own, so the master sees no hang-up when the program closes and reopens
// the line. Or an existing tty opened directly, for talking to the transceiver itself.
#include <string>

#include "tools/bench_bridge/owned_fd.h"

namespace corvane {

class ClientLine {
 public:
  // A fresh pseudo-terminal pair in raw mode.
  static ClientLine NewPair();
  // An existing tty in raw mode.
  static ClientLine OpenPath(const std::string& path);

  int fd() const { return io_.get(); }
  // What the program under test opens (the pair's slave), or the path opened.
  const std::string& path() const { return path_; }

 private:
  OwnedFd io_;
  OwnedFd held_slave_;
  std::string path_;
};

}  // namespace corvane
