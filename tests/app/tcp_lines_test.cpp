// Port A as a TCP line through the real corvane binary: many connections at once, each
// answered alone, beside a serial client on port B; the limit on connections; an address in
// use; hamlib's rigctl and rigctld as clients.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/app/corvane_process.h"
#include "tests/app/tcp_client.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

class TcpLines : public testing::Test {
 protected:
  // Port A listens on `value` (default: loopback at a free port); port B stays a pty.
  void Launch(const std::string& settings = "") {
    WriteWholeFile(rig_.dir.File("Corvane.INI"),
                   "[SETTINGS]\nPORTA=" + value_ + "\nPORTB=" + rig_.port_b +
                       "\nPORTO=" + rig_.rig_path + "\nTRACE=YES\n" + settings);
    rig_.Launch();
  }
  void Start(const std::string& settings = "") {
    Launch(settings);
    ASSERT_TRUE(AwaitTcpRouting(port_, In(10s))) << rig_.corvane->err() << rig_.Trace();
  }

  CorvaneRig rig_;
  uint16_t port_ = FreeTcpPort();
  std::string value_ = "tcp:127.0.0.1:" + std::to_string(port_);
};

// One client polling one query with one in flight, counting every answer; a client that
// reconnects asks once per connection.
struct Poller {
  Poller(std::string query, std::string answer_prefix, int target, int fd, bool reconnects = false)
      : query(std::move(query)),
        answer_prefix(std::move(answer_prefix)),
        target(target),
        fd(fd),
        reconnects(reconnects) {}
  std::string query;
  std::string answer_prefix;
  int target;
  int fd;
  bool reconnects;
  int asked = 0;
  int answered = 0;
  bool waiting = false;
  std::string partial;
  std::vector<std::string> foreign;  // answers it did not ask for
};

TEST_F(TcpLines, ThreeConnectionsAndAComingAndGoingOneEachGetTheirOwnAnswersBesideASerialClient) {
  Start();
  std::vector<TtyPeer> conns;
  for (int i = 0; i < 3; ++i) conns.push_back(ConnectTcp(port_));
  std::vector<Poller> pollers = {
      {"FA;", "FA", 300, conns[0].fd()},
      {"MD0;", "MD0", 300, conns[1].fd()},
      {"IF;", "IF", 300, conns[2].fd()},
      {"FB;", "FB", 300, rig_.b.master().fd()},  // port B sees the VFOs exchanged both ways
      {"ID;", "ID0251;", 50, -1, /*reconnects=*/true},
  };
  std::optional<TtyPeer> coming;  // the fourth connection's current incarnation
  const Deadline deadline = In(120s);
  auto done = [&] {
    for (const Poller& p : pollers)
      if (p.answered < p.target) return false;
    return true;
  };
  while (!done() && MsLeft(deadline) > 0) {
    for (Poller& p : pollers) {
      if (p.waiting || p.asked == p.target) continue;
      if (p.reconnects) {
        coming.emplace(ConnectTcp(port_));
        ASSERT_GE(coming->fd(), 0);
        p.fd = coming->fd();
      }
      ASSERT_EQ(::write(p.fd, p.query.data(), p.query.size()), ssize_t(p.query.size()));
      ++p.asked;
      p.waiting = true;
    }
    std::vector<pollfd> fds;
    for (const Poller& p : pollers) fds.push_back({p.fd, POLLIN, 0});
    ::poll(fds.data(), fds.size(), 100);
    for (size_t i = 0; i < pollers.size(); ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      Poller& p = pollers[i];
      char buffer[512];
      const ssize_t n = ::read(p.fd, buffer, sizeof buffer);
      ASSERT_GT(n, 0) << p.query;
      p.partial.append(buffer, size_t(n));
      for (size_t semi; (semi = p.partial.find(';')) != std::string::npos;) {
        const std::string answer = p.partial.substr(0, semi + 1);
        p.partial.erase(0, semi + 1);
        if (p.waiting && answer.rfind(p.answer_prefix, 0) == 0) {
          ++p.answered;
          p.waiting = false;
          if (p.reconnects) coming.reset();  // gone before anything else can arrive
        } else {
          p.foreign.push_back(answer);
        }
      }
    }
  }
  for (const Poller& p : pollers) {
    EXPECT_EQ(p.answered, p.target) << p.query << " asked " << p.asked;
    EXPECT_TRUE(p.foreign.empty()) << p.query << " got " << p.foreign.front();
  }
}

