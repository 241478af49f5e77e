#pragma once
// A line under a fixed name that a test makes appear, vanish and come back, as an adapter is
// plugged in, pulled and plugged in again. The name is a link to the current tty and the
// program under test opens the name, so it finds whatever the link points at when it opens.
#include <memory>
#include <optional>
#include <string>

#include "tests/support/pty_pair.h"
#include "tools/simrig/cat_line.h"

namespace corvane::test {

class PluggableLine {
 public:
  // Nothing under the name yet.
  explicit PluggableLine(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }

  // A fresh pseudo-terminal under the name (after pulling the last one); the test talks on
  // the returned pair's master.
  PtyPair& Plug();
  // The name points at a tty served by someone else, such as the simulated transceiver.
  void PlugInto(const std::string& tty);
  // Removes the name and hangs up the pseudo-terminal Plug() made: the program's reads and
  // writes on it fail as on a pulled adapter.
  void Pull();

 private:
  std::string path_;
  std::unique_ptr<PtyPair> pty_;
  std::optional<LineLink> link_;
};

}  // namespace corvane::test
