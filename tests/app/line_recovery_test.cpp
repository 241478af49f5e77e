// Lines missing when the real corvane binary starts, or pulled while it runs: the watchdog
// opens each once it appears.
#include <gtest/gtest.h>
#include <poll.h>

#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/app/client_traffic.h"
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
  ASSERT_TRUE(AwaitHoldsOpen(*rig.corvane, rig.a.slave_path(), In(5s))) << rig.corvane->err();

  // A second after start-up: the first open has failed and the watchdog has found the line
  // missing at least once.
  std::this_thread::sleep_until(launched + 1s);
  rig_line.PlugInto(*simrig_tty);
  const auto plugged = Clock::now();
  const Deadline limit = plugged + 1500ms;
  AwaitHoldsOpen(*rig.corvane, rig.rig_path, limit);
  const std::string answer = rig.Ask(rig.a, "ID;", limit);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - plugged);
  std::printf("  A's ID; answered %lld ms after the transceiver's line appeared: \"%s\"\n",
              static_cast<long long>(took.count()), answer.c_str());
  EXPECT_EQ(answer, "ID0251;") << rig.corvane->err();
  EXPECT_LT(took, 1500ms);
}

// A line whose adapter is pulled and plugged in again under the same name, while corvane runs:
// the watchdog finds the new line within a tick, and the other client is served meanwhile.
struct ReplugCase {
  const char* name;
  bool transceiver;  // the transceiver's line, else client B's
  bool headless;
};

void PrintTo(const ReplugCase& c, std::ostream* os) {
  *os << c.name;
}

TEST(LineRecovery, StoppingAsTheTransceiverLineGoesWritesOnlyTheBridgesOwnFiles) {
  // The line's failure reaches the bridge while it shuts down; it must find the trace still
  // there (an ended trace once wrote it to a file named with whatever the memory held).
  for (int round = 0; round < 10; ++round) {
    CorvaneRig rig;
    rig.Start();
    rig.PullSimrig();
    rig.corvane->Signal(SIGTERM);
    EXPECT_EQ(rig.corvane->Wait(In(10s)), 0) << rig.corvane->err();
    for (const auto& entry : std::filesystem::directory_iterator(rig.dir.path())) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name.starts_with("Corvane.")) << "round " << round << ": " << name;
    }
  }
}

class LineReplugged : public testing::TestWithParam<ReplugCase> {};

TEST_P(LineReplugged, IsServedWithinASecondOfItsReturnWhileAIsServedThroughout) {
  const ReplugCase& c = GetParam();
  if (!c.headless && std::getenv("QT_QPA_PLATFORM") == nullptr) {
    GTEST_SKIP() << "needs a Qt platform";
  }
  CorvaneRig rig(CorvaneRig::RigLineLater{});
  PluggableLine b_line(rig.dir.File("port-b"));
  PtyPair* b = &b_line.Plug();
  rig.port_b = b_line.path();
  rig.WriteConfiguration();
  rig.PlugSimrig();
  rig.Start({}, c.headless);
  // While a client's line is away, A polls through the whole episode.
  std::vector<ClientTraffic> a;
  std::jthread a_polls;
  if (!c.transceiver) {
    a_polls = std::jthread([&] {
      a = RunTraffic({&rig.a}, {{0, 100ms, Repeat("ID;"), true}}, 4s);
    });
  }

  c.transceiver ? rig.PullSimrig() : b_line.Pull();
  // Both front ends trace the error they show: the watchdog has found the line missing.
  const Deadline noticed = In(3s);
  while (rig.Trace().find(kLineMissing) == std::string::npos && MsLeft(noticed) > 0) {
    ::poll(nullptr, 0, 10);
  }
  ASSERT_NE(rig.Trace().find(kLineMissing), std::string::npos) << rig.Trace();

  const auto plugged = Clock::now();
  if (c.transceiver) {
    rig.PlugSimrig();
  } else {
    b = &b_line.Plug();
  }
  const std::string& path = c.transceiver ? rig.rig_path : b_line.path();
  const Deadline limit = plugged + 1500ms;
  // A query sent before the line is open again would be dropped, not lost: ask once it is.
  AwaitHoldsOpen(*rig.corvane, path, limit);
  const std::string answer = rig.Ask(c.transceiver ? rig.a : *b, "ID;", limit);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - plugged);
  std::printf("  ID; answered %lld ms after the line appeared again: \"%s\"\n",
              static_cast<long long>(took.count()), answer.c_str());
  EXPECT_EQ(answer, "ID0251;") << rig.Trace();
  EXPECT_LT(took, 1500ms);
  if (a_polls.joinable()) {
    a_polls.join();
    std::printf("  A meanwhile: %zu polls, %zu answers\n", a[0].queries, a[0].answers.size());
    EXPECT_EQ(a[0].answers.size(), a[0].queries);
    EXPECT_EQ(a[0].partial, "");
  }
}

INSTANTIATE_TEST_SUITE_P(PulledAndPluggedAgain, LineReplugged,
                         testing::Values(ReplugCase{"TransceiverLine", true, true},
                                         ReplugCase{"TransceiverLineUnderTheWindow", true, false},
                                         ReplugCase{"ClientLineB", false, true}),
                         [](const testing::TestParamInfo<ReplugCase>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace corvane::test
