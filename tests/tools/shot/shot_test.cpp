#include <gtest/gtest.h>
#include <stdlib.h>

#include <QImage>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/shot/render.h"
#include "tools/shot/shot_table.h"

namespace {

class ShotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-shot-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), "corvane-shot");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    return corvane::shot::RunShot(static_cast<int>(argv.size()), argv.data());
  }

  std::filesystem::path dir;
};

TEST_F(ShotTest, EveryEntryRendersAPngOfItsWidgetsSize) {
  ASSERT_NE(corvane::shot::FindShot("led"), nullptr);
  ASSERT_NE(corvane::shot::FindShot("about"), nullptr);
  for (const corvane::shot::ShotEntry& entry : corvane::shot::Shots()) {
    SCOPED_TRACE(entry.name);
    const QSize size = entry.make()->size();
    ASSERT_FALSE(size.isEmpty());
    for (int scale : {1, 3}) {
      const std::string out = (dir / (entry.name + std::to_string(scale) + ".png")).string();
      std::vector<std::string> args = {entry.name, out};
      if (scale != 1) args.insert(args.begin(), {"--scale", std::to_string(scale)});
      ASSERT_EQ(Run(args), 0);
      const QImage image(QString::fromStdString(out));
      EXPECT_EQ(image.size(), size * scale);
    }
  }
}

TEST_F(ShotTest, AboutShotIsTheBoxAtItsFixedSize) {
  EXPECT_EQ(corvane::shot::FindShot("about")->make()->size(), QSize(296, 182));
}

TEST_F(ShotTest, BadCommandLinesFailWithoutWriting) {
  const std::string out = (dir / "x.png").string();
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"led"},
      {"window-that-does-not-exist", out},
      {"--scale", "0", "led", out},
      {"--scale", "many", "led", out},
      {"led", out, "extra"},
  };
  for (const auto& args : cases) EXPECT_EQ(Run(args), 2);
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(Run({"led", (dir / "missing" / "x.png").string()}), 1);
}

}  // namespace
