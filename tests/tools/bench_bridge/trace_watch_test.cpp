#include "tools/bench_bridge/trace_watch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace corvane {
namespace {

void Append(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

// The trace grows while it is read: a line is counted once, when it is whole, and under the
// transceiver's state at that look.
TEST(TraceWatch, CountsStuckQueueLinesAsTheyAreWritten) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("trace-watch-" + std::to_string(::getpid())))
          .string();
  std::filesystem::remove(path);
  TraceWatch watch(path);
  watch.Look(true, 0);  // no file yet
  const std::string stuck =
      "08.12.26 11:00:01 <getQueue> *WARNING* (2) commands unanswered, queue stuck, first "
      "(FA;) from Port A\r\n";
  Append(path,
         "08.12.26 11:00:00 <getQueue> *WARNING* (1) commands unanswered, waited too "
         "long, first (MD0;) from Port A\r\n" +
             stuck.substr(0, 40));
  watch.Look(true, 1);
  EXPECT_EQ(watch.resets_while_answering() + watch.resets_while_down(), 0);
  Append(path, stuck.substr(40));
  watch.Look(false, 2);
  Append(path, stuck);
  watch.Look(true, 3);
  EXPECT_EQ(watch.resets_while_down(), 1);
  EXPECT_EQ(watch.resets_while_answering(), 1);
  EXPECT_EQ(watch.lines(), 3);
  EXPECT_EQ(watch.Size(), std::filesystem::file_size(path));
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace corvane
