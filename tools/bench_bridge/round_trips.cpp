#include "tools/bench_bridge/round_trips.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <thread>

#include "tools/bench_bridge/stop_request.h"

namespace corvane {

RoundTrips MeasureRoundTrips(CatClient& client, const std::string& query, long long samples,
                             std::chrono::milliseconds timeout, std::chrono::milliseconds pause,
                             ChildProgram* watched) {
  RoundTrips trips;
  trips.micros.reserve(static_cast<std::size_t>(samples));
  const std::string token = query.substr(0, 2);
  const auto start = BenchClock::now();
  auto next = start;
  bool discard_late = false;
  try {
    client.Discard();
    for (long long i = 0; i < samples; ++i) {
      if (StopRequested()) {
        trips.aborted = "stop signal";
        break;
      }
      if (watched != nullptr && (i % 256 == 0 || pause.count() > 0) && !watched->Running()) {
        trips.aborted = watched->name() + " ended (" + DescribeStatus(*watched->status()) + ")";
        break;
      }
      if (pause.count() > 0) {
        std::this_thread::sleep_until(next);
        next += pause;
      }
      // An answer to a query given up on must not pass for the next one's.
      if (discard_late) client.Discard();
      discard_late = false;
      const auto sent = BenchClock::now();
      client.Send(query);
      const std::optional<std::string> answer = client.AwaitAnswer(sent + timeout);
      const auto got = BenchClock::now();
      if (!answer) {
        ++trips.lost;
        discard_late = true;
        continue;
      }
      if (answer->rfind(token, 0) != 0) {
        ++trips.wrong;
        continue;
      }
      trips.micros.push_back(std::chrono::duration<double, std::micro>(got - sent).count());
    }
  } catch (const std::system_error& e) {
    trips.aborted = e.what();
  }
  trips.seconds = SecondsSince(start);
  return trips;
}

double Percentile(const std::vector<double>& sorted, double fraction) {
  const auto index =
      static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
  return sorted[std::clamp<std::size_t>(index, 1, sorted.size()) - 1];
}

std::string Summarize(RoundTrips trips) {
  std::vector<double>& v = trips.micros;
  std::sort(v.begin(), v.end());
  auto rank = [&v](double fraction) { return Percentile(v, fraction); };
  char text[256];
  if (v.empty()) {
    std::snprintf(text, sizeof text, "no answers, %lld lost, %lld wrong", trips.lost, trips.wrong);
  } else {
    const double done = static_cast<double>(v.size() + trips.lost + trips.wrong);
    std::snprintf(text, sizeof text,
                  "median %.0f us, p99 %.0f us, max %.0f us over %zu answers, %lld lost, "
                  "%lld wrong, %.0f queries/s",
                  rank(0.5), rank(0.99), v.back(), v.size(), trips.lost, trips.wrong,
                  done / trips.seconds);
  }
  std::string summary = text;
  if (!trips.aborted.empty()) summary += " (ended early: " + trips.aborted + ")";
  return summary;
}

}  // namespace corvane
