// Lines a lasting fault repeats: one a second per kind and port, standing for all of them.
#include "log/repeated_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

TEST(RepeatedLines, EachKindAndPortWritesAtMostOneLineASecondCarryingItsCount) {
  int64_t now = 0;
  std::vector<std::string> written;
  RepeatedLines lines([&] { return now; },
                      [&](const std::string& line) { written.push_back(line); });
  const auto add = [&](const std::string& kind, size_t port, const std::string& what) {
    lines.Add(kind, port, [=](uint64_t n) {
      return kind + " " + std::to_string(port) + " " + what + " (" + std::to_string(n) + ")";
    });
  };
  // A flood on port 0: the first at once, the next 999 counted; another port and another
  // kind are not held back by it.
  for (int i = 0; i < 1000; ++i) add("full", 0, "#" + std::to_string(i));
  add("full", 1, "#0");
  add("gone", 0, "#0");
  EXPECT_TRUE(lines.Pending());
  now = 999;
  lines.Flush();
  EXPECT_EQ(written.size(), 3u);
  // A second after the first: the count goes out with the latest line, once.
  now = 1000;
  lines.Flush();
  lines.Flush();
  EXPECT_FALSE(lines.Pending());
  // Quiet for a second: the next occurrence is written at once again; the end of the run
  // writes what is still counted.
  now = 2500;
  lines.Flush();
  add("full", 0, "#1000");
  add("full", 0, "#1001");
  lines.FlushAll();
  const std::vector<std::string> expected = {"full 0 #0 (1)",    "full 1 #0 (1)",
                                             "gone 0 #0 (1)",    "full 0 #999 (999)",
                                             "full 0 #1000 (1)", "full 0 #1001 (1)"};
  EXPECT_EQ(written, expected);
}

}  // namespace
}  // namespace corvane
