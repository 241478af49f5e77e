#include "tests/app/client_traffic.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

namespace corvane::test {
namespace {

void Collect(int fd, ClientTraffic& traffic) {
  char buffer[512];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
    for (const char c : std::string_view(buffer, static_cast<std::size_t>(n))) {
      traffic.partial += c;
      if (c != ';') continue;
      traffic.answers.push_back(std::move(traffic.partial));
      traffic.partial.clear();
    }
  }
}

// Waits until something arrives from a client or the deadline, and keeps what came.
void Listen(const std::vector<PtyPair*>& clients, std::vector<ClientTraffic>& traffic,
            Deadline until) {
  std::vector<pollfd> fds;
  for (PtyPair* client : clients) fds.push_back({client->master().fd(), POLLIN, 0});
  if (::poll(fds.data(), fds.size(), MsLeft(until)) <= 0) return;
  for (std::size_t i = 0; i < clients.size(); ++i) {
    if (fds[i].revents != 0) Collect(fds[i].fd, traffic[i]);
  }
}

}  // namespace

std::vector<ClientTraffic> RunTraffic(const std::vector<PtyPair*>& clients,
                                      const std::vector<CommandStream>& streams,
                                      std::chrono::milliseconds duration,
                                      std::chrono::milliseconds settle) {
  std::vector<ClientTraffic> traffic(clients.size());
  std::vector<int> sent(streams.size(), 0);
  const auto start = std::chrono::steady_clock::now();
  const Deadline end = start + duration;
  for (auto now = start; now < end; now = std::chrono::steady_clock::now()) {
    Deadline next = end;
    for (std::size_t s = 0; s < streams.size(); ++s) {
      const CommandStream& stream = streams[s];
      Deadline due = start + sent[s] * stream.period;
      if (due <= now) {
        clients[stream.client]->master().Send(stream.command(sent[s]++));
        ClientTraffic& to = traffic[stream.client];
        ++to.commands;
        if (stream.answered) ++to.queries;
        due += stream.period;
      }
      next = std::min(next, due);
    }
    Listen(clients, traffic, next);
  }
  const Deadline settled = In(settle);
  auto all_answered = [&traffic] {
    return std::all_of(traffic.begin(), traffic.end(),
                       [](const ClientTraffic& t) { return t.answers.size() >= t.queries; });
  };
  while (!all_answered() && MsLeft(settled) > 0) Listen(clients, traffic, settled);
  return traffic;
}

}  // namespace corvane::test
