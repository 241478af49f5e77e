#include "tools/bench_bridge/chaos_client.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace corvane {
namespace {

using std::chrono::milliseconds;

struct SortCase {
  const char* what;
  std::string answer;  // written to the client while its "FA;" poll is in flight; "" for none
  long long ChaosCounts::*counted;
  bool still_in_flight;
};

std::string ReadAll(int fd, std::size_t want, Deadline deadline) {
  std::string text;
  char buffer[64];
  while (text.size() < want && BenchClock::now() < deadline) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

// What reaches a client decides the figures that fail a chaos run: the other client's answer
// must count as misrouted whatever is in flight, a refusal only for the poll it answers.
TEST(ChaosClient, SortsEveryAnswerByWhoseItIs) {
  const SortCase cases[] = {
      {"its poll's answer", "FA14070000;", &ChaosCounts::answered, false},
      {"a refusal", "?;", &ChaosCounts::refused, false},
      {"the other client's answer", "FA07030000;", &ChaosCounts::misrouted, true},
      {"the other client's other read", "MD13;", &ChaosCounts::misrouted, true},
      {"its own answer to another read", "MD02;", &ChaosCounts::extra, true},
      {"an answer no one asked for", "IF00014070000;", &ChaosCounts::unexpected, true},
      {"no answer in time", "", &ChaosCounts::lost, false},
  };
  for (const SortCase& c : cases) {
    SCOPED_TRACE(c.what);
    ClientLine bridge_end = ClientLine::NewPair();
    ChaosClient client("A", bridge_end.path(), {{"FA;", "FA14070000;"}, {"MD0;", "MD02;"}},
                       {"FA07030000;", "MD13;"}, milliseconds(300));
    ASSERT_TRUE(client.Open());
    client.Step(0);
    ASSERT_EQ(ReadAll(bridge_end.fd(), 3, After(milliseconds(2000))), "FA;");
    ASSERT_TRUE(client.in_flight());
    ASSERT_EQ(::write(bridge_end.fd(), c.answer.data(), c.answer.size()),
              static_cast<ssize_t>(c.answer.size()));

    client.StopPolling();  // no next poll, so the figures stay those of this answer
    const ChaosCounts& n = client.counts();
    const Deadline deadline = After(milliseconds(2000));
    auto sorted = [&] {
      return n.answered + n.refused + n.lost + n.misrouted + n.extra + n.unexpected;
    };
    while (sorted() == 0 && BenchClock::now() < deadline) client.Step(0);
    EXPECT_EQ(sorted(), 1);
    EXPECT_EQ(n.*c.counted, 1);
    EXPECT_EQ(client.in_flight(), c.still_in_flight);
    EXPECT_EQ(n.sent, 1);
  }
}

}  // namespace
}  // namespace corvane
