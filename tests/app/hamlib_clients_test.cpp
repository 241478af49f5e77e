// hamlib's FT-2000 clients sharing the transceiver through the real corvane binary on lines it
// makes itself: a client following the transceiver's reports while hamlib starts and stops on
// the other line, and hamlib's network daemon and command-line client polling through a
// transceiver that refuses reads.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "tests/app/corvane_process.h"
#include "tests/app/tcp_client.h"
#include "tests/support/tty_peer.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kRigctl = "/usr/bin/rigctl";
const std::string kRigctld = "/usr/bin/rigctld";

// The simulated transceiver (with extra arguments) and corvane with pty: lines for both clients.
class HamlibClients : public testing::Test {
 protected:
  void Start(const std::vector<std::string>& simrig_args) {
    simrig_ = StartSimrig(dir_.File("rig"), simrig_args);
    WriteWholeFile(dir_.File("Corvane.INI"), "[SETTINGS]\nPORTA=pty:" + link_a_ + "\nPORTB=pty:" +
                                                 link_b_ + "\nPORTO=" + dir_.File("rig") +
                                                 "\nTRACE=YES\n");
    corvane_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        "/bin/sh", "-c", "cd '" + dir_.path() + "' && exec '" + kCorvane + "' --headless"});
    const Deadline up = In(5s);
    while (Trace().find("System Menu initialization") == std::string::npos) {
      ASSERT_GT(MsLeft(up), 0) << corvane_->err();
      ::poll(nullptr, 0, 10);
    }
  }
  std::string Trace() const { return ReadWholeFile(dir_.File("Corvane.Log")); }

  ScratchDir dir_;
  const std::string link_a_ = dir_.File("client-a"), link_b_ = dir_.File("client-b");
  std::unique_ptr<ChildProcess> simrig_, corvane_;
};

// rigctl's output; it must exit 0.
std::string Rigctl(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {kRigctl};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess rigctl(argv);
  EXPECT_EQ(rigctl.Wait(In(30s)), 0) << "rigctl stderr: " << rigctl.err();
  return rigctl.out();
}

TEST_F(HamlibClients, ReportsKeepComingToTheClientThatWantsThemWhileHamlibComesAndGoes) {
  if (!std::filesystem::exists(kRigctl)) GTEST_SKIP() << "rigctl is not installed";
  Start({"--report-every", "200"});
  TtyPeer a(link_a_);
  a.Send("AI1;");
  std::atomic<bool> stop{false};
  std::vector<Clock::time_point> arrivals;
  std::string reports, partial;
  std::thread listen([&] {
    while (!stop) {
      partial += a.ReceiveUntil(";", In(50ms));
      for (size_t semi; (semi = partial.find(';')) != std::string::npos;) {
        reports += partial.substr(0, semi + 1);
        partial.erase(0, semi + 1);
        arrivals.push_back(Clock::now());
      }
    }
  });
  const Clock::time_point start = Clock::now();
  // hamlib turns auto-information off when it opens and restores it when it closes: on its
  // own line only. B's VFO A is the transceiver's VFO B.
  for (int run = 0; run < 5; ++run)
    EXPECT_EQ(Rigctl({"-m", "1029", "-r", link_b_, "-s", "38400", "f"}), "7000000\n") << run;
  TtyPeer b(link_b_);
  EXPECT_EQ(b.ReceiveUntil(";", In(1s)), "") << "B never asked for reports";
  const Clock::time_point end = Clock::now();
  stop = true;
  listen.join();

  ASSERT_FALSE(arrivals.empty());
  Clock::duration longest = arrivals.front() - start;
  for (size_t i = 1; i < arrivals.size(); ++i) longest = std::max(longest, arrivals[i] - arrivals[i - 1]);
  longest = std::max(longest, end - arrivals.back());
  const auto longest_ms = std::chrono::duration_cast<std::chrono::milliseconds>(longest).count();
  std::printf("  A: %zu reports in %.1f s, longest gap %lld ms\n", arrivals.size(),
              std::chrono::duration<double>(end - start).count(), static_cast<long long>(longest_ms));
  EXPECT_LE(longest_ms, 1000);
  EXPECT_EQ(reports.size(), arrivals.size() * std::string("FA14070000;").size()) << reports;
  EXPECT_EQ(Occurrences(Trace(), "(AI0;)"), 0u) << "the transceiver was told to stop reporting";
}

bool AwaitListener(uint16_t port, Deadline deadline) {
  for (;;) {
    if (ConnectTcp(port).fd() >= 0) return true;
    if (MsLeft(deadline) == 0) return false;
    ::poll(nullptr, 0, 20);
  }
}

TEST_F(HamlibClients, EveryReadBackIsRightThroughATransceiverThatRefusesReads) {
  if (!std::filesystem::exists(kRigctl) || !std::filesystem::exists(kRigctld)) {
    GTEST_SKIP() << "rigctl or rigctld is not installed";
  }
  Start({"--refuse", "7"});
  const uint16_t port = FreeTcpPort();
  const std::string address = "127.0.0.1:" + std::to_string(port);
  ChildProcess rigctld({kRigctld, "-m", "1029", "-r", link_a_, "-s", "38400", "-T", "127.0.0.1",
                        "-t", std::to_string(port)});
  // rigctld through its network client on A tunes VFO A; rigctl on B keeps reading its own VFO.
  std::atomic<bool> stop{false};
  int b_runs = 0;
  std::thread b_side([&] {
    while (!stop) {
      EXPECT_EQ(Rigctl({"-m", "1029", "-r", link_b_, "-s", "38400", "f"}), "7000000\n") << b_runs;
      ++b_runs;
    }
  });
  ASSERT_TRUE(AwaitListener(port, In(10s))) << rigctld.err();
  int a_runs = 0;
  // Long enough for hundreds of read-backs on each side, with refusals among them.
  const Clock::time_point end = Clock::now() + 20s;
  while (Clock::now() < end) {
    const std::string hz = std::to_string(14'000'000 + 1'000 * (a_runs % 300));
    EXPECT_EQ(Rigctl({"-m", "2", "-r", address, "F", hz, "f"}), hz + "\n") << a_runs;
    ++a_runs;
  }
  stop = true;
  b_side.join();
  std::printf("  A tuned and read back %d times through rigctld, B read its VFO %d times\n", a_runs,
              b_runs);
  EXPECT_GT(a_runs, 10);
  EXPECT_GT(b_runs, 10);
}

}  // namespace
}  // namespace corvane::test
