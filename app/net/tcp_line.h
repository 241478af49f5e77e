#pragma once
// The listening end of a TCP client line and its connections, served from the main thread:
// on POSIX the listener and every connection are descriptors watched by the main loop's
// watcher; on Windows one thread per line waits for all of its sockets and hands each
// wake-up to the main thread, as a port's event thread does. There is no thread per
// connection and nothing here ever waits on the network. What a connection sends, its
// arrival and its departure reach the handlers on the main thread.
//
// Threading: main thread only; the handlers run there, from the loop. A line is not
// destroyed from inside its own handlers.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/net/tcp_address.h"
#include "rt/descriptor_watch.h"

namespace corvane {

// A TCP line that cannot listen, or a connection that failed; carries the OS's code.
class TcpLineError : public std::runtime_error {
 public:
  TcpLineError(const std::string& what, int system_error)
      : std::runtime_error(what + " (Error: " + std::to_string(system_error) + ")"),
        system_error_(system_error) {}
  int SystemError() const { return system_error_; }

 private:
  int system_error_;
};

class TcpLine {
 public:
  // Connections are numbered from 1 in the order they arrive; a number is never reused
  // while the line lives.
  struct Handlers {
    std::function<void(int conn, const std::string& peer)> connected;
    std::function<void(int conn, const std::string& bytes)> received;
    // The connection is gone (closed by its peer or failed); why says which.
    std::function<void(int conn, const std::string& why)> closed;
    // A connection beyond the limit, closed at once.
    std::function<void(const std::string& peer)> refused;
    // A connection that had not taken everything offered has room again.
    std::function<void(int conn)> writable;
  };

  // value: the port's value as written ("tcp:127.0.0.1:4532"), parsed here (raises
  // std::invalid_argument for a bad one).
  TcpLine(const std::string& value, size_t max_connections, Handlers handlers);
  ~TcpLine();  // closes everything, calling no handler
  TcpLine(const TcpLine&) = delete;
  TcpLine& operator=(const TcpLine&) = delete;

  // Binds and listens; raises TcpLineError when the address cannot be bound (in use, not an
  // address of this machine) or no loop can watch sockets. watcher: the main loop's, which
  // POSIX needs (null raises) and Windows does without.
  void Listen(DescriptorWatcher* watcher);
  // Stops listening and closes every connection, calling `closed` for each.
  void Close();
  bool Listening() const;
  size_t Connections() const;

  // Offers bytes to a connection without waiting; returns how many it took (0 when its
  // buffers are full: `writable` follows once it has room). Raises TcpLineError when the
  // connection failed; its departure is reported by the loop, not from inside this call.
  size_t Offer(int conn, const std::string& bytes);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace corvane
