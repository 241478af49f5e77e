#include "tests/app/tcp_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace corvane::test {
namespace {

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

}  // namespace

uint16_t FreeTcpPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Loopback(0);
  socklen_t size = sizeof a;
  const bool bound = s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                     ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) == 0;
  if (s >= 0) ::close(s);
  if (!bound) throw std::runtime_error("no free TCP port");
  return ntohs(a.sin_port);
}

TtyPeer ConnectTcp(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in a = Loopback(port);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    fd = -1;
  }
  return TtyPeer::Adopt(fd);
}

bool ClosedByPeer(const TtyPeer& connection, Deadline deadline) {
  pollfd p{connection.fd(), POLLIN, 0};
  if (::poll(&p, 1, MsLeft(deadline)) <= 0) return false;
  char c;
  return ::recv(connection.fd(), &c, 1, 0) <= 0;
}

bool AwaitTcpRouting(uint16_t port, Deadline deadline) {
  while (MsLeft(deadline) > 0) {
    TtyPeer probe = ConnectTcp(port);
    if (probe.fd() >= 0) {
      probe.Send("ID;");
      if (probe.ReceiveUntil(";", In(std::chrono::milliseconds(1000))) == "ID0251;") return true;
    }
    ::poll(nullptr, 0, 20);
  }
  return false;
}

}  // namespace corvane::test
