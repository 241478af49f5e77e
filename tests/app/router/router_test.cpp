// The router on its own: scripted lines, an injected clock, no ports and no sleeps.
#include "app/router/router.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace corvane {
namespace {

constexpr int64_t kTickMs = 500;

// Client lines that take what their room allows and a transceiver line that records.
class ScriptedLines : public RouterLines {
 public:
  explicit ScriptedLines(size_t clients) : received(clients), room(clients, SIZE_MAX), gone(clients) {}
  void WriteToRig(const std::string& command) override {
    if (rig_gone) throw std::runtime_error("line gone");
    to_rig += command;
  }
  size_t OfferToClient(size_t client, const std::string& bytes) override {
    ++offers;
    if (gone[client]) throw std::runtime_error("line gone");
    const size_t n = std::min(room[client], bytes.size());
    if (room[client] != SIZE_MAX) room[client] -= n;
    received[client] += bytes.substr(0, n);
    return n;
  }
  std::string to_rig;
  std::vector<std::string> received;
  std::vector<size_t> room;
  std::vector<bool> gone;
  bool rig_gone = false;
  int offers = 0;
};

class RouterTest : public testing::Test {
 protected:
  explicit RouterTest(std::vector<RouterClient> clients = {{"A", false}, {"B", true}})
      : lines(clients.size()),
        router(clients, lines, [this] { return now; },
               {[](uint8_t) { return true; },
                [this](uint8_t level, const std::string& text) {
                  if (level == 1) level1 += text + "\n";
                }},
               kTickMs) {}

