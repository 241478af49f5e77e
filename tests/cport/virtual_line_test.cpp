// Virtual client lines ("pty:PATH") on real pseudo-terminals: a client reaches the port
// through the link, may close and reopen its end, and a reopen of the port neither breaks
// the client's end nor changes its settings.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "cport/cport.h"
#include "rt/descriptor_watch.h"
#include "rt/event_loop.h"
#include "rt/main_thread.h"
#include "tests/cport/support/port_on_pty.h"
#include "tests/support/tty_peer.h"

namespace {

using namespace std::chrono_literals;
using corvane::test::In;
using corvane::test::RaisedBy;
using corvane::test::TtyPeer;

class VirtualLine : public ::testing::Test {
 protected:
  void SetUp() override {
    corvane::MainThread::Instance().Attach();
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-vl-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    link = dir_ + "/Client-Line";
    port.SetPort("pty:" + link);
    port.SetOnRxChar([this](TObject*, int32_t n) {
      std::string text;
      port.ReadText(text, n);
      received += text;
    });
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Serves the port's events until it has received `expected`.
  bool Receives(const std::string& expected) {
    const bool got = loop.RunUntil([&] { return received.ends_with(expected); }, 2s);
    received.clear();
    return got;
  }

  std::string dir_, link, received;
  corvane::EventLoop loop;
  TComPort port;
};

// The same with the port's events delivered as the parameter says: by an event thread
// (false) or by the test's loop watching the line (true).
class VirtualLineEitherWay : public VirtualLine, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    VirtualLine::SetUp();
    if (!GetParam()) return;
    corvane::SetMainLoopWatcher(&loop);
    port.SetLoopDelivery(true);
  }
};

INSTANTIATE_TEST_SUITE_P(Delivery, VirtualLineEitherWay, ::testing::Bool(),
                         corvane::test::DeliveryName);

TEST_P(VirtualLineEitherWay, AClientReachesThePortThroughTheLinkAndMayCloseAndReopenItsEnd) {
  port.OpenPort();
  ASSERT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_TRUE(std::filesystem::read_symlink(link).string().starts_with("/dev/pts/"));
  for (const std::string query : {"ID;", "FA;", "FB;"}) {
    TtyPeer client(link);
    client.Send(query);
    EXPECT_TRUE(Receives(query)) << query;
    port.WriteText(query + "0;");
    EXPECT_EQ(client.ReceiveUntil(";", In(2s)), query + "0;");
    // The client closes its end; the port's monitoring must not end for the hang-up.
  }
  EXPECT_TRUE(port.EventThreadRunning());
}

TEST_P(VirtualLineEitherWay, AReopenOfThePortLeavesTheClientsEndAndItsSettingsAlone) {
  port.OpenPort();
  const auto target = std::filesystem::read_symlink(link);
  TtyPeer client(link);
  termios mine{};
  ASSERT_EQ(tcgetattr(client.fd(), &mine), 0);
  mine.c_cc[VMIN] = 1;
  mine.c_cc[VTIME] = 7;
  mine.c_cflag &= ~CLOCAL;
  cfsetspeed(&mine, B9600);
  ASSERT_EQ(tcsetattr(client.fd(), TCSANOW, &mine), 0);

  port.ClosePort();
  client.Send("FB;");  // while the port is closed
  port.OpenPort();
  port.SetBaudRate(br115200);
  port.SetStopBits(sbTwoStopBits);
  EXPECT_TRUE(Receives("FB;"));
  port.WriteText("FB07000000;");
  EXPECT_EQ(client.ReceiveUntil(";", In(2s)), "FB07000000;");

  termios now{};
  ASSERT_EQ(tcgetattr(client.fd(), &now), 0);
  EXPECT_EQ(now.c_cflag, mine.c_cflag);
  EXPECT_EQ(now.c_cc[VMIN], 1);
  EXPECT_EQ(now.c_cc[VTIME], 7);
  EXPECT_EQ(std::filesystem::read_symlink(link), target);
}

TEST_F(VirtualLine, OnlyOnePortHoldsALineAtATime) {
  port.OpenPort();
  TComPort second;
  second.SetPort(port.Port());
  EXPECT_EQ(RaisedBy([&] { second.OpenPort(); }).SystemError(), EBUSY);
  port.ClosePort();
  second.OpenPort();
  EXPECT_TRUE(second.Connected());
}

struct AtThePath {
  const char* what;
  std::function<void(const std::string& dir, const std::string& link)> make;
  int error;  // 0: the line opens
};

TEST_F(VirtualLine, WhatIsAtThePathDecidesWhetherTheLineOpens) {
  const std::vector<AtThePath> cases = {
      {"nothing", [](auto&, auto&) {}, 0},
      {"a link an earlier run left behind",
       [](auto&, auto& link) { std::filesystem::create_symlink("/dev/pts/999999", link); }, 0},
      {"a link to a file",
       [](auto& dir, auto& link) {
         std::ofstream(dir + "/kept") << "kept";
         std::filesystem::create_symlink(dir + "/kept", link);
       },
       0},
      {"a file", [](auto&, auto& link) { std::ofstream(link) << "kept"; }, EEXIST},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir_ + "/line" + std::to_string(++n);
    c.make(dir_, path);
    TComPort other;
    other.SetPort("pty:" + path);
    if (c.error == 0) {
      other.OpenPort();
      EXPECT_TRUE(std::filesystem::read_symlink(path).string().starts_with("/dev/pts/"));
      TtyPeer client(path);  // leads to a live line
    } else {
      EXPECT_EQ(RaisedBy([&] { other.OpenPort(); }).SystemError(), c.error);
      EXPECT_FALSE(std::filesystem::is_symlink(path));
    }
  }
  std::ifstream kept(dir_ + "/kept");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "kept");
}

}  // namespace
