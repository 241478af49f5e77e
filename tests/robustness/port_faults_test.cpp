// Lines that vanish, fill up or misbehave under the running bridge: it keeps running,
// reports a failure once, gets its ports back through the watchdog's reset and routes
// again afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "tests/robustness/bridge_under_test.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kOpenFailed = "Unable to open com port (Error: 2)";

class PortFaults : public testing::Test {
 protected:
  void StartWithSimrig(const std::vector<std::string>& simrig_args = {}) {
    simrig = StartSimrig(files.link_rig, simrig_args);
    WriteWholeFile(files.dir.File("Corvane.INI"), files.Ini(files.link_rig));
    corvane = StartCorvane(files.dir.path());
    ASSERT_NE(AskFor(*files.a, "ID;", "ID0251;").find("ID0251;"), std::string::npos)
        << corvane->err();
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
  ASSERT_TRUE(StderrShows(*corvane, kOpenFailed, In(5s))) << corvane->err();
  // While the line is away the watchdog keeps failing to reopen it; B hears nothing.
  files.b->master().Send("ID;");
  EXPECT_EQ(files.b->master().ReceiveUntil(";", In(1500ms)), "");

  simrig = StartSimrig(files.link_rig);
  EXPECT_NE(AskFor(*files.a, "ID;", "ID0251;").find("ID0251;"), std::string::npos);
  EXPECT_NE(AskFor(*files.b, "FA;", "FA07000000;").find("FA07000000;"), std::string::npos);
  // The failure repeated on every tick of the outage but was printed once.
  EXPECT_EQ(Occurrences(corvane->err(), kOpenFailed), 1u) << corvane->err();
}

TEST_F(PortFaults, ClientLineVanishesAndComesBackWhileTheOtherClientIsServed) {
  StartWithSimrig();
  ::unlink(files.link_a.c_str());
  files.a.reset();
  ASSERT_TRUE(StderrShows(*corvane, kOpenFailed, In(5s))) << corvane->err();
  // Port B's client keeps its transceiver while A's line is away.
  EXPECT_NE(AskFor(*files.b, "ID;", "ID0251;").find("ID0251;"), std::string::npos)
      << corvane->err();

  files.a = std::make_unique<PtyPair>();
  PointLink(files.link_a, files.a->slave_path());
  EXPECT_NE(AskFor(*files.a, "FA;", "FA14070000;").find("FA14070000;"), std::string::npos);
  EXPECT_NE(AskFor(*files.b, "ID;", "ID0251;").find("ID0251;"), std::string::npos);
  EXPECT_EQ(Occurrences(corvane->err(), kOpenFailed), 1u) << corvane->err();
}

// Fills the line towards a client whose master nobody reads, as far as it takes.
size_t Fill(int slave_fd) {
  const std::string block(4096, 'x');
  size_t filled = 0;
  for (;;) {
    const ssize_t n = ::write(slave_fd, block.data(), block.size());
    if (n <= 0) return filled;
    filled += static_cast<size_t>(n);
  }
}

TEST_F(PortFaults, AClientThatStopsReadingDoesNotHoldUpTheOtherClient) {
  StartWithSimrig();
  // Each reopen of A's line purges what waits on it, so the test keeps the line full:
  // every answer to A can then only end by the write timeout (100 ms a byte + 1000 ms).
  const int fill = files.a->slave_fd();
  ASSERT_EQ(::fcntl(fill, F_SETFL, ::fcntl(fill, F_GETFL) | O_NONBLOCK), 0);
  ASSERT_GT(Fill(fill), 0u);
  files.a->master().Send("FA;ID;IF;");
  std::string got;
  for (auto deadline = In(20s), resend = In(0ms);
       got.find("ID0251;") == std::string::npos && MsLeft(deadline) > 0;) {
    if (MsLeft(resend) == 0) {
      files.b->master().Send("ID;");
      resend = In(1500ms);
    }
    Fill(fill);
    got += files.b->master().ReceiveUntil("ID0251;", In(100ms));
  }
  EXPECT_NE(got.find("ID0251;"), std::string::npos) << corvane->err();

  // Once A's client reads again it is served again.
  DrainInput(files.a->master().fd());
  EXPECT_NE(AskFor(*files.a, "ID;", "ID0251;").find("ID0251;"), std::string::npos);
}

// A transceiver the test plays itself, on a pseudo-terminal.
class ScriptedTransceiver : public PortFaults {
 protected:
  void SetUp() override {
    WriteWholeFile(files.dir.File("Corvane.INI"), files.Ini(rig.slave_path()));
    corvane = StartCorvane(files.dir.path());
    ASSERT_NE(Query(*files.a, "ID;", "ID0251;").find("ID0251;"), std::string::npos)
        << corvane->err();
  }
  // The client sends `query`; the transceiver reads it (as `heard`, port B's VFOs being
  // exchanged) and answers `answer`; the client awaits `delivered`. Retried when a watchdog
  // reset swallowed the query.
  std::string Query(PtyPair& client, const std::string& query, const std::string& answer,
                    std::string heard = "", std::string delivered = "") {
    if (heard.empty()) heard = query;
    if (delivered.empty()) delivered = answer;
    std::string got;
    for (int i = 0; i < 6 && got.find(delivered) == std::string::npos; ++i) {
      client.master().Send(query);
      if (rig.master().ReceiveUntil(heard, In(1500ms)).ends_with(heard)) {
        rig.master().Send(answer);
      }
      got += client.master().ReceiveUntil(delivered, In(1500ms));
    }
    return got;
  }

