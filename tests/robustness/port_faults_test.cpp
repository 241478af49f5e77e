// Lines that vanish, fill up or misbehave under the running bridge: it keeps running,
// reports a failure once, gets its ports back through the watchdog's reset and routes
// again afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <regex>

#include "tests/robustness/bridge_under_test.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

class PortFaults : public testing::Test, protected PluggableBridge {
 protected:
  void StartWithSimrig(const std::vector<std::string>& simrig_args = {}) {
    rig.PlugSimrig(simrig_args);
    rig.Launch();
    ASSERT_TRUE(CorvaneRig::AwaitRouting(*a, In(10s))) << corvane().err();
  }
  void TearDown() override {
    if (!rig.corvane) return;
    EXPECT_TRUE(Running(corvane())) << corvane().err();
    corvane().Signal(SIGTERM);
    EXPECT_EQ(corvane().Wait(In(10s)), 0) << corvane().err();
  }
  ChildProcess& corvane() { return *rig.corvane; }
};

TEST_F(PortFaults, TransceiverLineVanishesWithAnswersInFlightAndComesBack) {
  StartWithSimrig();
  // Queries in flight as the line goes: whatever they get, nothing may reach port B.
  a->master().Send("FA;FB;IF;ID;");
  rig.simrig->Signal(SIGKILL);
  ASSERT_TRUE(rig.simrig->Wait(In(5s)));
  ::unlink(rig.rig_path.c_str());
  ASSERT_TRUE(StderrShows(corvane(), kLineMissing, In(5s))) << corvane().err();
  // While the line is away the watchdog keeps failing to reopen it; B hears nothing, and its
  // query is dropped rather than kept for the line's return.
  b->master().Send("ID;");
  EXPECT_EQ(b->master().ReceiveUntil(";", In(1500ms)), "");
  // Answers that came back before the line went reached A whole and in order.
  const std::regex in_order(R"((FA\d{8};(FB\d{8};(IF[^;]*;(ID0251;)?)?)?)?)");
  const std::string in_flight = a->master().ReceiveUntil("ID0251;", In(10ms));
  EXPECT_TRUE(std::regex_match(in_flight, in_order)) << in_flight;

  rig.PlugSimrig();
  ASSERT_TRUE(AwaitHoldsOpen(corvane(), rig.rig_path, In(kAnswerTimeout))) << corvane().err();
  EXPECT_EQ(CorvaneRig::Ask(*a, "ID;"), "ID0251;");
  EXPECT_EQ(CorvaneRig::Ask(*b, "FA;"), "FA07000000;");
  // The failure repeated on every tick of the outage but was printed once.
  EXPECT_EQ(Occurrences(StderrNow(corvane()), kLineMissing), 1u) << corvane().err();
}

TEST_F(PortFaults, ClientLineVanishesAndComesBackWhileTheOtherClientIsServed) {
  StartWithSimrig();
  line_a.Pull();
  ASSERT_TRUE(StderrShows(corvane(), kLineMissing, In(5s))) << corvane().err();
  // Port B's client keeps its transceiver while A's line is away.
  EXPECT_EQ(CorvaneRig::Ask(*b, "ID;"), "ID0251;") << corvane().err();

  a = &line_a.Plug();
  ASSERT_TRUE(AwaitHoldsOpen(corvane(), line_a.path(), In(kAnswerTimeout))) << corvane().err();
  EXPECT_EQ(CorvaneRig::Ask(*a, "FA;"), "FA14070000;");
  EXPECT_EQ(CorvaneRig::Ask(*b, "ID;"), "ID0251;");
  EXPECT_EQ(Occurrences(StderrNow(corvane()), kLineMissing), 1u) << corvane().err();
}

TEST_F(PortFaults, AClientThatStopsReadingDoesNotHoldUpTheOtherClient) {
  StartWithSimrig();
  // A's client has stopped reading: its line is full before its answers come.
  ASSERT_GT(a->FillTowardsMaster(), 0u);
  a->master().Send("FA;ID;");
  EXPECT_EQ(CorvaneRig::Ask(*b, "ID;"), "ID0251;") << corvane().err();

  // Once A's client reads again, the answers held for it follow whole and in order, and so
  // does the answer to its next query.
  a->master().Send("ID;");
  const std::string expected = "FA14070000;ID0251;ID0251;";
  std::string got = a->master().ReceiveUntil(expected, In(3s));
  got.erase(0, got.find_first_not_of('x'));
  EXPECT_EQ(got, expected);
}

// A transceiver the test plays itself, on a pseudo-terminal.
class ScriptedTransceiver : public PortFaults {
 protected:
  void SetUp() override {
    PtyPair& line = rig_line.Plug();
    transceiver = &line;
    rig.Launch();
    // Nothing is purged when a port opens, so a query sent once all three are open is routed.
    for (const std::string& path : {line_a.path(), line_b.path(), rig.rig_path}) {
      ASSERT_TRUE(AwaitHoldsOpen(corvane(), path, In(5s))) << path << corvane().err();
    }
    ASSERT_EQ(Query(*a, "ID;", "ID0251;"), "ID0251;") << corvane().err();
  }
  // The client sends `query` once; the transceiver must hear it (as `heard`, port B's VFOs
  // being exchanged) and answers `answer`; returns what the client then receives up to the
  // next ";".
  std::string Query(PtyPair& client, const std::string& query, const std::string& answer,
                    std::string heard = "") {
    if (heard.empty()) heard = query;
    client.master().Send(query);
    EXPECT_EQ(transceiver->master().ReceiveUntil(heard, In(kAnswerTimeout)), heard);
    transceiver->master().Send(answer);
    return client.master().ReceiveUntil(";", In(kAnswerTimeout));
  }

