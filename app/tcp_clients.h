#pragma once
// One port's TCP line as clients of the router: every connection a client of its own, with
// the port's options, named in the trace as the port plus the connection's number
// ("Port A#3"). Answers go to the connection whose command they answer, and to no other.
//
// Threading: main thread only, like the router.
#include <cstddef>
#include <functional>
#include <map>
#include <string>

#include "app/net/tcp_line.h"
#include "app/router/router.h"

namespace corvane {

class TcpClients {
 public:
  struct Hooks {
    std::function<bool(uint8_t level)> tracing;
    std::function<void(uint8_t level, const std::string& text)> trace;
    // After a connection's bytes went to the router, and after one came or went.
    std::function<void()> routed;
    std::function<void()> count_changed;
  };

  // letter: the port's name in the trace ("A"); value: the port's value as written.
  TcpClients(std::string letter, const std::string& value, bool exchange_vfos,
             size_t max_connections, Router& router, Hooks hooks);

  TcpLine& Line() { return line_; }
  // What the port's connections may do; applies to connections from now on.
  void SetAccess(Access access) { access_ = access; }
  // Whether the router's client is one of this line's connections.
  bool Owns(size_t client) const { return conns_.count(client) != 0; }
  // The client's name in the trace ("Port A#3").
  std::string ClientName(size_t client) const { return Name(conns_.at(client)); }
  // The router's offer to one of this line's clients.
  size_t Offer(size_t client, const std::string& bytes);

 private:
  // The router's name of the connection ("A#3"), and the trace's.
  std::string RouterName(int conn) const { return letter_ + "#" + std::to_string(conn); }
  std::string Name(int conn) const { return "Port " + RouterName(conn); }

  std::string letter_;
  bool exchange_vfos_;
  Access access_ = Access::Full;
  Router& router_;
  Hooks hooks_;
  std::map<int, size_t> clients_;  // connection number -> router client
  std::map<size_t, int> conns_;    // router client -> connection number
  TcpLine line_;
};

}  // namespace corvane
