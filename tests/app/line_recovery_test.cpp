// A line missing when the real corvane binary starts: the watchdog opens it once it appears.
#include <gtest/gtest.h>
#include <poll.h>

#include <cstdio>
#include <thread>

#include "tests/app/corvane_process.h"
#include "tests/app/pluggable_line.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(LineRecovery, ATransceiverLineThatAppearsLateIsServedWithinASecond) {
  CorvaneRig rig(CorvaneRig::RigLineLater{});
  ChildProcess simrig({kSimrig});
  const std::optional<std::string> simrig_tty = simrig.ReadLine(In(5s));
  ASSERT_TRUE(simrig_tty) << simrig.err();
  PluggableLine rig_line(rig.rig_path);
  rig.Launch();
  const auto launched = Clock::now();
  const Deadline up = In(5s);
  while (!rig.HoldsOpen(rig.a.slave_path()) && MsLeft(up) > 0) ::poll(nullptr, 0, 10);
  ASSERT_TRUE(rig.HoldsOpen(rig.a.slave_path())) << rig.corvane->err();

  // A second after start-up: the first open has failed and the watchdog has found the line
  // missing at least once.
  std::this_thread::sleep_until(launched + 1s);
  rig_line.PlugInto(*simrig_tty);
  const auto plugged = Clock::now();
  const Deadline limit = plugged + 1500ms;
  while (!rig.HoldsOpen(rig.rig_path) && MsLeft(limit) > 0) ::poll(nullptr, 0, 10);
  const std::string answer = rig.Ask(rig.a, "ID;", limit);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - plugged);
  std::printf("  A's ID; answered %lld ms after the transceiver's line appeared: \"%s\"\n",
              static_cast<long long>(took.count()), answer.c_str());
  EXPECT_EQ(answer, "ID0251;") << rig.corvane->err();
  EXPECT_LT(took, 1500ms);
}

}  // namespace
}  // namespace corvane::test
