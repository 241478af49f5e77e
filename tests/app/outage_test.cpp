// The transceiver's line away for seconds under the real corvane binary while the clients go
// on polling: what they asked meanwhile is not replayed when it returns, memory stays where it
// was, and each outage reaches the operator once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "tests/app/client_traffic.h"
#include "tests/app/corvane_process.h"
#include "tests/app/pluggable_line.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

// Both clients ask for their VFO A ten times a second; the transceiver hears B's as FB;.
const std::vector<CommandStream> kPolls = {{0, 100ms, Repeat("FA;"), true},
                                           {1, 100ms, Repeat("FA;"), true}};

TEST(TransceiverOutage, NothingAskedMeanwhileReachesItsReturnAndMemoryStaysPut) {
  CorvaneRig rig(CorvaneRig::RigLineLater{});
  PluggableLine rig_line(rig.rig_path);
  rig.PlugSimrig();
  {
    NoAsanQuarantine no_quarantine;
    rig.Start();
  }
  // A short outage first: every path the long one takes has run once before the memory is
  // measured.
  rig.PullSimrig();
  RunTraffic({&rig.a, &rig.b}, kPolls, 1s, 0ms);
  rig.PlugSimrig();
  ASSERT_TRUE(AwaitHoldsOpen(*rig.corvane, rig.rig_path, In(1500ms))) << rig.corvane->err();
  const std::vector<ClientTraffic> warm = RunTraffic({&rig.a, &rig.b}, kPolls, 1s);
  ASSERT_EQ(warm[0].answers.size(), warm[0].queries);
  ASSERT_EQ(warm[1].answers.size(), warm[1].queries);
  const std::optional<long> before = ResidentKiB(rig.corvane->pid());
  ASSERT_TRUE(before);

  rig.PullSimrig();
  // The clients stop polling just before the line returns, so whatever reaches it in its
  // first moments was sent while it was away.
  const std::vector<ClientTraffic> away = RunTraffic({&rig.a, &rig.b}, kPolls, 10s, 0ms);
  PtyPair& line = rig_line.Plug();
  ASSERT_TRUE(AwaitHoldsOpen(*rig.corvane, rig.rig_path, In(1500ms))) << rig.corvane->err();
  std::vector<ClientTraffic> heard(1);
  for (const Deadline first = In(200ms); MsLeft(first) > 0;) Listen({&line}, heard, first);
  const auto& commands = heard[0].answers;
  const auto from_a = std::count(commands.begin(), commands.end(), "FA;");
  const auto from_b = std::count(commands.begin(), commands.end(), "FB;");
  std::printf(
      "  while away: A sent %d, B sent %d; on return the line got %zu commands (%zd FA;, "
      "%zd FB;)\n",
      away[0].commands, away[1].commands, commands.size(), from_a, from_b);
  EXPECT_LE(from_a, 1);
  EXPECT_LE(from_b, 1);
  EXPECT_EQ(static_cast<std::size_t>(from_a + from_b), commands.size());
  EXPECT_EQ(heard[0].partial, "");

  // The returned line is used: the test answers as the transceiver.
  rig.a.master().Send("FA;");
  EXPECT_EQ(line.master().ReceiveUntil("FA;", In(kAnswerTimeout)), "FA;");
  line.master().Send("FA14070000;");
  EXPECT_EQ(rig.a.master().ReceiveUntil(";", In(kAnswerTimeout)), "FA14070000;");
  const std::optional<long> after = ResidentKiB(rig.corvane->pid());
  ASSERT_TRUE(after);
  std::printf("  VmRSS %ld KiB before the outage, %ld KiB after\n", *before, *after);
  EXPECT_LE(*after - *before, 1024);
}

TEST(TransceiverOutage, EachOutageIsReportedOnceHoweverManyTicksItLasts) {
  CorvaneRig rig(CorvaneRig::RigLineLater{});
  rig.PlugSimrig();
  rig.Start();
  for (std::size_t outage = 1; outage <= 2; ++outage) {
    rig.PullSimrig();
    const Deadline shown = In(3s);
    while (Occurrences(rig.corvane->err(), kLineMissing) < outage && MsLeft(shown) > 0) {
      rig.corvane->Wait(std::min(shown, In(50ms)));
    }
    // Four ticks and more, each failing to open the line, while A's polls are dropped.
    RunTraffic({&rig.a}, {kPolls[0]}, 2s, 0ms);
    rig.PlugSimrig();
    ASSERT_TRUE(AwaitHoldsOpen(*rig.corvane, rig.rig_path, In(1500ms))) << rig.corvane->err();
    EXPECT_EQ(rig.Ask(rig.a, "ID;"), "ID0251;") << "after outage " << outage;
  }
  const std::string& err = StderrNow(*rig.corvane);
  std::printf("  stderr after two outages:\n%s", err.c_str());
  EXPECT_EQ(Occurrences(err, kLineMissing), 2u) << err;
}

}  // namespace
}  // namespace corvane::test
