#include "tests/app/tcp_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <utility>

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
  if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
    throw std::runtime_error("no free TCP port");
  }
  ::close(s);
  return ntohs(a.sin_port);
}

TcpClient::TcpClient(uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in a = Loopback(port);
  if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

TcpClient::TcpClient(TcpClient&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TcpClient::~TcpClient() {
  if (fd_ >= 0) ::close(fd_);
}

void TcpClient::Send(const std::string& bytes) {
  if (::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size()))
    throw std::runtime_error("send to the bridge failed");
}

std::string TcpClient::ReceiveAnswer(Deadline deadline) {
  std::string got;
  while (got.empty() || got.back() != ';') {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, MsLeft(deadline)) <= 0) break;
    char c;
    if (::recv(fd_, &c, 1, 0) != 1) break;  // one byte at a time: nothing past the ";" is taken
    got += c;
  }
  return got;
}

bool TcpClient::ClosedByPeer(Deadline deadline) {
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, MsLeft(deadline)) <= 0) return false;
  char c;
  return ::recv(fd_, &c, 1, 0) <= 0;
}

bool AwaitTcpRouting(uint16_t port, Deadline deadline) {
  while (MsLeft(deadline) > 0) {
    TcpClient probe(port);
    if (probe.Connected()) {
      probe.Send("ID;");
      if (probe.ReceiveAnswer(In(std::chrono::milliseconds(1000))) == "ID0251;") return true;
    }
    ::poll(nullptr, 0, 20);
  }
  return false;
}

}  // namespace corvane::test
