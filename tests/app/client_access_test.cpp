// What each port may ask of the shared transceiver, through the real corvane binary: a
// read-only port, a port that may not transmit, and a transmitter unkeyed when the client that
// keyed it goes away.
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <filesystem>

#include "tests/app/corvane_process.h"
#include "tests/app/tcp_client.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

class ClientAccess : public testing::Test {
 protected:
  void Start(const std::string& port_a, const std::string& settings, std::string port_b = "") {
    if (port_b.empty()) port_b = rig_.port_b;
    WriteWholeFile(rig_.dir.File("Corvane.INI"), "[SETTINGS]\nPORTA=" + port_a + "\nPORTB=" +
                                                     port_b + "\nPORTO=" + rig_.rig_path +
                                                     "\nTRACE=YES\n" + settings);
    rig_.Launch();
  }
  CorvaneRig rig_;
};

TEST_F(ClientAccess, AReadOnlyPortIsRefusedEverythingButReadsAndTheTransceiverNeverHearsIt) {
  Start(rig_.port_a, "ACCESSB=read\n");
  // B sees the VFOs exchanged: its FB is the transceiver's VFO A.
  ASSERT_EQ(CorvaneRig::Ask(rig_.b, "FB;"), "FB14070000;") << rig_.corvane->err();
  EXPECT_EQ(CorvaneRig::Ask(rig_.b, "FA14250000;"), "?;");
  EXPECT_EQ(CorvaneRig::Ask(rig_.b, "TX1;"), "?;");
  EXPECT_EQ(CorvaneRig::Ask(rig_.b, "AI1;AI;"), "AI1;");  // its own reports it may ask for
  EXPECT_EQ(CorvaneRig::Ask(rig_.b, "FA;"), "FA07000000;");
  // The transceiver heard neither: its VFO B is where it was, and it does not transmit.
  EXPECT_EQ(CorvaneRig::Ask(rig_.a, "FB;"), "FB07000000;");
  EXPECT_EQ(CorvaneRig::Ask(rig_.a, "TX;"), "TX0;");
  const std::string trace = rig_.Trace();
  EXPECT_NE(trace.find("ACCESSB=read"), std::string::npos);
  EXPECT_NE(trace.find("Port B command (TX1;) refused, access READ"), std::string::npos) << trace;
}

TEST_F(ClientAccess, ATransmitterKeyedOverTcpIsUnkeyedWhenTheConnectionCloses) {
  const uint16_t port = FreeTcpPort();
  Start("tcp:127.0.0.1:" + std::to_string(port), "");
  ASSERT_TRUE(AwaitTcpRouting(port, In(10s))) << rig_.corvane->err();
  {
    TtyPeer keyer = ConnectTcp(port);
    keyer.Send("TX1;TX;");
    ASSERT_EQ(keyer.ReceiveUntil("TX1;", In(kAnswerTimeout)), "TX1;");
    // Another port's key-down is refused while A holds the transmitter.
    EXPECT_EQ(CorvaneRig::Ask(rig_.b, "TX2;"), "?;");
  }
  const auto closed = std::chrono::steady_clock::now();
  std::string state;
  while (state != "TX0;" && std::chrono::steady_clock::now() - closed < 3s) {
    state = CorvaneRig::Ask(rig_.b, "TX;");
  }
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - closed);
  std::printf("  unkeyed %lld ms after the keying connection closed\n",
              static_cast<long long>(took.count()));
  EXPECT_EQ(state, "TX0;");
  EXPECT_LT(took, 1s);
}

TEST_F(ClientAccess, HamlibKeyingAPortThatMayNotTransmitEndsAndTheRadioNeverTransmits) {
  const std::string rigctl = "/usr/bin/rigctl";
  if (!std::filesystem::exists(rigctl)) GTEST_SKIP() << "rigctl is not installed";
  const std::string link_b = rig_.dir.File("client-b");
  Start(rig_.port_a, "ACCESSB=NOTX\n", "pty:" + link_b);
  ASSERT_EQ(CorvaneRig::Ask(rig_.a, "ID;"), "ID0251;") << rig_.corvane->err();
  ChildProcess keying({rigctl, "-m", "1029", "-r", link_b, "-s", "38400", "T", "1"});
  const std::optional<int> status = keying.Wait(In(30s));
  ASSERT_TRUE(status) << "rigctl hung";
  // hamlib reads back "?;" and then the transceiver's own "TX0;": it ends without keying.
  std::printf("  rigctl T 1 exited %d: %s\n", *status, keying.err().c_str());
  EXPECT_EQ(CorvaneRig::Ask(rig_.a, "TX;"), "TX0;");
  EXPECT_GT(Occurrences(rig_.Trace(), "refused, access NOTX"), 0u);
}

TEST_F(ClientAccess, AnUnknownAccessValueIsReportedAndThePortStaysClosed) {
  Start(rig_.port_a, "ACCESSB=WRITE\n");
  EXPECT_TRUE(StderrShows(*rig_.corvane, "ACCESSB=WRITE is not FULL, NOTX or READ", In(5s)))
      << StderrNow(*rig_.corvane);
  EXPECT_EQ(CorvaneRig::Ask(rig_.a, "ID;"), "ID0251;");
  EXPECT_FALSE(HoldsOpen(*rig_.corvane, rig_.port_b));
}

}  // namespace
}  // namespace corvane::test
