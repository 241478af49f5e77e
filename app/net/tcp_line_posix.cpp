#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/net/listen_addresses.h"
#include "app/net/tcp_line.h"
#include "cport/platform/unique_fd.h"

namespace corvane {
namespace {

using Socket = platform::UniqueFd;

std::string PeerText(const sockaddr_storage& peer) {
  char host[INET6_ADDRSTRLEN] = "?";
  if (peer.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&peer);
    inet_ntop(AF_INET, &in->sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(in->sin_port));
  }
  if (peer.ss_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&peer);
    if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) {
      inet_ntop(AF_INET, &in6->sin6_addr.s6_addr[12], host, sizeof host);
      return std::string(host) + ":" + std::to_string(ntohs(in6->sin6_port));
    }
    inet_ntop(AF_INET6, &in6->sin6_addr, host, sizeof host);
    return "[" + std::string(host) + "]:" + std::to_string(ntohs(in6->sin6_port));
  }
  return host;
}

// A socket listening on one address; raises with the OS's code.
Socket ListenOn(const addrinfo& where) {
  Socket s(::socket(where.ai_family, where.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                    where.ai_protocol));
  if (s.get() < 0) throw TcpLineError("no socket", errno);
  const int on = 1, off = 0;
  // A restart finds the port free although the last run's connections linger in TIME_WAIT.
  ::setsockopt(s.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (where.ai_family == AF_INET6) {
    // "*" on IPv6 takes IPv4 connections too; a named IPv6 address only its own.
    const bool every = IN6_IS_ADDR_UNSPECIFIED(
        &reinterpret_cast<const sockaddr_in6*>(where.ai_addr)->sin6_addr);
    ::setsockopt(s.get(), IPPROTO_IPV6, IPV6_V6ONLY, every ? &off : &on, sizeof on);
  }
  if (::bind(s.get(), where.ai_addr, where.ai_addrlen) != 0) {
    throw TcpLineError(std::string("cannot listen there, ") + std::strerror(errno), errno);
  }
  if (::listen(s.get(), SOMAXCONN) != 0) {
    throw TcpLineError(std::string("cannot listen, ") + std::strerror(errno), errno);
  }
  return s;
}

}  // namespace

struct TcpLine::Impl {
  struct Connection {
    Socket socket;
    int watch = -1;        // readable
    int write_watch = -1;  // writable, only while an answer waits for room
    std::string peer;
  };

  TcpAddress address;
  size_t max_connections;
  Handlers handlers;
  DescriptorWatcher* watcher = nullptr;
  Socket listener;
  int listen_watch = -1;  // -1 also while the listener rests for a free descriptor
  int next_conn = 1;
  std::map<int, Connection> connections;

  void WatchListener() {
    listen_watch = watcher->Watch(listener.get(), DescriptorWatcher::kReadable, [this] { Accept(); });
  }

  void Accept() {
    for (;;) {
      sockaddr_storage peer{};
      socklen_t size = sizeof peer;
      Socket s(::accept4(listener.get(), reinterpret_cast<sockaddr*>(&peer), &size,
                         SOCK_NONBLOCK | SOCK_CLOEXEC));
      if (s.get() < 0) {
        // Out of descriptors, the waiting connection stays queued and the listener readable:
        // it rests until one of ours closes rather than spinning. EAGAIN: all taken; anything
        // else concerned that one connection.
        if ((errno == EMFILE || errno == ENFILE) && listen_watch >= 0) {
          watcher->Unwatch(listen_watch);
          listen_watch = -1;
        }
        return;
      }
      const std::string peer_text = PeerText(peer);
      if (connections.size() >= max_connections) {
        s.reset();
        if (handlers.refused) handlers.refused(peer_text);
        continue;
      }
      const int on = 1;
      ::setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      const int conn = next_conn++;
      Connection& c = connections[conn];
      c.peer = peer_text;
      c.watch = watcher->Watch(s.get(), DescriptorWatcher::kReadable, [this, conn] { Readable(conn); });
      c.socket = std::move(s);
      if (handlers.connected) handlers.connected(conn, peer_text);
    }
  }

