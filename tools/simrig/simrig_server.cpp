#include "tools/simrig/simrig_server.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace corvane {

SimrigServer::SimrigServer(int line_fd, int stop_fd, const SimrigOptions& options)
    : line_fd_(line_fd), stop_fd_(stop_fd), options_(options), model_(options.auto_info) {
  model_.RefuseEvery(static_cast<unsigned>(options.refuse_every));
}

int SimrigServer::Run() {
  for (;;) {
    pollfd fds[2] = {{line_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    if (!outgoing_.empty()) fds[0].events |= POLLOUT;
    const int ready = ::poll(fds, 2, PollTimeoutMs());
    if (ready < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "corvane-simrig: poll: %s\n", std::strerror(errno));
      return 1;
    }
    if (fds[1].revents) return 0;
    ReleaseDue();
    ReportIfDue();
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      if (!ReadLine()) return exit_code_;
    }
    if (!Flush()) return exit_code_;
  }
}

bool SimrigServer::ReadLine() {
  char buffer[4096];
  const ssize_t n = ::read(line_fd_, buffer, sizeof buffer);
  if (n > 0) {
    const std::string bytes(buffer, static_cast<std::size_t>(n));
    Log("<-", bytes);
    std::string answer = model_.Feed(bytes);
    if (answer.empty()) return true;
    if (options_.delay_ms > 0) {
      delayed_.push_back(
          {Clock::now() + std::chrono::milliseconds(options_.delay_ms), std::move(answer)});
    } else {
      outgoing_ += answer;
    }
    return true;
  }
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
  // End of file or a vanished device (EIO, ENXIO) ends the radio.
  if (n == 0 || errno == EIO || errno == ENXIO) {
    if (options_.verbose) std::fprintf(stderr, "corvane-simrig: line closed\n");
    exit_code_ = 0;
  } else {
    std::fprintf(stderr, "corvane-simrig: read: %s\n", std::strerror(errno));
    exit_code_ = 1;
  }
  return false;
}

bool SimrigServer::Flush() {
  while (!outgoing_.empty()) {
    const ssize_t n = ::write(line_fd_, outgoing_.data(), outgoing_.size());
    if (n > 0) {
      Log("->", outgoing_.substr(0, static_cast<std::size_t>(n)));
      outgoing_.erase(0, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    exit_code_ = (errno == EIO || errno == ENXIO) ? 0 : 1;
    if (exit_code_ != 0 || options_.verbose) {
      std::fprintf(stderr, "corvane-simrig: write: %s\n", std::strerror(errno));
    }
    return false;
  }
  return true;
}

void SimrigServer::ReleaseDue() {
  const Clock::time_point now = Clock::now();
  while (!delayed_.empty() && delayed_.front().due <= now) {
    outgoing_ += delayed_.front().bytes;
    delayed_.pop_front();
  }
}

void SimrigServer::ReportIfDue() {
  if (options_.report_every_ms <= 0 || Clock::now() < next_report_) return;
  next_report_ = Clock::now() + std::chrono::milliseconds(options_.report_every_ms);
  outgoing_ += model_.PeriodicReport();
}

int SimrigServer::PollTimeoutMs() const {
  if (delayed_.empty() && options_.report_every_ms <= 0) return -1;
  Clock::time_point due = Clock::time_point::max();
  if (!delayed_.empty()) due = delayed_.front().due;
  if (options_.report_every_ms > 0) due = std::min(due, next_report_);
  const auto left = due - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  // Round up so the wake-up never comes before the answer is due.
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

void SimrigServer::Log(const char* direction, const std::string& bytes) const {
  if (!options_.verbose) return;
  std::string text;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7f) {
      text += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      text += escaped;
    }
  }
  std::fprintf(stderr, "simrig %s %s\n", direction, text.c_str());
}

}  // namespace corvane
