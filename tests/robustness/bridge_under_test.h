#pragma once
// The real corvane binary, headless, in a scratch directory, with every line under the
// test's control: the clients are pseudo-terminals reached through links in the scratch
// directory (so a line can vanish and come back under the same name), and the transceiver
// is either the simulated one or a pseudo-terminal the test answers on itself.
#include <memory>
#include <string>
#include <vector>

#include "tests/app/corvane_process.h"

namespace corvane::test {

// Points `link` at `target`, replacing an older link at once.
void PointLink(const std::string& link, const std::string& target);

// Runs corvane --headless in dir with extra arguments.
std::unique_ptr<ChildProcess> StartCorvane(const std::string& dir,
                                           const std::vector<std::string>& args = {});

bool Running(ChildProcess& program);

// Scratch directory with the two client lines reached through links "porta" and "portb".
struct BridgeFiles {
  BridgeFiles();
  std::string Ini(const std::string& out_path) const;

  ScratchDir dir;
  std::unique_ptr<PtyPair> a, b;
  std::string link_a, link_b, link_rig;
};

}  // namespace corvane::test
