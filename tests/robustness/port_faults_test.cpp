// Lines that vanish, fill up or misbehave under the running bridge: it keeps running,
// reports a failure once, gets its ports back through the watchdog's reset and routes
// again afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <regex>

#include "tests/robustness/bridge_under_test.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

class PortFaults : public testing::Test {
 protected:
  void StartWithSimrig(const std::vector<std::string>& simrig_args = {}) {
    simrig = StartSimrig(files.link_rig, simrig_args);
    WriteWholeFile(files.dir.File("Corvane.INI"), files.Ini(files.link_rig));
    corvane = StartCorvane(files.dir.path());
    ASSERT_TRUE(CorvaneRig::AwaitRouting(*files.a, In(10s))) << corvane->err();
  }
  void TearDown() override {
    if (!corvane) return;
    EXPECT_TRUE(Running(*corvane)) << corvane->err();
    corvane->Signal(SIGTERM);
    EXPECT_EQ(corvane->Wait(In(10s)), 0) << corvane->err();
  }

  BridgeFiles files;
  std::unique_ptr<ChildProcess> simrig;
  std::unique_ptr<ChildProcess> corvane;
};

TEST_F(PortFaults, TransceiverLineVanishesWithAnswersInFlightAndComesBack) {
  StartWithSimrig();
  // Queries in flight as the line goes: whatever they get, nothing may reach port B.
  files.a->master().Send("FA;FB;IF;ID;");
  simrig->Signal(SIGKILL);
  ASSERT_TRUE(simrig->Wait(In(5s)));
  ::unlink(files.link_rig.c_str());
  ASSERT_TRUE(StderrShows(*corvane, kLineMissing, In(5s))) << corvane->err();
  // While the line is away the watchdog keeps failing to reopen it; B hears nothing, and its
  // query is dropped rather than kept for the line's return.
  files.b->master().Send("ID;");
  EXPECT_EQ(files.b->master().ReceiveUntil(";", In(1500ms)), "");
  // Answers that came back before the line went reached A whole and in order.
  const std::regex in_order(R"((FA\d{8};(FB\d{8};(IF[^;]*;(ID0251;)?)?)?)?)");
  const std::string in_flight = files.a->master().ReceiveUntil("ID0251;", In(10ms));
  EXPECT_TRUE(std::regex_match(in_flight, in_order)) << in_flight;

  simrig = StartSimrig(files.link_rig);
  ASSERT_TRUE(AwaitHoldsOpen(*corvane, files.link_rig, In(kAnswerTimeout))) << corvane->err();
  EXPECT_EQ(CorvaneRig::Ask(*files.a, "ID;"), "ID0251;");
  EXPECT_EQ(CorvaneRig::Ask(*files.b, "FA;"), "FA07000000;");
  // The failure repeated on every tick of the outage but was printed once.
  EXPECT_EQ(Occurrences(StderrNow(*corvane), kLineMissing), 1u) << corvane->err();
}

TEST_F(PortFaults, ClientLineVanishesAndComesBackWhileTheOtherClientIsServed) {
  StartWithSimrig();
  ::unlink(files.link_a.c_str());
  files.a.reset();
  ASSERT_TRUE(StderrShows(*corvane, kLineMissing, In(5s))) << corvane->err();
  // Port B's client keeps its transceiver while A's line is away.
  EXPECT_EQ(CorvaneRig::Ask(*files.b, "ID;"), "ID0251;") << corvane->err();

  files.a = std::make_unique<PtyPair>();
  PointLink(files.link_a, files.a->slave_path());
  ASSERT_TRUE(AwaitHoldsOpen(*corvane, files.link_a, In(kAnswerTimeout))) << corvane->err();
  EXPECT_EQ(CorvaneRig::Ask(*files.a, "FA;"), "FA14070000;");
  EXPECT_EQ(CorvaneRig::Ask(*files.b, "ID;"), "ID0251;");
  EXPECT_EQ(Occurrences(StderrNow(*corvane), kLineMissing), 1u) << corvane->err();
}

// Fills the line towards a client whose master nobody reads, as far as it takes.
size_t Fill(int slave_fd) {
  const std::string block(4096, 'x');
  size_t filled = 0;
  // A line that refuses a block may still take a short answer, and the pty moves bytes on to
  // the reader's side a little later, making room again: full is when a byte is refused twice
  // in a row, 10 ms apart.
  for (int refused = 0; refused < 2; ::poll(nullptr, 0, 10)) {
    const size_t before = filled;
    for (size_t size : {block.size(), size_t{1}}) {
      ssize_t n;
      while ((n = ::write(slave_fd, block.data(), size)) > 0) filled += static_cast<size_t>(n);
    }
    refused = filled == before ? refused + 1 : 0;
  }
  return filled;
}

