#include "tests/robustness/bridge_under_test.h"

namespace corvane::test {

PluggableBridge::PluggableBridge() {
  rig.port_a = line_a.path();
  rig.port_b = line_b.path();
  rig.WriteConfiguration();
}

bool Running(ChildProcess& program) {
  return !program.Wait(std::chrono::steady_clock::now()).has_value();
}

}  // namespace corvane::test
