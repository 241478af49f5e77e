#include "tools/bench_bridge/polling_run.h"

#include <poll.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "tools/bench_bridge/process_usage.h"
#include "tools/bench_bridge/stop_request.h"

namespace corvane {
namespace {

constexpr std::size_t kWrongExamples = 8;
// How often the loop looks at the stop flag and the watched program at the latest.
constexpr int kLookAroundMs = 200;

struct ClientState {
  bool in_flight = false;
  Deadline due{};
};

}  // namespace

void AddUp(PollingResult& total, const PollingResult& run) {
  total.sent += run.sent;
  total.answered += run.answered;
  total.lost += run.lost;
  total.misrouted += run.misrouted;
  total.late += run.late;
  total.seconds += run.seconds;
  for (const std::string& wrong : run.wrong_examples) {
    if (total.wrong_examples.size() < kWrongExamples) total.wrong_examples.push_back(wrong);
  }
  if (total.aborted.empty()) total.aborted = run.aborted;
}

PollingResult RunPolling(std::vector<PollingClient>& clients, const PollingLimits& limits,
                         ChildProgram* watched) {
  PollingResult result;
  std::vector<ClientState> states(clients.size());
  const auto start = BenchClock::now();
  auto last_progress = start;
  auto last_look = start;
  const Deadline end = limits.seconds > 0
                           ? start + std::chrono::duration_cast<BenchClock::duration>(
                                         std::chrono::duration<double>(limits.seconds))
                           : Deadline::max();
  bool sending = true;

  auto finished = [&] { return result.answered + result.lost; };
  auto send = [&](std::size_t i) {
    if (!sending) return;
    if (limits.commands > 0 && result.sent >= limits.commands) return;
    clients[i].client->Send(clients[i].query);
    states[i] = {true, BenchClock::now() + limits.timeout};
    ++result.sent;
  };
  auto note_wrong = [&](std::size_t i, const std::string& answer) {
    ++result.misrouted;
    if (result.wrong_examples.size() < kWrongExamples) {
      result.wrong_examples.push_back(clients[i].name + " got " + answer);
    }
  };

  try {
    for (std::size_t i = 0; i < clients.size(); ++i) clients[i].client->Discard();
    for (std::size_t i = 0; i < clients.size(); ++i) send(i);
    for (;;) {
      const auto now = BenchClock::now();
      if (sending && (now >= end || StopRequested())) sending = false;
      bool any_in_flight = false;
      for (const ClientState& s : states) any_in_flight = any_in_flight || s.in_flight;
      if (!any_in_flight && (!sending || (limits.commands > 0 && result.sent >= limits.commands))) {
        break;
      }
      if (StopRequested() && result.aborted.empty()) result.aborted = "stop signal";

      Deadline wake = now + std::chrono::milliseconds(kLookAroundMs);
      for (const ClientState& s : states) {
        if (s.in_flight && s.due < wake) wake = s.due;
      }
      std::vector<pollfd> fds;
      for (const PollingClient& c : clients) fds.push_back({c.client->fd(), POLLIN, 0});
      const int ready = ::poll(fds.data(), fds.size(), MsUntil(wake));
      if (ready < 0 && errno != EINTR)
        throw std::system_error(errno, std::generic_category(), "poll");

      for (std::size_t i = 0; i < clients.size(); ++i) {
        if (ready > 0 && fds[i].revents != 0) clients[i].client->ReadWaiting();
        while (auto answer = clients[i].client->TakeAnswer()) {
          if (*answer != clients[i].expected) {
            note_wrong(i, *answer);
            if (states[i].in_flight) {
              // The wrong text took the place of this client's answer.
              states[i].in_flight = false;
              send(i);
            }
          } else if (states[i].in_flight) {
            ++result.answered;
            states[i].in_flight = false;
            send(i);
          } else {
            ++result.late;
          }
        }
        if (states[i].in_flight && BenchClock::now() >= states[i].due) {
          ++result.lost;
          states[i].in_flight = false;
          send(i);
        }
      }

      const auto after = BenchClock::now();
      if (watched != nullptr && after - last_look >= std::chrono::milliseconds(kLookAroundMs)) {
        last_look = after;
        if (!watched->Running()) {
          result.aborted = watched->name() + " ended (" + DescribeStatus(*watched->status()) + ")";
          break;
        }
      }
      if (limits.progress_every_seconds > 0 &&
          std::chrono::duration<double>(after - last_progress).count() >=
              limits.progress_every_seconds) {
        last_progress = after;
        std::string rss;
        if (watched != nullptr) {
          try {
            rss = ", RSS " + std::to_string(ReadProcessUsage(watched->pid()).rss_kib) + " KiB";
          } catch (const std::exception&) {
          }
        }
        std::fprintf(stderr, "  ... %.0f s: %lld done, %lld lost, %lld misrouted%s\n",
                     SecondsSince(start), finished(), result.lost, result.misrouted, rss.c_str());
      }
    }
  } catch (const std::system_error& e) {
    result.aborted = e.what();
  }
  result.seconds = SecondsSince(start);
  return result;
}

}  // namespace corvane
