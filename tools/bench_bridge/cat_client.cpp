#include "tools/bench_bridge/cat_client.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace corvane {

void CatClient::Send(std::string_view bytes) {
  const Deadline deadline = After(std::chrono::milliseconds(1000));
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN && BenchClock::now() < deadline) {
      pollfd out{fd_, POLLOUT, 0};
      ::poll(&out, 1, MsUntil(deadline));
      continue;
    }
    throw std::system_error(n < 0 ? errno : EIO, std::generic_category(), "client write");
  }
}

void CatClient::ReadWaiting() {
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n > 0) {
      for (ssize_t i = 0; i < n; ++i) {
        partial_ += buffer[i];
        if (buffer[i] == ';') {
          answers_.push_back(std::move(partial_));
          partial_.clear();
        }
      }
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    throw std::system_error(n < 0 ? errno : EIO, std::generic_category(), "client read");
  }
}

std::optional<std::string> CatClient::TakeAnswer() {
  if (answers_.empty()) return std::nullopt;
  std::string answer = std::move(answers_.front());
  answers_.pop_front();
  return answer;
}

std::optional<std::string> CatClient::AwaitAnswer(Deadline deadline) {
  for (;;) {
    if (auto answer = TakeAnswer()) return answer;
    pollfd in{fd_, POLLIN, 0};
    const int ready = ::poll(&in, 1, MsUntil(deadline));
    if (ready < 0 && errno != EINTR)
      throw std::system_error(errno, std::generic_category(), "poll");
    if (ready > 0) ReadWaiting();
    if (ready == 0 && answers_.empty()) return std::nullopt;
  }
}

std::optional<std::string> CatClient::Ask(std::string_view query, Deadline deadline) {
  Send(query);
  return AwaitAnswer(deadline);
}

void CatClient::Discard() {
  ReadWaiting();
  partial_.clear();
  answers_.clear();
}

}  // namespace corvane
