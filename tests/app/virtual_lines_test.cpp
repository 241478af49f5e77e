// Client lines the real corvane binary makes itself (PORTA=pty:..., PORTB=pty:...): hamlib's
// rigctl on both links, a client that closes and reopens its end between commands, a reset
// while a client holds its end open, and no link left once SIGTERM has ended the program.
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

bool TraceShows(const ScratchDir& dir, const std::string& text, Deadline deadline) {
  while (ReadWholeFile(dir.File("Corvane.Log")).find(text) == std::string::npos) {
    if (MsLeft(deadline) == 0) return false;
    ::poll(nullptr, 0, 10);
  }
  return true;
}

std::string Ask(TtyPeer& client, const std::string& query) {
  client.Send(query);
  return client.ReceiveUntil(";", In(kAnswerTimeout));
}

// rigctl's output for commands on one link; rigctl must exit 0.
std::string Rigctl(const std::string& link, const std::vector<std::string>& commands) {
  std::vector<std::string> argv = {kRigctl, "-m", "1029", "-r", link, "-s", "38400"};
  argv.insert(argv.end(), commands.begin(), commands.end());
  ChildProcess rigctl(argv);
  EXPECT_EQ(rigctl.Wait(In(30s)), 0) << "rigctl stderr: " << rigctl.err();
  return rigctl.out();
}

TEST(VirtualLines, ServeClientsThroughReopensAndResetsAndLeaveNoLinkBehind) {
  if (!std::filesystem::exists(kRigctl)) GTEST_SKIP() << "rigctl is not installed";
  ScratchDir dir;
  const std::unique_ptr<ChildProcess> simrig = StartSimrig(dir.File("rig"));
  // Letter case as written: the links are made exactly so, not upper-cased.
  const std::string link_a = dir.File("Client-A"), link_b = dir.File("client-b");
  // A link an earlier run left behind, leading nowhere.
  std::filesystem::create_symlink("/dev/pts/999999", link_a);
  const std::string settings = "[SETTINGS]\nPORTA=pty:" + link_a + "\nPORTB=pty:" + link_b +
                               "\nPORTO=" + dir.File("rig") + "\nTRACE=YES\n";
  WriteWholeFile(dir.File("Corvane.INI"), settings);
  ChildProcess corvane(
      {"/bin/sh", "-c", "cd '" + dir.path() + "' && exec '" + kCorvane + "' --headless"});
  // Every line is open once start-up has gone past them.
  ASSERT_TRUE(TraceShows(dir, "System Menu initialization", In(5s))) << corvane.err();

  // rigctl opens and closes its end for each run.
  EXPECT_EQ(Rigctl(link_a, {"F", "14074000", "f"}), "14074000\n");
  EXPECT_EQ(Rigctl(link_b, {"f"}), "7000000\n");
  EXPECT_EQ(Rigctl(link_a, {"f"}), "14074000\n");

  // The transceiver goes silent while B waits: the watchdog resets the bridge, closing and
  // reopening all three ports, while B holds its end open.
  TtyPeer held(link_b);
  EXPECT_EQ(Ask(held, "FA;"), "FA07000000;");
  simrig->Signal(SIGSTOP);
  held.Send("FA;");
  ASSERT_TRUE(TraceShows(dir, "queue stuck", In(5s))) << corvane.err();
  simrig->Signal(SIGCONT);
  // The late answer to the given-up command goes nowhere; the held end is served.
  EXPECT_EQ(Ask(held, "FB;"), "FB14074000;");

  corvane.Signal(SIGTERM);
  EXPECT_EQ(corvane.Wait(In(10s)), 0) << corvane.err();
  for (const auto& link : {link_a, link_b}) {
    EXPECT_FALSE(std::filesystem::is_symlink(link)) << link;
  }
  EXPECT_EQ(ReadWholeFile(dir.File("Corvane.INI")).substr(0, settings.find("PORTO")),
            settings.substr(0, settings.find("PORTO")));
}

}  // namespace
}  // namespace corvane::test
