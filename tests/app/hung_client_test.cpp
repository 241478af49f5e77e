// A client that keeps asking but never reads its line, through the real corvane binary: the
// other client is served as fast as without it, and the hung client's line carries only whole
// answers, every one it does not get counted in the trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>

#include "tests/app/client_traffic.h"
#include "tests/app/corvane_process.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;
using std::chrono::microseconds;

// The 95th percentile: a hung line that held the other client up would slow most of its
// polls, where a stall of the machine under test slows a few of either bridge's.
microseconds P95(std::vector<microseconds> samples) {
  if (samples.empty()) return microseconds::max();
  std::sort(samples.begin(), samples.end());
  return samples[(samples.size() * 95 + 99) / 100 - 1];
}

// The last count the trace gives of the answers dropped for port B.
std::size_t DroppedForB(const std::string& trace) {
  const std::size_t line = trace.rfind("Port B is not reading");
  const std::string count = "dropped, (";
  const std::size_t at = trace.find(count, line == std::string::npos ? trace.size() : line);
  return at == std::string::npos ? 0 : std::stoul(trace.substr(at + count.size(), 20));
}

// The trace without its lines about dropped answers, which can number thousands.
std::string TraceBesidesDrops(const std::string& trace) {
  std::string kept;
  for (std::size_t at = 0, end; at < trace.size(); at = end + 1) {
    end = std::min(trace.find('\n', at), trace.size());
    if (trace.find("dropped so far", at) > end) kept += trace.substr(at, end + 1 - at);
  }
  return kept;
}

double Ms(microseconds t) {
  return static_cast<double>(t.count()) / 1000.0;
}

TEST(HungClient, TheOtherClientIsServedAsFastAsWithoutItAndTheHungLineCarriesWholeAnswers) {
  // Two bridges side by side, alike but for B reading its line on one and not on the
  // other, so that whatever else runs on the machine, and B's own traffic through the
  // transceiver and the trace, weighs on both of A's round trips alike.
  CorvaneRig clean_rig, rig;
  clean_rig.Start();
  rig.Start();
  const TrafficClient b_hung{&rig.b, /*reads=*/false};
  // B asks as fast as a real line would carry the answers, until its line is full and
  // answers are dropped; then it goes on asking every 20 ms while A polls on both bridges.
  const ClientTraffic filling = RunTraffic({b_hung}, {{0, 3ms, Repeat("FA;"), true}}, 8s)[0];
  ASSERT_GT(DroppedForB(rig.Trace()), 0u) << "B's line never filled";
  const std::vector<ClientTraffic> traffic =
      RunTraffic({&clean_rig.a, &rig.a, b_hung, &clean_rig.b},
                 {{0, 50ms, Repeat("FA;"), true},
                  {1, 50ms, Repeat("FA;"), true},
                  {2, 20ms, Repeat("FA;"), true},
                  {3, 20ms, Repeat("FA;"), true}},
                 10s);
  const ClientTraffic& clean = traffic[0];
  const ClientTraffic& a = traffic[1];
  const microseconds clean_p95 = P95(clean.round_trips), hung_p95 = P95(a.round_trips);
  std::printf("  A without a hung client: %zu polls, %zu answers, p95 %.2f ms\n", clean.queries,
              clean.answers.size(), Ms(clean_p95));
  std::printf("  A beside hung B: %zu polls, %zu answers, p95 %.2f ms\n", a.queries,
              a.answers.size(), Ms(hung_p95));
  EXPECT_EQ(clean.answers.size(), clean.queries);
  EXPECT_EQ(a.answers.size(), a.queries);
  EXPECT_LE(hung_p95, clean_p95 + 5ms);

  // B reads from now on: its whole stream, what was stuck in the pty included, splits into
  // whole answers, and each of its queries was either answered or counted as dropped.
  const std::size_t b_queries = filling.queries + traffic[2].queries;
  std::vector<ClientTraffic> b(1);
  std::size_t dropped = DroppedForB(rig.Trace());
  for (const Deadline drained = In(3s);
       b[0].answers.size() + dropped < b_queries && MsLeft(drained) > 0;
       dropped = DroppedForB(rig.Trace())) {
    Listen({&rig.b}, b, std::min(drained, In(100ms)));
  }
  const std::regex whole("F[AB]\\d{8};");
  const auto misshapen =
      std::count_if(b[0].answers.begin(), b[0].answers.end(),
                    [&](const std::string& s) { return !std::regex_match(s, whole); });
  std::printf("  B: %zu queries (%zu bytes of answers offered), %zu answers read, %zu dropped\n",
              b_queries, b_queries * std::string("FA07000000;").size(), b[0].answers.size(),
              dropped);
  EXPECT_EQ(b[0].answers.size() + dropped, b_queries) << TraceBesidesDrops(rig.Trace());
  EXPECT_EQ(misshapen, 0);
  EXPECT_EQ(b[0].partial, "") << "B got part of an answer";
  // Thousands of answers dropped in some 20 s: the trace counts them, a line a second.
  const std::size_t drop_lines = Occurrences(rig.Trace(), "Port B is not reading");
  std::printf("  trace lines about B's dropped answers: %zu\n", drop_lines);
  EXPECT_LE(drop_lines, 25u);
}

}  // namespace
}  // namespace corvane::test
