#include "log/log.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <regex>
#include <vector>

#include "rt/local_time.h"
#include "temp_dir.h"

namespace {

// Lines written under the "C" locale: "mm/dd/yy HH:MM:SS text" and a line feed.
const std::regex kStampedLine(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d (.*))");

std::vector<std::string> TextsOf(const std::string& content) {
  std::vector<std::string> texts;
  std::size_t start = 0;
  while (start < content.size()) {
    const std::size_t end = content.find('\n', start);
    if (end == std::string::npos) {
      texts.push_back("<unterminated>" + content.substr(start));
      break;
    }
    const std::string line = content.substr(start, end - start);
    std::smatch match;
    texts.push_back(std::regex_match(line, match, kStampedLine) ? match[1].str()
                                                                : "<unstamped>" + line);
    start = end + 1;
  }
  return texts;
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("LC_ALL", "C", 1);
    log.SetFileName(dir.File("Corvane.Log"));
  }
  std::string Content() const { return ReadFile(log.FileName()); }

  TempDir dir;
  TLog log;
};

TEST_F(LogTest, NewLogIsInactiveWithLevelZeroAndNoFile) {
  TLog fresh;
  EXPECT_FALSE(fresh.Active());
  EXPECT_EQ(fresh.Level(), 0u);
  EXPECT_EQ(fresh.FileName(), "");
}

TEST_F(LogTest, LevelFiltersWithUnsignedComparison) {
  struct Case {
    std::uint32_t level;
    std::uint8_t msgLevel;
    bool written;
  };
  const Case cases[] = {
      {1, 2, false}, {1, 1, true},    {1, 0, true},     {0, 0, true},
      {0, 1, false}, {0, 255, false}, {255, 255, true}, {0xFFFFFFFFu, 255, true},
      {2, 3, false}, {2, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("level " + std::to_string(c.level) + " line " + std::to_string(c.msgLevel));
    log.SetLevel(c.level);
    log.SetActive(true);
    ASSERT_TRUE(log.Active());
    log.WriteLine(c.msgLevel, "probe");
    EXPECT_EQ(TextsOf(Content()),
              c.written ? std::vector<std::string>{"probe"} : std::vector<std::string>{});
  }
}

TEST_F(LogTest, InactiveLogWritesNothingAtAnyLevel) {
  log.SetLevel(255);
  for (int msgLevel : {0, 1, 2, 255}) log.WriteLine(static_cast<std::uint8_t>(msgLevel), "lost");
  EXPECT_FALSE(std::filesystem::exists(log.FileName()));

  log.SetActive(true);
  log.WriteLine(0, "kept");
  log.SetActive(false);
  log.WriteLine(0, "lost");
  EXPECT_EQ(TextsOf(Content()), std::vector<std::string>{"kept"});
}

TEST_F(LogTest, ActivationEmptiesAnExistingFile) {
  WriteFile(log.FileName(), "old trace\nfrom last run\n");
  log.SetActive(true);
  EXPECT_TRUE(log.Active());
  EXPECT_EQ(Content(), "");

  log.SetLevel(1);
  log.WriteLine(1, "first");
  log.WriteLine(2, "filtered");
  log.WriteLine(1, "second");
  EXPECT_EQ(TextsOf(Content()), (std::vector<std::string>{"first", "second"}));

  log.SetActive(true);
  EXPECT_EQ(Content(), "");
}

TEST_F(LogTest, FileDeletedWhileActiveIsRecreatedWithTheNextLine) {
  log.SetActive(true);
  log.WriteLine(0, "before");
  ASSERT_TRUE(std::filesystem::remove(log.FileName()));
  log.WriteLine(0, "after");
  EXPECT_TRUE(log.Active());
  EXPECT_EQ(TextsOf(Content()), std::vector<std::string>{"after"});
}

TEST_F(LogTest, MissingDirectoryLeavesTheLogInactiveWithoutError) {
  log.SetFileName(dir.File("no-such-dir/Corvane.Log"));
  EXPECT_NO_THROW(log.SetActive(true));
  EXPECT_FALSE(log.Active());
  EXPECT_NO_THROW(log.WriteLine(0, "lost"));
  EXPECT_FALSE(std::filesystem::exists(log.FileName()));
}

TEST_F(LogTest, EmptyFileNameLeavesTheLogInactive) {
  log.SetFileName("");
  log.SetActive(true);
  EXPECT_FALSE(log.Active());
}

TEST_F(LogTest, FailingWriteLosesTheLineButKeepsTheLogActive) {
  log.SetActive(true);
  // A directory where the file was: the append open fails, and must not raise.
  ASSERT_TRUE(std::filesystem::remove(log.FileName()));
  std::filesystem::create_directory(log.FileName());
  EXPECT_NO_THROW(log.WriteLine(0, "lost"));
  EXPECT_TRUE(log.Active());
  std::filesystem::remove(log.FileName());
  log.WriteLine(0, "found");
  EXPECT_EQ(TextsOf(Content()), std::vector<std::string>{"found"});
}

TEST_F(LogTest, BackUpKeepsOneGenerationOfThePreviousFile) {
  const std::string backup = log.FileName() + ".1";
  // Nothing to back up: an older backup stays as it was.
  WriteFile(backup, "older run\n");
  log.BackUpFile();
  EXPECT_EQ(ReadFile(backup), "older run\n");

  log.SetActive(true);
  log.WriteLine(0, "previous run");
  log.BackUpFile();
  log.SetActive(true);
  log.WriteLine(0, "this run");
  EXPECT_EQ(TextsOf(ReadFile(backup)), std::vector<std::string>{"previous run"});
  EXPECT_EQ(TextsOf(Content()), std::vector<std::string>{"this run"});
}

TEST_F(LogTest, LineIsDateBlankTimeBlankTextAndLineFeedWithUnprintableBytesEscaped) {
  log.SetActive(true);
  const char bytes[] = "FA; ~\0bin\tary\r\n\x7f\x80\xff\\";
  const std::string text(bytes, sizeof bytes - 1);
  const std::tm before = corvane::LocalNow();
  log.WriteLine(0, text);
  const std::tm after = corvane::LocalNow();

  const auto stamped = [&](const std::tm& t) {
    return corvane::ShortDateText(t) + " " + corvane::LongTimeText(t) + " " +
           R"(FA; ~\x00bin\x09ary\x0D\x0A\x7F\x80\xFF\)" + "\n";
  };
  const std::string content = Content();
  EXPECT_TRUE(content == stamped(before) || content == stamped(after)) << content;
  ASSERT_GE(content.size(), 18u);
  EXPECT_EQ(content[8], ' ');
  EXPECT_EQ(content[17], ' ');
}

}  // namespace
