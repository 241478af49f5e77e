// Windows: every socket of a line is tied to one network event (WSAEventSelect), and one
// thread per line waits on it and hands each wake-up to the main thread, as a port's event
// thread does. The sockets are read, written, accepted and closed on the main thread only;
// the thread touches nothing but its two events.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "app/net/listen_addresses.h"
#include "app/net/tcp_line.h"
#include "rt/main_thread.h"

namespace corvane {
namespace {

std::string WinsockText(int code) {
  char text[256];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.')) --n;
  return n > 0 ? std::string(text, n) : "error " + std::to_string(code);
}

TcpLineError LastError(const std::string& what) {
  const int code = WSAGetLastError();
  return TcpLineError(what + ", " + WinsockText(code), code);
}

// Winsock is started once, for the process's life, by the first line that listens.
void StartWinsock() {
  static const int started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (started != 0) throw TcpLineError("Winsock cannot start", started);
}

class Socket {
 public:
  Socket() = default;
  explicit Socket(SOCKET s) : s_(s) {}
  Socket(Socket&& other) noexcept : s_(std::exchange(other.s_, INVALID_SOCKET)) {}
  Socket& operator=(Socket&& other) noexcept {
    if (this != &other) {
      reset();
      s_ = std::exchange(other.s_, INVALID_SOCKET);
    }
    return *this;
  }
  ~Socket() { reset(); }
  SOCKET get() const { return s_; }
  bool valid() const { return s_ != INVALID_SOCKET; }
  void reset() {
    if (valid()) ::closesocket(std::exchange(s_, INVALID_SOCKET));
  }

 private:
  SOCKET s_ = INVALID_SOCKET;
};

class Event {
 public:
  Event() : h_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (h_ == nullptr) {
      throw TcpLineError("no event for its sockets", static_cast<int>(GetLastError()));
    }
  }
  ~Event() { ::CloseHandle(h_); }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

std::string PeerText(const sockaddr_storage& peer, int size) {
  char host[NI_MAXHOST], port[NI_MAXSERV];
  if (::getnameinfo(reinterpret_cast<const sockaddr*>(&peer), size, host, sizeof host, port,
                    sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return "?";
  }
  std::string text = host;
  if (peer.ss_family == AF_INET6) {
    // An IPv4 peer of an every-address listener reads as its IPv4 address.
    const std::string mapped = "::ffff:";
    const bool v4 = text.compare(0, mapped.size(), mapped) == 0 && text.find('.') != std::string::npos;
    text = v4 ? text.substr(mapped.size()) : "[" + text + "]";
  }
  return text + ":" + port;
}

// A socket listening on one address; raises with the OS's code. No SO_REUSEADDR: on Windows
// it would let a second program take a port that is in use.
Socket ListenOn(const addrinfo& where) {
  Socket s(::socket(where.ai_family, where.ai_socktype, where.ai_protocol));
  if (!s.valid()) throw LastError("no socket");
  if (where.ai_family == AF_INET6) {
    // "*" on IPv6 takes IPv4 connections too; a named IPv6 address only its own.
    const bool every = IN6_IS_ADDR_UNSPECIFIED(
        &reinterpret_cast<const sockaddr_in6*>(where.ai_addr)->sin6_addr);
    const DWORD only = every ? 0 : 1;
    ::setsockopt(s.get(), IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&only),
                 sizeof only);
  }
  if (::bind(s.get(), where.ai_addr, static_cast<int>(where.ai_addrlen)) != 0) {
    throw LastError("cannot listen there");
  }
  if (::listen(s.get(), SOMAXCONN) != 0) throw LastError("cannot listen");
  return s;
}

constexpr long kConnectionEvents = FD_READ | FD_WRITE | FD_CLOSE;

}  // namespace

struct TcpLine::Impl {
  struct Connection {
    Socket socket;
    std::string peer;
    bool wants_room = false;  // an offer was not taken whole: `writable` is owed
  };

  TcpAddress address;
  size_t max_connections;
  Handlers handlers;
  Socket listener;
  bool resting = false;  // the listener waits for a connection to close (out of sockets)
  int next_conn = 1;
  std::map<int, Connection> connections;