  PluggableLine rig_line{rig.rig_path};
  PtyPair* transceiver = nullptr;
};

TEST_F(ScriptedTransceiver, SilenceThenAnAnswerToALaterQuery) {
  a->master().Send("FA;");
  EXPECT_EQ(transceiver->master().ReceiveUntil("FA;", In(2s)), "FA;");
  // No answer; the queue is emptied by the watchdog and the next query works.
  EXPECT_EQ(a->master().ReceiveUntil(";", In(1200ms)), "");
  EXPECT_EQ(Query(*a, "MD0;", "MD03;"), "MD03;");
}

TEST_F(ScriptedTransceiver, AnAnswerSentTwiceReachesTheAskingClientOnce) {
  a->master().Send("FA;");
  ASSERT_EQ(transceiver->master().ReceiveUntil("FA;", In(2s)), "FA;");
  transceiver->master().Send("FA14070000;FA14070000;");
  // The repeat finds nothing waiting: it goes nowhere and empties the queue.
  EXPECT_EQ(a->master().ReceiveUntil("FA14070000;FA14070000;", In(700ms)), "FA14070000;");
  EXPECT_EQ(b->master().ReceiveUntil(";", In(100ms)), "");
  EXPECT_EQ(Query(*a, "ID;", "ID0251;"), "ID0251;");
  EXPECT_EQ(Query(*b, "ID;", "ID0251;"), "ID0251;");
}

TEST_F(ScriptedTransceiver, ALateAnswerReachesOnlyItsReaderUnaskedOnesGoNowhereAndQueryingGoesOn) {
  a->master().Send("FA;");
  ASSERT_EQ(transceiver->master().ReceiveUntil("FA;", In(2s)), "FA;");
  // A later query is answered first, so the FA; is given up as skipped; its answer comes
  // after all, out of order, and is A's alone.
  EXPECT_EQ(Query(*a, "ID;", "ID0251;"), "ID0251;");
  const Deadline given_up = In(3s);
  while (rig.Trace().find("first (FA;) from Port A") == std::string::npos && MsLeft(given_up) > 0) {
    ::poll(nullptr, 0, 10);
  }
  ASSERT_GT(MsLeft(given_up), 0) << "the FA; was never given up";
  transceiver->master().Send("FA14070000;");
  transceiver->master().Send("IF00014070000+000000030000000;AI1;MD03;");
  EXPECT_EQ(a->master().ReceiveUntil("FA14070000;;", In(700ms)), "FA14070000;");
  EXPECT_EQ(b->master().ReceiveUntil(";", In(100ms)), "");
  EXPECT_EQ(Query(*b, "FB;", "FA07000000;", "FA;"), "FB07000000;");
}

TEST_F(ScriptedTransceiver, APartialAnswerIsDroppedWhenTheLineComesBackAndTracedAsText) {
  // Line noise and the start of an answer follow a whole answer, then the line is pulled.
  a->master().Send("ID;");
  ASSERT_EQ(transceiver->master().ReceiveUntil("ID;", In(kAnswerTimeout)), "ID;");
  transceiver->master().Send(
      "ID0251;\x01\xFE"
      "FA0001");
  ASSERT_EQ(a->master().ReceiveUntil(";", In(kAnswerTimeout)), "ID0251;");
  rig_line.Pull();
  const Deadline lost = In(3s);
  while (rig.Trace().find(" lost (") == std::string::npos && MsLeft(lost) > 0) {
    ::poll(nullptr, 0, 10);
  }
  transceiver = &rig_line.Plug();
  ASSERT_TRUE(AwaitHoldsOpen(corvane(), rig.rig_path, In(kAnswerTimeout))) << rig.Trace();
  // The next answer arrives alone, not behind the fragment.
  EXPECT_EQ(Query(*b, "FB;", "FA07000000;", "FA;"), "FB07000000;");
  const std::string trace = rig.Trace();
  EXPECT_NE(trace.find("partial answer (\\x01\\xFEFA0001) dropped"), std::string::npos) << trace;
  EXPECT_EQ(std::count_if(trace.begin(), trace.end(),
                          [](unsigned char c) { return c != '\n' && (c < 0x20 || c >= 0x7F); }),
            0);
}

TEST_F(PortFaults, SlowAndChattyTransceiverKeepsRouting) {
  // A transceiver left reporting by another program: its reports reach no client.
  StartWithSimrig({"--delay-ms", "150", "--ai"});
  for (int i = 0; i < 3; ++i) {
    const std::string mode = "MD0" + std::to_string(i + 1) + ";";
    a->master().Send(mode);
    EXPECT_EQ(CorvaneRig::Ask(*a, "MD0;"), mode);
    EXPECT_EQ(CorvaneRig::Ask(*b, "FB;"), "FB14070000;");
  }
}

}  // namespace
}  // namespace corvane::test
