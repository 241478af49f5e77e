#pragma once
// The real corvane binary, headless, with every line under the test's control: both client
// lines pluggable under links in the scratch directory (so a line can vanish and come back
// under the same name), and the transceiver's line under rig_path, where the test plugs the
// simulated transceiver or a pseudo-terminal it answers on itself.
#include "tests/app/corvane_process.h"
#include "tests/app/pluggable_line.h"

namespace corvane::test {

struct PluggableBridge {
  PluggableBridge();

  CorvaneRig rig{CorvaneRig::RigLineLater{}};
  PluggableLine line_a{rig.dir.File("porta")}, line_b{rig.dir.File("portb")};
  PtyPair* a = &line_a.Plug();
  PtyPair* b = &line_b.Plug();
};

// Whether the program still runs.
bool Running(ChildProcess& program);

}  // namespace corvane::test