  Event network;  // set by Winsock for any socket of the line
  Event stop;
  ServedThread waiter;
  bool serving = false;  // a wake-up is being served, inside the waiter's call

  void Wait() {
    for (;;) {
      const HANDLE events[2] = {stop.get(), network.get()};
      const DWORD r = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
      if (r == WAIT_OBJECT_0) return;
      if (r != WAIT_OBJECT_0 + 1) {
        const int code = static_cast<int>(GetLastError());
        MainThread::Instance().Send(
            [code] { throw TcpLineError("the wait for its connections failed", code); });
        return;
      }
      MainThread::Instance().Synchronize([this] {
        serving = true;
        try {
          Serve();
        } catch (...) {
          MainThread::Instance().HandleException(std::current_exception());
        }
        serving = false;
      });
    }
  }

  // Everything that happened on the line's sockets since the last wake-up.
  void Serve() {
    if (!listener.valid()) return;  // closed while this wake-up waited to be served
    // Reset first: whatever happens from here on sets the event again.
    ::ResetEvent(network.get());
    WSANETWORKEVENTS ev{};
    if (!resting && ::WSAEnumNetworkEvents(listener.get(), nullptr, &ev) == 0 &&
        (ev.lNetworkEvents & FD_ACCEPT) != 0) {
      Accept();
    }
    std::vector<int> conns;
    for (const auto& [conn, c] : connections) conns.push_back(conn);
    for (int conn : conns) {
      auto it = connections.find(conn);
      if (it == connections.end()) continue;
      if (::WSAEnumNetworkEvents(it->second.socket.get(), nullptr, &ev) != 0) {
        Drop(conn, WinsockText(WSAGetLastError()));
        continue;
      }
      if ((ev.lNetworkEvents & (FD_READ | FD_CLOSE)) != 0) {
        Readable(conn, (ev.lNetworkEvents & FD_CLOSE) != 0);
      }
      it = connections.find(conn);
      if (it != connections.end() && (ev.lNetworkEvents & FD_WRITE) != 0 && it->second.wants_room) {
        it->second.wants_room = false;
        if (handlers.writable) handlers.writable(conn);
      }
    }
  }

  void Accept() {
    while (listener.valid()) {
      sockaddr_storage peer{};
      int size = sizeof peer;
      Socket s(::accept(listener.get(), reinterpret_cast<sockaddr*>(&peer), &size));
      if (!s.valid()) {
        // Out of sockets, the waiting connection stays queued: the listener rests until one
        // of ours closes rather than waking again at once. WSAEWOULDBLOCK: all taken;
        // anything else concerned that one connection.
        const int code = WSAGetLastError();
        if (code == WSAEMFILE || code == WSAENOBUFS) {
          ::WSAEventSelect(listener.get(), network.get(), 0);
          resting = true;
        }
        return;
      }
      const std::string peer_text = PeerText(peer, size);
      if (connections.size() >= max_connections) {
        s.reset();
        if (handlers.refused) handlers.refused(peer_text);
        continue;
      }
      // An accepted socket inherits the listener's selection; its own replaces it, and data
      // already there sets the event at once.
      if (::WSAEventSelect(s.get(), network.get(), kConnectionEvents) != 0) continue;
      const BOOL on = TRUE;
      ::setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
      const int conn = next_conn++;
      Connection& c = connections[conn];
      c.peer = peer_text;
      c.socket = std::move(s);
      if (handlers.connected) handlers.connected(conn, peer_text);
    }
  }

  // Reads what arrived. A closed connection is told once: what it sent before closing is
  // read to the end, then it goes.
  void Readable(int conn, bool closed) {
    for (;;) {
      auto it = connections.find(conn);
      if (it == connections.end()) return;
      char buffer[4096];
      const int n = ::recv(it->second.socket.get(), buffer, sizeof buffer, 0);
      if (n > 0) {
        if (handlers.received) handlers.received(conn, std::string(buffer, static_cast<size_t>(n)));
        if (!closed) return;  // more is announced again by Winsock
        continue;
      }
      const int code = n < 0 ? WSAGetLastError() : 0;
      if (n < 0 && code == WSAEWOULDBLOCK && !closed) return;
      Drop(conn, n == 0 || code == WSAEWOULDBLOCK ? "closed by the peer" : WinsockText(code));
      return;
    }
  }

