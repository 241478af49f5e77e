#include "tools/bench_bridge/tcp_client_line.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace corvane {
namespace {

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

}  // namespace

uint16_t FreeLoopbackPort() {
  OwnedFd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a = Loopback(0);
  socklen_t size = sizeof a;
  if (s.get() < 0 || ::bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&a), &size) != 0) {
    throw std::system_error(errno, std::generic_category(), "no free loopback port");
  }
  return ntohs(a.sin_port);
}

OwnedFd ConnectLoopback(uint16_t port, Deadline deadline) {
  const sockaddr_in a = Loopback(port);
  for (;;) {
    OwnedFd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (s.get() < 0) throw std::system_error(errno, std::generic_category(), "socket");
    if (::connect(s.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
      const int on = 1;
      ::setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      ::fcntl(s.get(), F_SETFL, ::fcntl(s.get(), F_GETFL) | O_NONBLOCK);
      return s;
    }
    if (errno != ECONNREFUSED || BenchClock::now() >= deadline) {
      throw std::system_error(errno, std::generic_category(),
                              "connect to 127.0.0.1:" + std::to_string(port));
    }
    ::poll(nullptr, 0, 20);
  }
}

}  // namespace corvane