  PtyPair rig;
};

TEST_F(ScriptedTransceiver, SilenceThenAnAnswerToALaterQuery) {
  files.a->master().Send("FA;");
  EXPECT_EQ(rig.master().ReceiveUntil("FA;", In(2s)), "FA;");
  // No answer; the queue is emptied by the watchdog and the next query works.
  EXPECT_EQ(files.a->master().ReceiveUntil(";", In(1200ms)), "");
  EXPECT_NE(Query(*files.a, "MD0;", "MD03;").find("MD03;"), std::string::npos);
}

TEST_F(ScriptedTransceiver, AnAnswerSentTwiceReachesTheAskingClientOnce) {
  files.a->master().Send("FA;");
  ASSERT_EQ(rig.master().ReceiveUntil("FA;", In(2s)), "FA;");
  rig.master().Send("FA14070000;FA14070000;");
  // The repeat finds nothing waiting: it goes nowhere and empties the queue.
  EXPECT_EQ(files.a->master().ReceiveUntil("FA14070000;FA14070000;", In(700ms)), "FA14070000;");
  EXPECT_EQ(files.b->master().ReceiveUntil(";", In(100ms)), "");
  EXPECT_NE(Query(*files.a, "ID;", "ID0251;").find("ID0251;"), std::string::npos);
  EXPECT_NE(Query(*files.b, "ID;", "ID0251;").find("ID0251;"), std::string::npos);
}

TEST_F(ScriptedTransceiver, LateAndUnaskedAnswersGoNowhereAndQueryingGoesOn) {
  files.a->master().Send("FA;");
  ASSERT_EQ(rig.master().ReceiveUntil("FA;", In(2s)), "FA;");
  // A later query is answered first, which drops the waiting FA; its answer then comes late.
  EXPECT_NE(Query(*files.a, "ID;", "ID0251;").find("ID0251;"), std::string::npos);
  rig.master().Send("FA14070000;");
  rig.master().Send("IF00014070000+000000030000000;AI1;MD03;");
  EXPECT_EQ(files.a->master().ReceiveUntil(";", In(700ms)), "");
  EXPECT_EQ(files.b->master().ReceiveUntil(";", In(100ms)), "");
  EXPECT_NE(Query(*files.b, "FB;", "FA07000000;", "FA;", "FB07000000;").find("FB07000000;"),
            std::string::npos);
}

TEST_F(PortFaults, SlowAndChattyTransceiverKeepsRouting) {
  StartWithSimrig({"--delay-ms", "150", "--ai"});
  files.a->master().Send("AI1;");
  for (int i = 0; i < 3; ++i) {
    files.a->master().Send("MD0" + std::to_string(i + 1) + ";");
    EXPECT_NE(AskFor(*files.a, "MD0;", "MD0" + std::to_string(i + 1) + ";")
                  .find("MD0" + std::to_string(i + 1) + ";"),
              std::string::npos);
    EXPECT_NE(AskFor(*files.b, "FB;", "FB14070000;").find("FB14070000;"), std::string::npos);
  }
}

}  // namespace
}  // namespace corvane::test
