#pragma once
// Every wait of the benchmark has a deadline on the monotonic clock.
#include <algorithm>
#include <chrono>

namespace corvane {

using BenchClock = std::chrono::steady_clock;
using Deadline = BenchClock::time_point;

inline Deadline After(std::chrono::milliseconds ms) {
  return BenchClock::now() + ms;
}

// Milliseconds left until the deadline, rounded up, for poll; 0 once it has passed.
inline int MsUntil(Deadline deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - BenchClock::now()).count();
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, 1'000'000));
}

inline double SecondsSince(BenchClock::time_point start) {
  return std::chrono::duration<double>(BenchClock::now() - start).count();
}

}  // namespace corvane
