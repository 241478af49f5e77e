#include "tests/app/client_traffic.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

namespace corvane::test {
namespace {

using Clock = std::chrono::steady_clock;

void Collect(int fd, ClientTraffic& traffic) {
  char buffer[512];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
    const Clock::time_point now = Clock::now();
    for (const char c : std::string_view(buffer, static_cast<std::size_t>(n))) {
      traffic.partial += c;
      if (c != ';') continue;
      traffic.answers.push_back(std::move(traffic.partial));
      traffic.partial.clear();
      const std::size_t k = traffic.answers.size() - 1;
      if (k < traffic.asked.size()) {
        traffic.round_trips.push_back(
            std::chrono::duration_cast<std::chrono::microseconds>(now - traffic.asked[k]));
      }
    }
  }
}

}  // namespace

std::function<std::string(int)> Repeat(const std::string& command) {
  return [command](int) { return command; };
}

void Listen(const std::vector<TrafficClient>& clients, std::vector<ClientTraffic>& traffic,
            Deadline until) {
  std::vector<pollfd> fds;
  std::vector<std::size_t> read;
  for (std::size_t i = 0; i < clients.size(); ++i) {
    if (!clients[i].reads) continue;
    fds.push_back({clients[i].line->master().fd(), POLLIN, 0});
    read.push_back(i);
  }
  if (::poll(fds.data(), fds.size(), MsLeft(until)) <= 0) return;
  for (std::size_t i = 0; i < fds.size(); ++i) {
    if (fds[i].revents != 0) Collect(fds[i].fd, traffic[read[i]]);
  }
}

std::vector<ClientTraffic> RunTraffic(const std::vector<TrafficClient>& clients,
                                      const std::vector<CommandStream>& streams,
                                      std::chrono::milliseconds duration,
                                      std::chrono::milliseconds settle) {
  std::vector<ClientTraffic> traffic(clients.size());
  std::vector<int> sent(streams.size(), 0);
  const auto start = Clock::now();
  const Deadline end = start + duration;
  for (auto now = start; now < end; now = Clock::now()) {
    Deadline next = end;
    for (std::size_t s = 0; s < streams.size(); ++s) {
      const CommandStream& stream = streams[s];
      Deadline due = start + sent[s] * stream.period;
      if (due <= now) {
        clients[stream.client].line->master().Send(stream.command(sent[s]++));
        ClientTraffic& to = traffic[stream.client];
        ++to.commands;
        if (stream.answered) {
          ++to.queries;
          to.asked.push_back(Clock::now());
        }
        due += stream.period;
      }
      next = std::min(next, due);
    }
    Listen(clients, traffic, next);
  }
  const Deadline settled = In(settle);
  auto all_answered = [&] {
    for (std::size_t c = 0; c < clients.size(); ++c) {
      if (clients[c].reads && traffic[c].answers.size() < traffic[c].queries) return false;
    }
    return true;
  };
  while (!all_answered() && MsLeft(settled) > 0) Listen(clients, traffic, settled);
  return traffic;
}

}  // namespace corvane::test