  void Drop(int conn, const std::string& why) {
    auto it = connections.find(conn);
    if (it == connections.end()) return;
    connections.erase(it);
    if (resting && listener.valid()) {  // a socket came free
      resting = false;
      ::WSAEventSelect(listener.get(), network.get(), FD_ACCEPT);
    }
    if (handlers.closed) handlers.closed(conn, why);
  }

  // Ends the waiter. From inside its own wake-up it cannot be joined: it ends once that
  // wake-up is served, and is joined by the next Listen or the destructor.
  void StopWaiter() {
    ::SetEvent(stop.get());
    if (!serving && waiter.Joinable()) MainThread::Instance().JoinServing(waiter);
  }
};

TcpLine::TcpLine(const std::string& value, size_t max_connections, Handlers handlers)
    : impl_(std::make_unique<Impl>()) {
  impl_->address = ParseTcpAddress(value);
  impl_->max_connections = max_connections;
  impl_->handlers = std::move(handlers);
}

TcpLine::~TcpLine() {
  impl_->listener.reset();
  impl_->connections.clear();
  impl_->StopWaiter();
}

// The main loop's watcher is not needed: the line's own thread waits for its sockets.
void TcpLine::Listen(DescriptorWatcher*) {
  if (Listening()) return;
  StartWinsock();
  AddressList found(nullptr, ::freeaddrinfo);
  if (const int rc = ResolveListenAddresses(impl_->address, found)) {
    throw TcpLineError("no such address, " + WinsockText(rc), rc);
  }
  Socket listener = ListenOnFirst(found.get(), ListenOn);
  if (::WSAEventSelect(listener.get(), impl_->network.get(), FD_ACCEPT) != 0) {
    throw LastError("cannot watch its connections");
  }
  // A waiter left from a Close inside its own wake-up has ended by now.
  if (impl_->waiter.Joinable()) MainThread::Instance().JoinServing(impl_->waiter);
  ::ResetEvent(impl_->stop.get());
  impl_->listener = std::move(listener);
  impl_->resting = false;
  Impl* impl = impl_.get();
  try {
    impl_->waiter.Start([impl] { impl->Wait(); });
  } catch (const std::system_error& e) {
    impl_->listener.reset();
    throw TcpLineError("no thread to wait for its connections", e.code().value());
  }
}

void TcpLine::Close() {
  if (!impl_->listener.valid() && impl_->connections.empty()) return;
  impl_->listener.reset();
  impl_->StopWaiter();
  std::vector<int> conns;
  for (const auto& [conn, c] : impl_->connections) conns.push_back(conn);
  for (int conn : conns) impl_->Drop(conn, "the line closes");
}

bool TcpLine::Listening() const {
  return impl_->listener.valid();
}

size_t TcpLine::Connections() const {
  return impl_->connections.size();
}

size_t TcpLine::Offer(int conn, const std::string& bytes) {
  auto it = impl_->connections.find(conn);
  if (it == impl_->connections.end()) throw TcpLineError("connection closed", WSAENOTCONN);
  Impl::Connection& c = it->second;
  // Winsock announces room (FD_WRITE) only after a send that would have blocked, so a send
  // taking part of the bytes is followed by one for the rest.
  size_t taken = 0;
  while (taken < bytes.size()) {
    const int n = ::send(c.socket.get(), bytes.data() + taken, static_cast<int>(bytes.size() - taken), 0);
    if (n > 0) {
      taken += static_cast<size_t>(n);
      continue;
    }
    const int code = WSAGetLastError();
    if (code != WSAEWOULDBLOCK) throw TcpLineError("send failed, " + WinsockText(code), code);
    c.wants_room = true;
    break;
  }
  return taken;
}

}  // namespace corvane
