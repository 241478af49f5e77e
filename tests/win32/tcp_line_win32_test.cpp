// A TCP line on loopback, served through the main loop as corvaned serves it: what a
// connection sends arrives, a connection that stops reading takes less than offered and is
// told once it has room again, and one that closes is reported gone.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <string>

#include "app/net/tcp_line.h"
#include "rt/event_loop.h"
#include "rt/main_thread.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

// A loopback port nobody listens on right now.
uint16_t FreePort() {
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof a;
  ::bind(s, reinterpret_cast<sockaddr*>(&a), size);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
  ::closesocket(s);
  return ntohs(a.sin_port);
}

TEST(Win32TcpLine, AConnectionThatStopsReadingIsToldWhenItHasRoomAgain) {
  MainThread::Instance().Attach();
  EventLoop loop;
  int conn = 0, writable = 0;
  std::string received, why;
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  const uint16_t port = FreePort();
  TcpLine line("tcp:127.0.0.1:" + std::to_string(port), 8,
               {[&](int c, const std::string&) { conn = c; },
                [&](int, const std::string& bytes) { received += bytes; },
                [&](int, const std::string& text) { why = text; }, {}, [&](int) { ++writable; }});
  line.Listen(nullptr);

  SOCKET client = ::socket(AF_INET, SOCK_STREAM, 0);
  const int small = 4096;
  ::setsockopt(client, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small), sizeof small);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(port);
  ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  ASSERT_EQ(::send(client, "FA;", 3, 0), 3);
  EXPECT_TRUE(loop.RunUntil([&] { return received == "FA;"; }, 5s)) << received;
  ASSERT_EQ(conn, 1);

  const std::string block(64 * 1024, 'x');
  size_t taken = 0, last = block.size();
  for (int i = 0; i < 1000 && last == block.size(); ++i) taken += last = line.Offer(conn, block);
  EXPECT_LT(last, block.size()) << "never full after " << taken << " bytes";
  EXPECT_EQ(writable, 0);

  // The client reads again: everything taken arrives, and the line is told it has room.
  u_long nonblocking = 1;
  ::ioctlsocket(client, FIONBIO, &nonblocking);
  size_t drained = 0;
  const int reader = loop.AddTimer(1ms, [&] {
    char buffer[65536];
    for (int n; (n = ::recv(client, buffer, sizeof buffer, 0)) > 0;) drained += static_cast<size_t>(n);
  });
  EXPECT_TRUE(loop.RunUntil([&] { return writable == 1 && drained == taken; }, 10s))
      << writable << " " << drained << " of " << taken;
  loop.RemoveTimer(reader);

  ::closesocket(client);
  EXPECT_TRUE(loop.RunUntil([&] { return line.Connections() == 0; }, 5s));
  EXPECT_EQ(why, "closed by the peer");
  line.Close();
  WSACleanup();
}

}  // namespace
}  // namespace corvane
