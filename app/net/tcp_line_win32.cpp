#include <winerror.h>

#include "app/net/tcp_line.h"

namespace corvane {

// The Windows loop waits on event objects, not descriptors: TCP lines are not served there
// yet, and a configuration that names one is told so when the line is opened.
struct TcpLine::Impl {};

TcpLine::TcpLine(const std::string& value, size_t, Handlers) : impl_(std::make_unique<Impl>()) {
  ParseTcpAddress(value);
}

TcpLine::~TcpLine() = default;

void TcpLine::Listen(DescriptorWatcher&) {
  throw TcpLineError("not available on Windows yet", ERROR_NOT_SUPPORTED);
}

void TcpLine::Close() {}

bool TcpLine::Listening() const {
  return false;
}

size_t TcpLine::Connections() const {
  return 0;
}

size_t TcpLine::Offer(int, const std::string&) {
  throw TcpLineError("connection closed", ERROR_NOT_SUPPORTED);
}

}  // namespace corvane