  void Readable(int conn) {
    auto it = connections.find(conn);
    if (it == connections.end()) return;
    char buffer[4096];
    const ssize_t n = ::recv(it->second.socket.get(), buffer, sizeof buffer, 0);
    if (n > 0) {
      if (handlers.received) handlers.received(conn, std::string(buffer, static_cast<size_t>(n)));
      return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    Drop(conn, n == 0 ? "closed by the peer" : std::strerror(errno));
  }

  void Writable(int conn) {
    auto it = connections.find(conn);
    if (it == connections.end()) return;
    watcher->Unwatch(it->second.write_watch);
    it->second.write_watch = -1;
    if (handlers.writable) handlers.writable(conn);
  }

  void Unwatch(Connection& c) {
    watcher->Unwatch(c.watch);
    if (c.write_watch >= 0) watcher->Unwatch(c.write_watch);
  }

  void Drop(int conn, const std::string& why) {
    auto it = connections.find(conn);
    if (it == connections.end()) return;
    Unwatch(it->second);
    connections.erase(it);
    if (listen_watch < 0 && listener.valid()) WatchListener();  // a descriptor came free
    if (handlers.closed) handlers.closed(conn, why);
  }

  void CloseQuietly() {
    for (auto& [conn, c] : connections) Unwatch(c);
    connections.clear();
    if (listen_watch >= 0) watcher->Unwatch(listen_watch);
    listen_watch = -1;
    listener.reset();
  }
};

TcpLine::TcpLine(const std::string& value, size_t max_connections, Handlers handlers)
    : impl_(std::make_unique<Impl>()) {
  impl_->address = ParseTcpAddress(value);
  impl_->max_connections = max_connections;
  impl_->handlers = std::move(handlers);
}

TcpLine::~TcpLine() {
  if (impl_->watcher != nullptr) impl_->CloseQuietly();
}

void TcpLine::Listen(DescriptorWatcher* watcher) {
  if (Listening()) return;
  if (watcher == nullptr) throw TcpLineError("no loop here can watch its sockets", ENOTSUP);
  AddressList found(nullptr, ::freeaddrinfo);
  if (const int rc = ResolveListenAddresses(impl_->address, found)) {
    const int code = rc == EAI_SYSTEM ? errno : EADDRNOTAVAIL;
    throw TcpLineError(std::string("no such address, ") + gai_strerror(rc), code);
  }
  impl_->listener = ListenOnFirst(found.get(), ListenOn);
  impl_->watcher = watcher;
  impl_->WatchListener();
}

void TcpLine::Close() {
  if (impl_->watcher == nullptr) return;
  std::vector<int> conns;
  for (const auto& [conn, c] : impl_->connections) conns.push_back(conn);
  if (impl_->listen_watch >= 0) impl_->watcher->Unwatch(impl_->listen_watch);
  impl_->listen_watch = -1;
  impl_->listener.reset();
  for (int conn : conns) impl_->Drop(conn, "the line closes");
}

bool TcpLine::Listening() const {
  return impl_->listener.get() >= 0;
}

size_t TcpLine::Connections() const {
  return impl_->connections.size();
}

size_t TcpLine::Offer(int conn, const std::string& bytes) {
  auto it = impl_->connections.find(conn);
  if (it == impl_->connections.end()) throw TcpLineError("connection closed", ENOTCONN);
  const ssize_t n =
      ::send(it->second.socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
    throw TcpLineError(std::string("send failed, ") + std::strerror(errno), errno);
  }
  const size_t taken = n < 0 ? 0 : static_cast<size_t>(n);
  Impl::Connection& c = it->second;
  if (taken < bytes.size() && c.write_watch < 0) {
    c.write_watch = impl_->watcher->Watch(c.socket.get(), DescriptorWatcher::kWritable,
                                          [impl = impl_.get(), conn] { impl->Writable(conn); });
  }
  return taken;
}

}  // namespace corvane
