// A million commands from two clients through the router to the simulated transceiver, which
// refuses one read in seven and every command it does not know: reads, sets and unknown
// commands mixed at random, answers coming back in chunks of any size. No client ever gets an
// answer to a read it did not make, and every command that got neither its answer nor its
// refusal is a refusal the transceiver's order could not place.
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <vector>

#include "app/router/cat_commands.h"
#include "app/router/router.h"
#include "tools/simrig/ft2000_model.h"

namespace corvane {
namespace {

class RigLines : public RouterLines {
 public:
  RigLines() { rig.RefuseEvery(7); }
  void WriteToRig(const std::string& command) override { from_rig += rig.Feed(command); }
  size_t OfferToClient(size_t client, const std::string& bytes) override {
    received[client] += bytes;
    return bytes.size();
  }
  Ft2000Model rig;
  std::string from_rig;
  std::string received[2];
};

struct SoakClient {
  std::vector<std::string> reads;
  std::vector<std::string> sets;
  // What the client has sent that the transceiver may answer, as this client sees the answer.
  std::deque<std::string> outstanding = {};
  long long expecting = 0, answered = 0, refused = 0, misrouted = 0;
  std::string misrouted_example = {};

  void Take(std::string& bytes) {
    for (size_t semi; (semi = bytes.find(';')) != std::string::npos;) {
      const std::string answer = bytes.substr(0, semi + 1);
      bytes.erase(0, semi + 1);
      if (answer == "?;") {
        ++refused;
        continue;
      }
      size_t i = 0;
      while (i < outstanding.size() && answer.compare(0, outstanding[i].size(), outstanding[i]) != 0)
        ++i;
      if (i == outstanding.size()) {
        if (misrouted++ == 0) misrouted_example = answer;
        continue;
      }
      ++answered;
      outstanding.erase(outstanding.begin(), outstanding.begin() + static_cast<long>(i) + 1);
    }
  }
};

TEST(RouterSoak, AMillionMixedCommandsReachNoWrongClientAndLoseOnlyUnplacedRefusals) {
  constexpr long long kCommands = 1'000'000;
  RigLines lines;
  int64_t now = 0;
  Router router({{"A", false}, {"B", true}}, lines, [&] { return now; },
                {[](uint8_t) { return false; }, [](uint8_t, const std::string&) {}}, 500);
  SoakClient clients[2] = {
      {{"FA;", "MD0;", "SH0;", "IF;", "AG0;", "ID;"}, {"FA14070000;", "MD02;", "SH011;"}},
      {{"FA;", "MD1;", "NA1;", "AG1;", "EX029;"}, {"FA07030000;", "MD13;", "NA11;"}},
  };
  std::mt19937 random(20261208);
  auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
  auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
  auto answer_some = [&](bool all) {
    size_t n = all ? lines.from_rig.size() : random() % (lines.from_rig.size() + 1);
    const std::string chunk = lines.from_rig.substr(0, n);
    lines.from_rig.erase(0, n);
    router.ProcessAnswers(chunk);
    for (int c = 0; c < 2; ++c) clients[c].Take(lines.received[c]);
  };
  for (long long sent = 0; sent < kCommands; ++sent) {
    const uint8_t c = random() % 2;
    SoakClient& client = clients[c];
    std::string command;
    if (chance(60)) {
      command = pick(client.reads);
    } else if (chance(75)) {
      command = pick(client.sets);
    } else {
      command = "ZZ;";  // not a command the transceiver knows: refused
    }
    if (cat::MayBeAnswered(command)) {
      client.outstanding.push_back(std::string(cat::AnswerKey(command)));
      ++client.expecting;
    }
    router.ProcessBuffer(c, command);
    if (client.outstanding.size() >= 6 || chance(30)) answer_some(false);
    if (sent % 100 == 0) ++now;  // a command every 10 us: nothing ages out
  }
  answer_some(true);
  now += 2000;  // a refusal still waiting to be placed never will be
  router.Tick();

  long long lost = 0;
  for (int c = 0; c < 2; ++c) {
    const SoakClient& client = clients[c];
    std::printf("  port %c: %lld commands expecting a reply, %lld answered, %lld refused, %lld misrouted\n",
                "AB"[c], client.expecting, client.answered, client.refused, client.misrouted);
    EXPECT_EQ(client.misrouted, 0) << "port " << "AB"[c] << " got " << client.misrouted_example;
    lost += client.expecting - client.answered - client.refused;
  }
  const Router::Counters& counted = router.counters();
  std::printf("  lost %lld, refusals given to no one %llu, refused %llu, unanswered %llu, late %llu, unmatched %llu\n", lost,
              static_cast<unsigned long long>(counted.refusals_to_no_one),
              static_cast<unsigned long long>(counted.refused),
              static_cast<unsigned long long>(counted.unanswered),
              static_cast<unsigned long long>(counted.late),
              static_cast<unsigned long long>(counted.unmatched));
  EXPECT_EQ(static_cast<unsigned long long>(lost), counted.refusals_to_no_one);
  EXPECT_EQ(counted.unmatched, 0u);
  EXPECT_TRUE(router.Empty());
}

}  // namespace
}  // namespace corvane
