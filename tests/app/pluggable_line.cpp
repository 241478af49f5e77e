#include "tests/app/pluggable_line.h"

namespace corvane::test {

PtyPair& PluggableLine::Plug() {
  Pull();
  pty_ = std::make_unique<PtyPair>();
  link_.emplace(path_, pty_->slave_path());
  return *pty_;
}

void PluggableLine::PlugInto(const std::string& tty) {
  Pull();
  link_.emplace(path_, tty);
}

void PluggableLine::Pull() {
  // The name goes first, so a reopen in between finds nothing rather than a dead line.
  link_.reset();
  pty_.reset();
}

}  // namespace corvane::test