TEST_F(PortFaults, AClientThatStopsReadingDoesNotHoldUpTheOtherClient) {
  StartWithSimrig();
  // A's client has stopped reading: its line is full before its answers come.
  const int fill = files.a->slave_fd();
  ASSERT_EQ(::fcntl(fill, F_SETFL, ::fcntl(fill, F_GETFL) | O_NONBLOCK), 0);
  ASSERT_GT(Fill(fill), 0u);
  files.a->master().Send("FA;ID;");
  EXPECT_EQ(CorvaneRig::Ask(*files.b, "ID;"), "ID0251;") << corvane->err();

  // Once A's client reads again, the answers held for it follow whole and in order, and so
  // does the answer to its next query.
  files.a->master().Send("ID;");
  const std::string expected = "FA14070000;ID0251;ID0251;";
  std::string got = files.a->master().ReceiveUntil(expected, In(3s));
  got.erase(0, got.find_first_not_of('x'));
  EXPECT_EQ(got, expected);
}

// A transceiver the test plays itself, on a pseudo-terminal.
class ScriptedTransceiver : public PortFaults {
 protected:
  void SetUp() override {
    WriteWholeFile(files.dir.File("Corvane.INI"), files.Ini(rig.slave_path()));
    corvane = StartCorvane(files.dir.path());
    // Nothing is purged when a port opens, so a query sent once all three are open is routed.
    for (const std::string& line : {files.link_a, files.link_b, rig.slave_path()}) {
      ASSERT_TRUE(AwaitHoldsOpen(*corvane, line, In(5s))) << line << corvane->err();
    }
    ASSERT_EQ(Query(*files.a, "ID;", "ID0251;"), "ID0251;") << corvane->err();
  }
  // The client sends `query` once; the transceiver must hear it (as `heard`, port B's VFOs
  // being exchanged) and answers `answer`; returns what the client then receives up to the
  // next ";".
  std::string Query(PtyPair& client, const std::string& query, const std::string& answer,
                    std::string heard = "") {
    if (heard.empty()) heard = query;
    client.master().Send(query);
    EXPECT_EQ(rig.master().ReceiveUntil(heard, In(kAnswerTimeout)), heard);
    rig.master().Send(answer);
    return client.master().ReceiveUntil(";", In(kAnswerTimeout));
  }

  PtyPair rig;
};

TEST_F(ScriptedTransceiver, SilenceThenAnAnswerToALaterQuery) {
  files.a->master().Send("FA;");
  EXPECT_EQ(rig.master().ReceiveUntil("FA;", In(2s)), "FA;");
  // No answer; the queue is emptied by the watchdog and the next query works.
  EXPECT_EQ(files.a->master().ReceiveUntil(";", In(1200ms)), "");
  EXPECT_EQ(Query(*files.a, "MD0;", "MD03;"), "MD03;");
}

TEST_F(ScriptedTransceiver, AnAnswerSentTwiceReachesTheAskingClientOnce) {
  files.a->master().Send("FA;");
  ASSERT_EQ(rig.master().ReceiveUntil("FA;", In(2s)), "FA;");
  rig.master().Send("FA14070000;FA14070000;");
  // The repeat finds nothing waiting: it goes nowhere and empties the queue.
  EXPECT_EQ(files.a->master().ReceiveUntil("FA14070000;FA14070000;", In(700ms)), "FA14070000;");
  EXPECT_EQ(files.b->master().ReceiveUntil(";", In(100ms)), "");
  EXPECT_EQ(Query(*files.a, "ID;", "ID0251;"), "ID0251;");
  EXPECT_EQ(Query(*files.b, "ID;", "ID0251;"), "ID0251;");
}

TEST_F(ScriptedTransceiver, ALateAnswerReachesOnlyItsReaderUnaskedOnesGoNowhereAndQueryingGoesOn) {
  files.a->master().Send("FA;");
  ASSERT_EQ(rig.master().ReceiveUntil("FA;", In(2s)), "FA;");
  // A later query is answered first, so the FA; is given up as skipped; its answer comes
  // after all, out of order, and is A's alone.
  EXPECT_EQ(Query(*files.a, "ID;", "ID0251;"), "ID0251;");
  const Deadline given_up = In(3s);
  while (ReadWholeFile(files.dir.File("Corvane.Log")).find("first (FA;) from Port A") ==
             std::string::npos &&
         MsLeft(given_up) > 0) {
    ::poll(nullptr, 0, 10);
  }
  ASSERT_GT(MsLeft(given_up), 0) << "the FA; was never given up";
  rig.master().Send("FA14070000;");
  rig.master().Send("IF00014070000+000000030000000;AI1;MD03;");
  EXPECT_EQ(files.a->master().ReceiveUntil("FA14070000;;", In(700ms)), "FA14070000;");
  EXPECT_EQ(files.b->master().ReceiveUntil(";", In(100ms)), "");
  EXPECT_EQ(Query(*files.b, "FB;", "FA07000000;", "FA;"), "FB07000000;");
}

TEST_F(PortFaults, SlowAndChattyTransceiverKeepsRouting) {
  // A transceiver left reporting by another program: its reports reach no client.
  StartWithSimrig({"--delay-ms", "150", "--ai"});
  for (int i = 0; i < 3; ++i) {
    const std::string mode = "MD0" + std::to_string(i + 1) + ";";
    files.a->master().Send(mode);
    EXPECT_EQ(CorvaneRig::Ask(*files.a, "MD0;"), mode);
    EXPECT_EQ(CorvaneRig::Ask(*files.b, "FB;"), "FB14070000;");
  }
}

}  // namespace
}  // namespace corvane::test