  int64_t now = 1000;
  ScriptedLines lines;
  std::string level1;
  Router router;
};

// One exchange: what each client sends, in order, then what the transceiver answers.
struct Dialogue {
  const char* name;
  std::vector<std::pair<uint8_t, std::string>> sent;
  std::string answers;
  std::string to_a, to_b;
  uint32_t waiting_after;
};

void PrintTo(const Dialogue& d, std::ostream* os) {
  *os << d.name;
}

class RouterDialogue : public RouterTest, public testing::WithParamInterface<Dialogue> {};

TEST_P(RouterDialogue, EveryAnswerReachesTheClientThatAskedAndNoOtherOne) {
  const Dialogue& d = GetParam();
  for (const auto& [client, bytes] : d.sent) router.ProcessBuffer(client, bytes);
  router.ProcessAnswers(d.answers);
  EXPECT_EQ(lines.received[0], d.to_a);
  EXPECT_EQ(lines.received[1], d.to_b);
  EXPECT_EQ(router.Waiting(), d.waiting_after);
  // Every refusal is counted once, given to a client or to no one.
  size_t refusals = 0;
  for (size_t at = d.answers.find("?;"); at != std::string::npos; at = d.answers.find("?;", at + 2))
    ++refusals;
  EXPECT_EQ(router.counters().refused + router.counters().refusals_to_no_one, refusals);
}

INSTANTIATE_TEST_SUITE_P(
    Collisions, RouterDialogue,
    testing::Values(
        // Sets are not answered, so they must not take the other client's answer.
        Dialogue{"SetOnAThenReadOnB", {{0, "FA14070010;"}, {1, "FB;"}}, "FA14070010;", "",
                 "FB14070010;", 0},
        Dialogue{"SetOnBThenReadOnA", {{1, "FA07000010;"}, {0, "FB;"}}, "FB07000010;",
                 "FB07000010;", "", 0},
        Dialogue{"ModeSetThenModeRead", {{0, "MD02;"}, {1, "MD0;"}}, "MD02;", "", "MD02;", 0},
        Dialogue{"ActionThenRead", {{0, "AB;SV;UP;"}, {1, "ID;"}}, "ID0251;", "", "ID0251;", 0},
        Dialogue{"MenuSetThenMenuRead", {{0, "EX0291;EX029;"}}, "EX0291;", "EX0291;", "", 0},
        // An unknown token is still stored; when the read after it is answered, the one
        // refusal before that answer can only have been the unknown command's.
        Dialogue{"RejectedUnknownThenRead", {{0, "ZZ;"}, {1, "ID;"}}, "?;ID0251;", "?;", "ID0251;",
                 0},
        Dialogue{"UnsolicitedReportsLeaveWaitingCommands",
                 {{0, "FA;"}, {1, "MD0;"}},
                 "IF00014070000+000000200000;FB07000000;FA14070000;MD02;",
                 "FA14070000;",
                 "MD02;",
                 0},
        Dialogue{"AnAnswerNobodyAskedForOnAnEmptyQueue", {}, "FA14070000;", "", "", 0},
        // The transceiver answers in order: reads before an answered one were skipped, and
        // should one be answered after all (nothing newer asking the same), it is that read's.
        Dialogue{"ALaterAnswerGivesUpTheReadsTheTransceiverSkipped", {{0, "FA;MD0;IF;"}},
                 "IF00014070000+000000200000;MD02;", "IF00014070000+000000200000;MD02;", "", 0},
        // Once the transceiver sent something nobody asked for, it may be reporting on its own:
        // a report that looks like a later read's answer leaves the older reads waiting.
        Dialogue{"AfterAnUnaskedAnswerAReportCostsAnEarlierReadNothing",
                 {{0, "FA14070010;MD0;"}, {1, "FB;"}},
                 "IF00014070000+000000200000;FA14070010;MD02;FA14070010;",
                 "MD02;",
                 "FB14070010;",
                 0},
        // A read's selector says which answer is its own.
        Dialogue{"ModeReadsOfBothReceiversRefusedFirst", {{0, "MD0;"}, {1, "MD1;"}}, "?;MD12;",
                 "?;", "MD12;", 0},
        Dialogue{"ModeReadsOfBothReceiversRefusedSecond", {{0, "MD0;"}, {1, "MD1;"}}, "MD02;?;",
                 "MD02;", "?;", 0},
        Dialogue{"MenuReadsRefusedFirst", {{1, "EX029;"}, {0, "EX030;"}}, "?;EX0301;", "EX0301;",
                 "?;", 0},
        Dialogue{"WidthReadsInterleaved", {{0, "SH0;"}, {1, "SH1;"}, {0, "SH0;"}},
                 "SH012;?;SH010;", "SH012;SH010;", "?;", 0},
        // A set ahead of the read may be what was refused: the next answer tells.
        Dialogue{"RefusalWithASetAheadAndTheReadAnswered", {{0, "FA14070000;"}, {1, "FA;"}},
                 "?;FB07000000;", "", "FA07000000;", 0},
        Dialogue{"RefusalWithASetAheadAndTheReadSkipped", {{0, "MD02;"}, {1, "MD0;"}, {0, "FA;"}},
                 "?;FA14070000;", "FA14070000;", "?;", 0},
        Dialogue{"RefusalsOutnumberingTheSetsAheadRefuseTheRead",
                 {{0, "MD02;"}, {1, "MD13;"}, {0, "MD0;"}, {1, "MD1;"}}, "?;?;?;MD13;", "?;",
                 "MD13;", 0},
        Dialogue{"RefusalsOfSetsOnBothClientsReachNoOne",
                 {{0, "MD02;"}, {1, "MD13;"}, {0, "MD0;"}}, "?;?;MD02;", "MD02;", "", 0},
        // An answer that cannot be the read's is never delivered.
        Dialogue{"AnAnswerOfTheWrongWidthIsDropped", {{0, "FA;"}, {1, "FB;"}},
                 "FA1407;FA07000000;", "", "FB07000000;", 0},
        Dialogue{"AnAnswerSplitOverChunksWaitsForItsEnd", {{0, "ID;"}}, "ID02", "", "", 1}),
    [](const testing::TestParamInfo<Dialogue>& info) { return info.param.name; });

TEST_F(RouterTest, OnlyCommandsTheTransceiverAnswersAreStoredButAllAreForwarded) {
  router.ProcessBuffer(0, "FA14070010;FA;AB;MD0;MD02;fa;;");
  EXPECT_EQ(lines.to_rig, "FA14070010;FA;AB;MD0;MD02;fa;;");
  ASSERT_EQ(router.Waiting(), 4u);
  const char* stored[] = {"FA;", "MD0;", "fa;", ";"};
  for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(router.Queue[i].Cmd, stored[i]);
}

TEST_F(RouterTest, SearchFindsTheOldestWaitingEntryWithTheToken) {
  struct Case {
    uint32_t read, write;
    std::vector<std::pair<uint32_t, std::string>> slots;
    std::string token;
    int32_t expected;
  };
  const Case cases[] = {
      {0, 0, {}, "FA", -1},
      {3, 5, {{3, "FA;"}, {4, "IF;"}}, "IF", 4},
      {3, 5, {{3, "FA;"}, {4, "IF;"}}, "FA", 3},
      {3, 5, {{3, "FA;"}, {4, "IF;"}}, "MD", -1},
      {126, 2, {{126, "FA;"}, {127, "FB;"}, {0, "ID;"}, {1, "IF;"}}, "ID", 0},
      {10, 13, {{10, "MD0;"}, {11, "FA;"}, {12, "FA;"}}, "FA", 11},
      {10, 11, {{10, "FA;"}}, "fa", -1},
      {10, 11, {{10, "FA;"}}, ";", -1},
  };
  for (const Case& c : cases) {
    router.ReadPointer = router.WritePointer = c.read;
    for (const auto& [slot, cmd] : c.slots) {
      router.WritePointer = slot;
      router.ProcessBuffer(0, cmd);
    }
    router.WritePointer = c.write;
    EXPECT_EQ(router.getQueue(c.token), c.expected) << c.token << " from " << c.read;
    EXPECT_EQ(router.ReadPointer, c.read);
  }
}

TEST_F(RouterTest, SwapExchangesOnlyTheVfoTokens) {
  EXPECT_EQ(router.swapAB("FA;"), "FB;");
  EXPECT_EQ(router.swapAB("FB00007000000;"), "FA00007000000;");
  EXPECT_EQ(router.swapAB("IF;"), "IF;");
  EXPECT_EQ(router.swapAB("FA"), "FA");  // not a command: left alone
}

TEST_F(RouterTest, ACommandGivenUpCannotPassItsLateAnswerToANewerRead) {
  router.ProcessBuffer(0, "ID;");
  now += 2 * kTickMs;
  router.Tick();
  router.ProcessBuffer(1, "ID;");
  router.ProcessAnswers("ID0251;");  // the late answer to A's read
  EXPECT_EQ(lines.received[1], "");
  router.ProcessAnswers("ID0252;");
  EXPECT_EQ(lines.received[0], "");
  EXPECT_EQ(lines.received[1], "ID0252;");
  EXPECT_EQ(router.counters().unanswered, 1u);
  EXPECT_EQ(router.counters().late, 1u);
  EXPECT_NE(level1.find("(1) commands unanswered"), std::string::npos) << level1;
}

TEST_F(RouterTest, ARefusalHeldBackIsSettledOnceWhatItMayRefuseIsGivenUp) {
  router.ProcessBuffer(0, "FA14070000;MD0;");
  router.ProcessAnswers("?;");  // the set's or the read's: no answer after it tells which
  now += 2 * kTickMs;
  router.Tick();
  EXPECT_EQ(router.counters().refusals_to_no_one, 1u);
  EXPECT_EQ(lines.received[0], "");
}

TEST_F(RouterTest, TheWatchdogCallsABridgeStuckOnlyWhenAWaitingCommandSawNoProgress) {
  // Idle: nothing waits, nothing is stuck, however long.
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(router.Tick());
  // Busy: exactly a full ring's worth of answers per tick, the ring index back where it was.
  for (int tick = 0; tick < 3; ++tick) {
    for (uint32_t i = 0; i < Router::kQueueSlots; ++i) {
      router.ProcessBuffer(0, "ID;");
      router.ProcessAnswers("ID0251;");
    }
    router.ProcessBuffer(0, "FA;");  // waiting across the tick, answered before the next
    now += kTickMs;
    EXPECT_FALSE(router.Tick()) << tick;
    router.ProcessAnswers("FA14070000;");
  }
  // Answers that match nothing still show a live line: no reset for a rejected command.
  router.ProcessBuffer(0, "ZZ;");
  EXPECT_FALSE(router.Tick());
  router.ProcessAnswers("?;");
  now += kTickMs;
  EXPECT_FALSE(router.Tick());
  now += 2 * kTickMs;
  EXPECT_FALSE(router.Tick());  // and given up by its age
  EXPECT_TRUE(router.Empty());
  // So does a refusal the order cannot give to a command yet (the set's or the read's).
  router.ProcessBuffer(0, "FA14070000;MD0;");
  EXPECT_FALSE(router.Tick());
  router.ProcessAnswers("?;");
  now += kTickMs;
  EXPECT_FALSE(router.Tick());
  now += 2 * kTickMs;
  EXPECT_FALSE(router.Tick());
  EXPECT_TRUE(router.Empty());
  // While answers may be reports, a refusal after answers is not placed: the refused read is
  // left waiting, but the transceiver answered after it, so it is not stuck.
  router.ProcessAnswers("FB07030000;");  // a report
  router.ProcessBuffer(0, "FA;MD0;FA;MD0;");
  router.ProcessAnswers("FA14070000;MD02;?;MD02;");
  EXPECT_FALSE(router.Tick());
  for (int i = 0; i < 2; ++i) {
    now += kTickMs;
    EXPECT_FALSE(router.Tick()) << i;
  }
  EXPECT_TRUE(router.Empty());
  // A read left unanswered for a whole tick: stuck, and given up.
  router.ProcessBuffer(1, "ID;");
  now += kTickMs;
  EXPECT_FALSE(router.Tick());  // it was not waiting at the previous tick
  now += kTickMs / 2;
  EXPECT_TRUE(router.Tick());
  EXPECT_TRUE(router.Empty());
  EXPECT_FALSE(router.Tick());
}

TEST_F(RouterTest, UnknownCommandsNeverResetTheLinesAndResetsThatBringNoAnswerBackOff) {
  auto poll_tick = [&](const char* command) {
    now += 1;
    if (*command) router.ProcessBuffer(0, command);
    now += kTickMs - 1;
    return router.Tick();
  };
  for (int i = 0; i < 6; ++i) EXPECT_FALSE(poll_tick("SC1;")) << i;  // may be a silent set
  EXPECT_EQ(level1, "");
  // A transceiver switched off, a client asking "PS;" twice a second for ten minutes.
  std::vector<int64_t> resets;
  for (int i = 0; i < 1200; ++i)
    if (poll_tick("PS;")) resets.push_back(now);
  ASSERT_GE(resets.size(), 8u);
  EXPECT_LE(resets.size(), 20u);
  for (size_t i = 1; i < resets.size(); ++i) {
    const int64_t backoff = std::min<int64_t>(1000LL << (i - 1), Router::kMaxResetBackoffMs);
    EXPECT_GE(resets[i] - resets[i - 1], backoff) << i;
    EXPECT_LE(resets[i] - resets[i - 1], backoff + 3 * kTickMs) << i;
  }
  // The transceiver answers again: the next stuck bridge is reset at once.
  router.ProcessAnswers("PS1;");
  int ticks = 0;
  while (!poll_tick("PS;")) ASSERT_LT(++ticks, 4);
}

TEST_F(RouterTest, AClientFloodingTheRingGivesUpItsOwnCommandsNotTheOtherClients) {
  router.ProcessBuffer(1, "MD0;");
  for (int i = 0; i < 200; ++i) router.ProcessBuffer(0, "FA;");
  router.ProcessBuffer(1, "ID;");
  EXPECT_EQ(router.Waiting(), Router::kQueueSlots - 1);
  EXPECT_EQ(router.counters().unanswered, 200u + 2 - (Router::kQueueSlots - 1));
  // The answers of A's reads given up still come, first: they must not reach a newer read.
  std::string answers = "MD02;";
  for (int i = 0; i < 200; ++i) answers += "FA" + std::to_string(14000000 + i) + ";";
  router.ProcessAnswers(answers + "ID0251;");
  EXPECT_EQ(lines.received[1], "MD02;ID0251;");
  std::string newest;
  for (int i = 200 - 125; i < 200; ++i) newest += "FA" + std::to_string(14000000 + i) + ";";
  EXPECT_EQ(lines.received[0], newest);
}

TEST_F(RouterTest, AClientThatStopsReadingGetsWholeAnswersLaterAndCostsTheOtherNothing) {
  lines.room[1] = 5;  // takes the first 5 bytes of an answer, then nothing
  for (int i = 0; i < 10; ++i) {
    router.ProcessBuffer(1, "FA;");
    router.ProcessBuffer(0, "ID;");
    router.ProcessAnswers("FB07000000;ID0251;");
  }
  EXPECT_EQ(lines.received[0].size(), 10 * std::string("ID0251;").size());
  // The partly sent answer and the next held ones wait; the rest are dropped and counted,
  // without offering them to the full line again at once.
  EXPECT_EQ(router.counters().dropped_to_client[1], 10u - Router::kHeldAnswers);
  EXPECT_EQ(lines.offers, 10 + 1);
  // With room again, B's next answer a moment later takes the held ones along, in order,
  // before any tick.
  lines.room[1] = SIZE_MAX;
  now += Router::kHeldRetryMs;
  router.ProcessBuffer(1, "FA;");
  router.ProcessAnswers("FB07000001;");
  std::string whole;
  for (size_t i = 0; i < Router::kHeldAnswers; ++i) whole += "FA07000000;";
  EXPECT_EQ(lines.received[1], whole + "FA07000001;");
}

TEST_F(RouterTest, AFailingClientLineDropsItsAnswerAndRoutingGoesOn) {
  lines.gone[0] = true;
  router.ProcessBuffer(0, "FA;");
  router.ProcessBuffer(1, "FA;");
  router.ProcessAnswers("FA14070000;FB07000000;");
  EXPECT_EQ(lines.received[1], "FA07000000;");
  EXPECT_EQ(router.counters().dropped_to_client[0], 1u);
  EXPECT_TRUE(router.Empty());
}

TEST_F(RouterTest, WhileTheTransceiversLineIsDownCommandsAreDroppedNotQueued) {
  lines.rig_gone = true;
  router.ProcessBuffer(0, "FA;FA;");
  EXPECT_FALSE(router.RigLineUp());
  lines.rig_gone = false;
  router.ProcessBuffer(0, "FA;FA;");
  EXPECT_EQ(lines.to_rig, "");
  EXPECT_EQ(router.counters().dropped_rig_down, 4u);
  router.SetRigLineUp(true);
  router.ProcessBuffer(0, "FA;");
  EXPECT_EQ(lines.to_rig, "FA;");
  EXPECT_EQ(router.Waiting(), 1u);
}

TEST_F(RouterTest, EachClientHasItsOwnAutoInformationAndTheTransceiverFollowsTheHighest) {
  struct Step {
    uint8_t client;
    const char* sent;
    const char* to_rig;       // what reaches the transceiver
    const char* to_client;    // what the client gets back at once
  };
  const Step steps[] = {
      {1, "AI;", "", "AI0;"},     // hamlib asks at start: the client's own setting
      {0, "AI1;", "AI1;", ""},    // the first client to want reports turns them on
      {0, "AI;", "", "AI1;"},
      {1, "AI;", "", "AI0;"},
      {1, "AI1;", "", ""},        // already on
      {1, "AI0;", "", ""},        // hamlib at its start: A still wants reports
      {0, "AI0;", "AI0;", ""},    // the last one turns them off
      {0, "AI0;", "", ""},
  };
  for (const Step& step : steps) {
    lines.to_rig.clear();
    lines.received[step.client].clear();
    router.ProcessBuffer(step.client, step.sent);
    EXPECT_EQ(lines.to_rig, step.to_rig) << step.client << step.sent;
    EXPECT_EQ(lines.received[step.client], step.to_client) << step.client << step.sent;
  }
  EXPECT_NE(level1.find("(AI1;)"), std::string::npos) << level1;
}

TEST_F(RouterTest, ReportsGoOnlyToTheClientsThatWantThemAsEachSeesTheVfos) {
  router.ProcessAnswers("FA14070000;");  // a transceiver left reporting by another program
  EXPECT_EQ(lines.received[0] + lines.received[1], "");
  router.ProcessBuffer(1, "AI1;");
  router.ProcessBuffer(0, "FA;");
  router.ProcessAnswers("FA14070010;");  // a report that lands on A's waiting read answers it
  router.ProcessAnswers("FA14070010;FB07000000;");  // A's answer comes after: now a report
  EXPECT_EQ(lines.received[0], "FA14070010;");
  EXPECT_EQ(lines.received[1], "FB14070010;FA07000000;");
  // A's answer of its own comes after the answers it still waits for.
  router.ProcessBuffer(0, "MD0;AI;");
  EXPECT_EQ(lines.received[0], "FA14070010;");
  router.ProcessAnswers("MD02;");
  EXPECT_EQ(lines.received[0], "FA14070010;MD02;AI0;");
  // B's line goes away: its reports end, and the transceiver's with them.
  lines.to_rig.clear();
  router.DropAutoInformation(1);
  EXPECT_EQ(lines.to_rig, "AI0;");
  router.ProcessAnswers("FA14070020;");
  EXPECT_EQ(lines.received[1], "FB14070010;FA07000000;");
}

class Guarded : public RouterTest {
 protected:
  Guarded()
      : RouterTest({{"A", false, Access::Full}, {"B", true, Access::NoTx}, {"C", false, Access::Read}}) {}
};

TEST_F(Guarded, EachPortMayDoWhatItsAccessAllowsAndIsRefusedTheRestInOrder) {
  struct Case {
    const char* command;
    const char* answer;     // the transceiver's, for a read (or a command it refuses)
    bool full, notx, read;  // whether it reaches the transceiver from A, B and C
  };
  const Case cases[] = {
      {"FA;", "FA14070000;", true, true, true}, {"MD0;", "MD02;", true, true, true},
      {"TX;", "TX0;", true, true, true},        {"FA14070000;", "", true, true, false},
      {"AB;", "", true, true, false},           {"ZZ;", "?;", true, true, false},
      {"MD;", "?;", true, true, false},         {"TX1;", "", true, false, false},
      {"TX0;", "", true, true, false},          {"MX1;", "", true, false, false},
      {"MX0;", "", true, true, false},          {"KY6;", "", true, false, false},
      {"KYhello;", "", true, false, false},
  };
  for (const Case& c : cases) {
    const bool reaches[] = {c.full, c.notx, c.read};
    for (uint8_t client = 0; client < 3; ++client) {
      ScriptedLines fresh(3);
      Router r({{"A", false, Access::Full}, {"B", true, Access::NoTx}, {"C", false, Access::Read}},
               fresh, [this] { return now; }, {[](uint8_t) { return false; }, [](uint8_t, const std::string&) {}},
               kTickMs);
      r.ProcessBuffer(client, c.command);
      // Port B asks for its FA as the transceiver's FB, and sees the answer as FA again.
      const std::string answer = c.answer;
      if (!fresh.to_rig.empty() && !answer.empty())
        r.ProcessAnswers(client == 1 ? r.swapAB(answer) : answer);
      EXPECT_EQ(!fresh.to_rig.empty(), reaches[client]) << c.command << " from " << int(client);
      EXPECT_EQ(fresh.received[client], reaches[client] ? answer : "?;")
          << c.command << " from " << int(client);
    }
  }
  // A refusal comes in order with the client's other answers; its own reports stay its own.
  lines.received[2].clear();
  router.ProcessBuffer(2, "FA;TX1;AI1;AI;");
  EXPECT_EQ(lines.received[2], "");
  router.ProcessAnswers("FA14070000;");
  EXPECT_EQ(lines.received[2], "FA14070000;?;AI1;");
}

TEST_F(Guarded, OneTransmitterOneOwnerUnkeyedWhenItGoesOrKeepsItTooLong) {
  router.ProcessBuffer(0, "TX1;");
  EXPECT_EQ(router.TransmitterOwner(), 0);
  router.ProcessBuffer(2, "TX;");  // anyone may ask
  lines.to_rig.clear();
  // A second client's key-down is refused; the owner may key again and anyone may unkey.
  router.ProcessBuffer(1, "TX0;");
  EXPECT_EQ(router.TransmitterOwner(), -1);
  router.ProcessBuffer(1, "FA;");
  router.ProcessBuffer(0, "TX1;");
  EXPECT_EQ(lines.to_rig, "TX0;FB;TX1;");
  // The owner's line goes away: unkeyed at once; another line going away changes nothing.
  lines.to_rig.clear();
  router.ReleaseTransmitter(1, "went away");
  EXPECT_EQ(lines.to_rig, "");
  router.ReleaseTransmitter(0, "went away");
  EXPECT_EQ(lines.to_rig, "TX0;");
  EXPECT_EQ(router.TransmitterOwner(), -1);
  // Kept too long: unkeyed at the first tick past the limit, and the operator told.
  std::string notice;
  router.SetOperatorNotice([&](const std::string& text) { notice = text; });
  router.SetTransmitLimit(3000);
  lines.to_rig.clear();
  router.ProcessBuffer(0, "TX1;");
  now += 2900;
  router.Tick();
  EXPECT_EQ(lines.to_rig, "TX1;");
  now += 200;
  router.Tick();
  EXPECT_EQ(lines.to_rig, "TX1;TX0;");
  EXPECT_NE(notice.find("Port A"), std::string::npos) << notice;
  EXPECT_NE(level1.find("keyed the transmitter and kept it past"), std::string::npos) << level1;
}

class ThreeClients : public RouterTest {
 protected:
  ThreeClients() : RouterTest({{"A", false}, {"B", true}, {"C", false}}) {}
};

TEST_F(ThreeClients, EachGetsItsOwnAnswerAndOnlyTheExchangingOneSeesTheVfosSwapped) {
  router.ProcessBuffer(2, "FA;");
  router.ProcessBuffer(1, "FA;");
  router.ProcessBuffer(0, "FB;");
  EXPECT_EQ(lines.to_rig, "FA;FB;FB;");
  router.ProcessAnswers("FA14070000;FB07000000;FB07000000;");
  EXPECT_EQ(lines.received[2], "FA14070000;");
  EXPECT_EQ(lines.received[1], "FA07000000;");
  EXPECT_EQ(lines.received[0], "FB07000000;");
}

// A connection closes with commands waiting and a new one takes its number before their
// answers come: the old answers end the old commands' wait and reach nobody.
// A connection closes with commands waiting and a new one takes its number before their
// answers come: the old answers end the old commands' wait and reach nobody, and nothing of
// the old client (buffer, held answers, auto-information) is left to the new one.
TEST_F(RouterTest, AClientThatGoesTakesItsStateAlongAndItsNumberComesBackClean) {
  lines.received.resize(3);
  lines.room.resize(3, SIZE_MAX);
  lines.gone.resize(3);
  const size_t c = router.AddClient({"A#1", false});
  ASSERT_EQ(c, 2u);
  lines.room[c] = 0;  // full: its answers are held
  router.ProcessBuffer(c, "AI2;ID;FA;");
  router.ProcessAnswers("ID0251;");
  router.ProcessBuffer(c, "MD");
  router.ProcessBuffer(0, "FA;");
  router.RemoveClient(c);
  EXPECT_FALSE(router.HasClient(c));
  EXPECT_FALSE(router.HoldsAnswers());

  const size_t d = router.AddClient({"A#2", false});
  EXPECT_EQ(d, c);
  lines.room[d] = SIZE_MAX;
  router.ProcessBuffer(d, "AI;FA;");  // the old "MD" is gone: not "MDAI;"
  EXPECT_EQ(lines.to_rig, "AI2;ID;FA;FA;AI0;FA;");
  router.ProcessAnswers("FA00000001;FA00000002;FA00000003;");
  EXPECT_EQ(lines.received[0], "FA00000002;");
  EXPECT_EQ(lines.received[d], "AI0;FA00000003;");
  EXPECT_TRUE(router.Empty());
  EXPECT_EQ(router.counters().late, 1u);

  // A read the transceiver passed over, whose client goes before the answer comes after all.
  router.ProcessBuffer(d, "FA;");
  router.ProcessBuffer(0, "MD0;");
  router.ProcessAnswers("MD02;");
  router.RemoveClient(d);
  EXPECT_EQ(router.AddClient({"A#3", false}), d);
  router.ProcessAnswers("FA00000004;");
  EXPECT_EQ(lines.received[d], "AI0;FA00000003;");
  EXPECT_EQ(lines.received[0], "FA00000002;MD02;");
}

TEST(CatCommands, ALongerCommandThanItsReadFormIsASet) {
  const std::pair<const char*, cat::CommandKind> cases[] = {
      {"FA;", cat::CommandKind::Read},      {"FA14070000;", cat::CommandKind::Set},
      {"MD0;", cat::CommandKind::Read},     {"MD02;", cat::CommandKind::Set},
      {"EX029;", cat::CommandKind::Read},   {"EX0291;", cat::CommandKind::Set},
      {"AB;", cat::CommandKind::Action},    {"VM;", cat::CommandKind::Action},
      {"ZZ;", cat::CommandKind::Unknown},   {"MD;", cat::CommandKind::Unknown},
      {";", cat::CommandKind::Unknown},     {"\nFA;", cat::CommandKind::Unknown},
  };
  for (const auto& [command, kind] : cases) EXPECT_EQ(cat::Classify(command), kind) << command;
}

}  // namespace
}  // namespace corvane
