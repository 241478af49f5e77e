#include "rt/file_io.h"

#include <gtest/gtest.h>

#include "tests/log/temp_dir.h"

namespace corvane {
namespace {

TEST(FileIo, MoveFileOverReplacesTheTargetAndAMissingSourceChangesNothing) {
  TempDir dir;
  const std::string trace = dir.File("Corvane.LOG");
  const std::string backup = trace + ".1";
  ASSERT_TRUE(WriteWholeFile(backup, "older run\n"));
  ASSERT_TRUE(WriteWholeFile(trace, "previous run\n"));
  EXPECT_TRUE(MoveFileOver(trace, backup));
  EXPECT_EQ(ReadWholeFile(backup), "previous run\n");
  EXPECT_EQ(ReadWholeFile(trace), "") << "the source's name is free";

  EXPECT_FALSE(MoveFileOver(trace, backup));
  EXPECT_EQ(ReadWholeFile(backup), "previous run\n");
}

}  // namespace
}  // namespace corvane
