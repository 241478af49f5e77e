// The hamlib FT-2000 client (rigctl, model 1029) against the real corvane-simrig.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "tests/support/child_process.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

const std::string kSimrig = CORVANE_BUILD_DIR "/tools/simrig/corvane-simrig";
const std::string kRigctl = "/usr/bin/rigctl";

class Rigctl : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kRigctl)) GTEST_SKIP() << kRigctl << " is not installed";
    simrig_ = std::make_unique<ChildProcess>(std::vector<std::string>{kSimrig, "--verbose"});
    const auto line = simrig_->ReadLine(In(5s));
    ASSERT_TRUE(line) << simrig_->err();
    path_ = *line;
  }

  // rigctl's stdout for one command; fails the test if rigctl does not exit 0.
  std::string Run(const std::vector<std::string>& command) {
    std::vector<std::string> argv = {kRigctl, "-m", "1029", "-r", path_, "-s", "38400"};
    argv.insert(argv.end(), command.begin(), command.end());
    ChildProcess rigctl(argv);
    const auto status = rigctl.Wait(In(20s));
    EXPECT_EQ(status, 0) << "rigctl stderr: " << rigctl.err();
    EXPECT_EQ(rigctl.err().find("rror"), std::string::npos) << rigctl.err();
    return rigctl.out();
  }

  std::unique_ptr<ChildProcess> simrig_;
  std::string path_;
};

TEST_F(Rigctl, ReadsAndSetsTheFrequency) {
  EXPECT_EQ(Run({"f"}), "14070000\n");
  EXPECT_EQ(Run({"F", "14074000"}), "");
  EXPECT_EQ(Run({"f"}), "14074000\n");
}

TEST_F(Rigctl, ReadsAndSetsTheMode) {
  EXPECT_EQ(Run({"m"}), "USB\n2400\n");
  EXPECT_EQ(Run({"M", "PKTUSB", "500"}), "");
  EXPECT_EQ(Run({"m"}), "PKTUSB\n500\n");
  EXPECT_EQ(Run({"M", "USB", "2400"}), "");
  EXPECT_EQ(Run({"m"}), "USB\n2400\n");
}

TEST_F(Rigctl, ReadsAndSelectsTheVfo) {
  EXPECT_EQ(Run({"v"}), "VFOA\n");
  EXPECT_EQ(Run({"V", "VFOB"}), "");
  EXPECT_EQ(Run({"v"}), "VFOB\n");
}

TEST_F(Rigctl, EveryCommandItSendsIsKnown) {
  Run({"f"});
  Run({"M", "CW", "500"});
  Run({"t"});
  simrig_->Signal(SIGTERM);
  ASSERT_EQ(simrig_->Wait(In(5s)), 0);
  EXPECT_NE(simrig_->err().find("simrig <- MD03;"), std::string::npos) << simrig_->err();
  EXPECT_EQ(simrig_->err().find("simrig -> ?;"), std::string::npos) << simrig_->err();
}

}  // namespace
}  // namespace corvane::test
