// hamlib's FT-2000 client (rigctl, model 1029) on port A and on port B, through the real
// corvane binary, to the simulated transceiver.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

#include <filesystem>

#include "tests/app/corvane_process.h"
#include "tests/support/tty_peer.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

const std::string kRigctl = "/usr/bin/rigctl";
const std::string kSocat = "/usr/bin/socat";

class RigctlThroughCorvane : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kRigctl) || !std::filesystem::exists(kSocat)) {
      GTEST_SKIP() << "rigctl or socat is not installed";
    }
    simrig_ = std::make_unique<ChildProcess>(std::vector<std::string>{kSimrig});
    const auto rig = simrig_->ReadLine(In(5s));
    ASSERT_TRUE(rig) << simrig_->err();
    // A null-modem pair per client: corvane opens portX, rigctl opens client-X.
    for (const char* side : {"a", "b"}) {
      nulls_.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{
          kSocat, "pty,raw,echo=0,link=" + dir_.File(std::string("port") + side),
          "pty,raw,echo=0,link=" + dir_.File(std::string("client-") + side)}));
    }
    const Deadline links = In(5s);
    while (!std::filesystem::exists(dir_.File("client-a")) ||
           !std::filesystem::exists(dir_.File("client-b"))) {
      ASSERT_GT(MsLeft(links), 0) << "socat made no ptys";
      poll(nullptr, 0, 10);
    }
    WriteWholeFile(dir_.File("Corvane.INI"), "[SETTINGS]\nPORTA=" + dir_.File("porta") +
                                                 "\nPORTB=" + dir_.File("portb") +
                                                 "\nPORTO=" + *rig + "\nTRACE=NOT\n");
    corvane_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        "/bin/sh", "-c", "cd '" + dir_.path() + "' && exec '" + kCorvane + "' --headless"});
    // Up once a query on port A is answered.
    TtyPeer probe(dir_.File("client-a"));
    std::string answer;
    for (int attempt = 0; attempt < 10 && answer != "ID0251;"; ++attempt) {
      probe.Send("ID;");
      answer = probe.ReceiveUntil(";", In(1s));
    }
    ASSERT_EQ(answer, "ID0251;") << corvane_->err();
  }

  // rigctl's output for commands on one client's line; rigctl must exit 0.
  std::string Rigctl(const char* side, const std::vector<std::string>& commands) {
    std::vector<std::string> argv = {
        kRigctl, "-m", "1029", "-r", dir_.File(std::string("client-") + side), "-s", "38400"};
    argv.insert(argv.end(), commands.begin(), commands.end());
    ChildProcess rigctl(argv);
    EXPECT_EQ(rigctl.Wait(In(30s)), 0) << "rigctl stderr: " << rigctl.err();
    return rigctl.out();
  }

  ScratchDir dir_;
  std::unique_ptr<ChildProcess> simrig_;
  std::vector<std::unique_ptr<ChildProcess>> nulls_;
  std::unique_ptr<ChildProcess> corvane_;
};

TEST_F(RigctlThroughCorvane, BothClientsGetAndSetFrequencyAndModeWithBSeeingTheVfosSwapped) {
  EXPECT_EQ(Rigctl("a", {"F", "14074000", "f"}), "14074000\n");
  // B's VFO A is the transceiver's VFO B, which A has not touched.
  EXPECT_EQ(Rigctl("b", {"f"}), "7000000\n");
  EXPECT_EQ(Rigctl("b", {"F", "7074000", "f"}), "7074000\n");
  EXPECT_EQ(Rigctl("a", {"f"}), "14074000\n");
  EXPECT_EQ(Rigctl("a", {"M", "CW", "500", "m"}), "CW\n500\n");
  EXPECT_EQ(Rigctl("b", {"m"}), "CW\n500\n");
}

}  // namespace
}  // namespace corvane::test
