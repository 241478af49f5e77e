// Two clients sharing the transceiver through the real corvane binary, every query counted:
// whatever else crosses the line (sets that draw no answer, rejected commands, the
// transceiver's own reports), each query gets exactly one answer, at the client that asked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>

#include "tests/app/client_traffic.h"
#include "tests/app/corvane_process.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

// A tuning VFO A in 10 Hz steps: FA14070010; FA14070020; ...
std::string Tune(int n) {
  return "FA" + std::to_string(14'070'010 + 10 * n) + ";";
}

std::string Times(int n, const std::string& text) {
  std::string all;
  for (int i = 0; i < n; ++i) all += text;
  return all;
}

// Matches no answer at all: the client must receive nothing.
constexpr const char* kNothing = "";

struct SharedLineCase {
  const char* name;
  std::vector<std::string> simrig_args;
  std::chrono::milliseconds duration;
  std::vector<CommandStream> streams;
  const char* answer_shape[2];  // what every answer on port A and on port B looks like
};

void PrintTo(const SharedLineCase& c, std::ostream* os) {
  *os << c.name;
}

class SharedLine : public testing::TestWithParam<SharedLineCase> {};

TEST_P(SharedLine, EveryQueryIsAnsweredOnceAtTheClientThatAsked) {
  const SharedLineCase& c = GetParam();
  CorvaneRig rig(c.simrig_args);
  rig.Start();
  const std::vector<ClientTraffic> traffic = RunTraffic({&rig.a, &rig.b}, c.streams, c.duration);
  for (std::size_t client = 0; client < traffic.size(); ++client) {
    const ClientTraffic& t = traffic[client];
    const char port = "AB"[client];
    const std::regex shape(c.answer_shape[client]);
    int misshapen = 0;
    std::string examples;
    for (const std::string& answer : t.answers) {
      if (std::regex_match(answer, shape)) continue;
      if (++misshapen <= 5) examples += " " + answer;
    }
    std::printf("  port %c: %d commands, %zu queries, %zu answers, %d of another shape\n", port,
                t.commands, t.queries, t.answers.size(), misshapen);
    EXPECT_EQ(t.answers.size(), t.queries) << "port " << port;
    EXPECT_EQ(misshapen, 0) << "port " << port << " got" << examples;
    EXPECT_EQ(t.partial, "") << "port " << port << " got part of an answer";
  }
}

INSTANTIATE_TEST_SUITE_P(
    TwoClients, SharedLine,
    testing::Values(
        // Sets draw no answer, so none of B's answers may be taken for one; B sees its own
        // VFO names, the transceiver's VFO A (which A tunes) as its FB.
        SharedLineCase{"SetsOnAWhileBPolls",
                       {},
                       10s,
                       {{0, 30ms, Tune, false}, {1, 100ms, Repeat("FB;"), true}},
                       {kNothing, "FB\\d{8};"}},
        // Each set now also makes the transceiver report the new frequency unasked. A report
        // may stand in for B's waiting read, but never adds a second answer or reaches A.
        SharedLineCase{"AutoInformationReportsWhileBothPoll",
                       {"--ai"},
                       5s,
                       {{0, 30ms, Tune, false},
                        {0, 100ms, Repeat("MD0;"), true},
                        {1, 100ms, Repeat("FB;"), true}},
                       {"MD0[1-9A-D];", "FB\\d{8};"}},
        // A busy transceiver refuses one read in seven: each client gets its own receiver's
        // mode or the refusal of its own read, never the other's answer.
        SharedLineCase{"RefusedReadsWhileBothPollTheirOwnReceiver",
                       {"--refuse", "7"},
                       10s,
                       {{0, 40ms, Repeat("MD0;"), true}, {1, 40ms, Repeat("MD1;"), true}},
                       {"MD0[1-9A-D];|\\?;", "MD1[1-9A-D];|\\?;"}}),
    [](const testing::TestParamInfo<SharedLineCase>& info) { return info.param.name; });

TEST(RejectedCommand, TheRefusalReachesTheClientWhoseCommandItRefusesAndTheOtherIsAnswered) {
  CorvaneRig rig;
  rig.Start();
  constexpr int kRounds = 20;
  const std::string id = "ID0251;";
  std::string at_b;
  for (int round = 0; round < kRounds; ++round) {
    rig.a.master().Send("ZZ;");
    rig.b.master().Send("ID;");
    at_b += rig.b.master().ReceiveUntil(id, In(kAnswerTimeout));
  }
  // The transceiver refuses the unknown ZZ with "?;"; B's read is answered, so each refusal
  // can only be A's: A hears it, as it would wired to the transceiver.
  const std::string at_a = rig.a.master().ReceiveUntil(Times(kRounds, "?;"), In(kAnswerTimeout));
  std::printf("  %d rounds: B got %zu answers, A got %zu bytes\n", kRounds,
              static_cast<std::size_t>(std::count(at_b.begin(), at_b.end(), ';')), at_a.size());
  EXPECT_EQ(at_b, Times(kRounds, id));
  EXPECT_EQ(at_a, Times(kRounds, "?;"));
}

}  // namespace
}  // namespace corvane::test
