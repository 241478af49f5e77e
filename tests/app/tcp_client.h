#pragma once
// The client's end of a TCP client line in a test.
#include <cstdint>
#include <string>

#include "tests/support/child_process.h"

namespace corvane::test {

// A port on the loopback address that nobody listens on right now.
uint16_t FreeTcpPort();

class TcpClient {
 public:
  // Connects to 127.0.0.1:port; fd() is -1 when the connection was refused.
  explicit TcpClient(uint16_t port);
  TcpClient(TcpClient&& other) noexcept;
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;
  ~TcpClient();

  int fd() const { return fd_; }
  bool Connected() const { return fd_ >= 0; }
  void Send(const std::string& bytes);
  // Everything received until it ends with ";" or the deadline passes.
  std::string ReceiveAnswer(Deadline deadline);
  // Whether the other side closed the connection by the deadline.
  bool ClosedByPeer(Deadline deadline);

 private:
  int fd_ = -1;
};

// Connects until a query on the line is answered: start-up only, never in a count of loss.
bool AwaitTcpRouting(uint16_t port, Deadline deadline);

}  // namespace corvane::test
