// The real corvane-simrig binary on real pseudo-terminals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "tests/support/child_process.h"
#include "tests/support/tty_peer.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::string kSimrig = CORVANE_BUILD_DIR "/tools/simrig/corvane-simrig";

// A running simrig and the path it printed.
struct Simrig {
  std::unique_ptr<ChildProcess> process;
  std::string path;
};

Simrig StartSimrig(std::vector<std::string> args = {}) {
  args.insert(args.begin(), kSimrig);
  Simrig rig{std::make_unique<ChildProcess>(args), {}};
  const auto line = rig.process->ReadLine(In(5s));
  EXPECT_TRUE(line) << "no path printed; stderr: " << rig.process->err();
  if (line) rig.path = *line;
  return rig;
}

fs::path ScratchDir() {
  const fs::path dir =
      fs::temp_directory_path() / ("simrig-test-" + std::to_string(getpid()) + "-" +
                                   testing::UnitTest::GetInstance()->current_test_info()->name());
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

TEST(SimrigProcess, AnswersQueriesOnThePrintedPath) {
  Simrig rig = StartSimrig();
  ASSERT_TRUE(rig.path.starts_with("/dev/pts/")) << rig.path;
  TtyPeer client(rig.path);
  client.Send("ID;FA;");
  EXPECT_EQ(client.ReceiveUntil("FA14070000;", In(5s)), "ID0251;FA14070000;");
  client.Send("FA14074000;MD0");
  client.Send("C;IF;");
  EXPECT_EQ(client.ReceiveUntil("00;", In(5s)), "IF00114074000+000000C00000;");
  client.Send("QQ;");
  EXPECT_EQ(client.ReceiveUntil("?;", In(5s)), "?;");
}

TEST(SimrigProcess, ClientMayCloseAndReopenWithStateKept) {
  Simrig rig = StartSimrig();
  {
    TtyPeer first(rig.path);
    first.Send("FB03573000;ID;");
    EXPECT_EQ(first.ReceiveUntil("ID0251;", In(5s)), "ID0251;");
  }
  TtyPeer second(rig.path);
  second.Send("FB;");
  EXPECT_EQ(second.ReceiveUntil("FB03573000;", In(5s)), "FB03573000;");
  EXPECT_FALSE(rig.process->Wait(In(0ms))) << "simrig ended when its client closed";
}

TEST(SimrigProcess, LinkReplacesAnOldOneAndIsRemovedAtExit) {
  const fs::path link = ScratchDir() / "rig";
  fs::create_symlink("/dev/null", link);
  Simrig rig = StartSimrig({"--link", link.string()});
  EXPECT_EQ(fs::read_symlink(link), rig.path);
  {
    TtyPeer client(link.string());
    client.Send("ID;");
    EXPECT_EQ(client.ReceiveUntil("ID0251;", In(5s)), "ID0251;");
  }
  rig.process->Signal(SIGTERM);
  EXPECT_EQ(rig.process->Wait(In(5s)), 0);
  EXPECT_FALSE(fs::is_symlink(link));
  fs::remove_all(link.parent_path());
}

TEST(SimrigProcess, InterruptEndsCleanly) {
  Simrig rig = StartSimrig();
  rig.process->Signal(SIGINT);
  EXPECT_EQ(rig.process->Wait(In(5s)), 0);
}

TEST(SimrigProcess, AutoInformationOptionReportsAChangeUnasked) {
  Simrig rig = StartSimrig({"--ai"});
  TtyPeer client(rig.path);
  client.Send("FA14074000;");
  EXPECT_EQ(client.ReceiveUntil("FA14074000;", In(5s)), "FA14074000;");
  client.Send("AI0;FA14075000;AI;");
  EXPECT_EQ(client.ReceiveUntil("AI0;", In(5s)), "AI0;");
}

TEST(SimrigProcess, DelayHoldsTheAnswerBack) {
  Simrig rig = StartSimrig({"--delay-ms", "300"});
  TtyPeer client(rig.path);
  const auto sent = std::chrono::steady_clock::now();
  client.Send("ID;");
  EXPECT_EQ(client.ReceiveUntil("ID0251;", In(5s)), "ID0251;");
  EXPECT_GE(std::chrono::steady_clock::now() - sent, 300ms);
}

TEST(SimrigProcess, VerboseLogsTheTraffic) {
  Simrig rig = StartSimrig({"--verbose"});
  {
    TtyPeer client(rig.path);
    client.Send("ID;");
    EXPECT_EQ(client.ReceiveUntil("ID0251;", In(5s)), "ID0251;");
  }
  rig.process->Signal(SIGTERM);
  ASSERT_EQ(rig.process->Wait(In(5s)), 0);
  EXPECT_NE(rig.process->err().find("simrig <- ID;\n"), std::string::npos) << rig.process->err();
  EXPECT_NE(rig.process->err().find("simrig -> ID0251;\n"), std::string::npos);
}

TEST(SimrigProcess, ServesAGivenDeviceAndEndsWhenItGoesAway) {
  int master = -1;
  int slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  // simrig must not inherit the master, or it would keep its own line alive.
  ASSERT_EQ(fcntl(master, F_SETFD, FD_CLOEXEC), 0);
  ASSERT_EQ(fcntl(slave, F_SETFD, FD_CLOEXEC), 0);
  TtyPeer line = TtyPeer::Adopt(master);
  const std::string slave_path = ttyname(slave);
  Simrig rig = StartSimrig({"--device", slave_path});
  // Only simrig holds the slave now, so closing the master hangs its line up.
  ::close(slave);
  EXPECT_EQ(rig.path, slave_path);
  line.Send("ID;FB;");
  EXPECT_EQ(line.ReceiveUntil("FB07000000;", In(5s)), "ID0251;FB07000000;");
  line.Close();
  EXPECT_EQ(rig.process->Wait(In(5s)), 0);
}

TEST(SimrigProcess, BadCommandLinesAndMissingDevicesFail) {
  Simrig bad{std::make_unique<ChildProcess>(std::vector<std::string>{kSimrig, "--bogus"}), {}};
  EXPECT_EQ(bad.process->Wait(In(5s)), 2);
  EXPECT_NE(bad.process->err().find("unknown argument '--bogus'"), std::string::npos);

  ChildProcess missing({kSimrig, "--device", "/dev/corvane-no-such-tty"});
  EXPECT_EQ(missing.Wait(In(5s)), 1);
  EXPECT_NE(missing.err().find("/dev/corvane-no-such-tty"), std::string::npos);
  EXPECT_TRUE(missing.out().empty());
}

}  // namespace
}  // namespace corvane::test