TEST_F(TcpLines, TheNinthConnectionIsClosedTheEightAreServedAndAfterSigtermNoneIsTaken) {
  Start();
  std::vector<TtyPeer> eight;
  for (int i = 0; i < 8; ++i) {
    eight.push_back(ConnectTcp(port_));
    eight.back().Send("ID;");
    ASSERT_EQ(eight.back().ReceiveUntil(";", In(kAnswerTimeout)), "ID0251;") << i;
  }
  TtyPeer ninth = ConnectTcp(port_);
  ASSERT_GE(ninth.fd(), 0);
  EXPECT_TRUE(ClosedByPeer(ninth, In(5s)));
  for (size_t i = 0; i < eight.size(); ++i) {
    eight[i].Send("FA;");
    EXPECT_EQ(eight[i].ReceiveUntil(";", In(kAnswerTimeout)), "FA14070000;") << i;
  }
  const std::string trace = rig_.Trace();
  EXPECT_NE(trace.find("<TcpLine> *WARNING* Port A refused a connection from 127.0.0.1:"),
            std::string::npos);
  // Arrivals and departures name the connection and its peer (the start-up probe came and went).
  EXPECT_NE(trace.find("<TcpLine> Port A#9 connected from 127.0.0.1:"), std::string::npos);
  EXPECT_NE(trace.find("<TcpLine> Port A#1 disconnected (closed by the peer)"), std::string::npos);

  rig_.corvane->Signal(SIGTERM);
  ASSERT_EQ(rig_.corvane->Wait(In(10s)), 0);
  EXPECT_LT(ConnectTcp(port_).fd(), 0);
  for (TtyPeer& c : eight) EXPECT_TRUE(ClosedByPeer(c, In(1s)));
}

TEST_F(TcpLines, AnAddressInUseIsReportedAsWrittenAndListenedOnOnceFree) {
  // Someone else holds the port when corvane starts.
  const int holder = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port_);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(holder, 1), 0);
  Launch("MAXCLIENTS=2\n");
  EXPECT_TRUE(StderrShows(*rig_.corvane,
                          "TCP line \"" + value_ +
                              "\" (PORTA): cannot listen there, Address already in use (Error: 98)",
                          In(10s)))
      << StderrNow(*rig_.corvane);
  ::close(holder);
  // The watchdog tries again as for a missing serial line.
  ASSERT_TRUE(AwaitTcpRouting(port_, In(10s))) << StderrNow(*rig_.corvane);
  // MAXCLIENTS came from the file: the third is turned away.
  TtyPeer one = ConnectTcp(port_), two = ConnectTcp(port_), three = ConnectTcp(port_);
  EXPECT_TRUE(ClosedByPeer(three, In(5s)));
  one.Send("ID;");
  EXPECT_EQ(one.ReceiveUntil(";", In(kAnswerTimeout)), "ID0251;");
}

class HamlibOverTcp : public TcpLines {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists("/usr/bin/rigctl") || !std::filesystem::exists("/usr/bin/rigctld"))
      GTEST_SKIP() << "hamlib's rigctl and rigctld are not installed";
    Start();
  }
  static std::string Run(const std::vector<std::string>& argv) {
    ChildProcess p(argv);
    EXPECT_EQ(p.Wait(In(30s)), 0) << p.err();
    return p.out();
  }
};

TEST_F(HamlibOverTcp, RigctlReadsAndSetsTheFrequencyAndRigctldServesItsOwnClients) {
  const std::string device = "127.0.0.1:" + std::to_string(port_);
  EXPECT_EQ(Run({"/usr/bin/rigctl", "-m", "1029", "-r", device, "f"}), "14070000\n");
  EXPECT_EQ(Run({"/usr/bin/rigctl", "-m", "1029", "-r", device, "F", "14074000", "f"}),
            "14074000\n");

  const uint16_t rigctld_port = FreeTcpPort();
  ChildProcess rigctld({"/usr/bin/rigctld", "-m", "1029", "-r", device, "-t",
                        std::to_string(rigctld_port)});
  const Deadline up = In(10s);
  while (ConnectTcp(rigctld_port).fd() < 0 && MsLeft(up) > 0) ::poll(nullptr, 0, 20);
  const std::string via = "127.0.0.1:" + std::to_string(rigctld_port);
  EXPECT_EQ(Run({"/usr/bin/rigctl", "-m", "2", "-r", via, "f", "m"}), "14074000\nUSB\n2400\n");
  rigctld.Signal(SIGTERM);
}

}  // namespace
}  // namespace corvane::test
