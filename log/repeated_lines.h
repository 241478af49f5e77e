#pragma once
// Trace lines a lasting fault repeats at the rate of the traffic (a client that stops
// reading, a client flooding the ring): of one kind for one port, at most one line a second
// reaches the trace, standing for every occurrence since the previous one. The first
// occurrence after a quiet second is written at once; the rest are counted and written,
// with their number, by the next occurrence or the next Flush a second later.
//
// Threading: one thread (the bridge's main thread) calls everything.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>

namespace corvane {

class RepeatedLines {
 public:
  static constexpr int64_t kIntervalMs = 1000;

  using Clock = std::function<int64_t()>;  // monotonic milliseconds
  // Builds the line that stands for `count` occurrences; only called when it is written.
  using Text = std::function<std::string(uint64_t count)>;
  using Write = std::function<void(const std::string& line)>;

  RepeatedLines(Clock clock, Write write) : clock_(std::move(clock)), write_(std::move(write)) {}

  void Add(const std::string& kind, size_t port, Text text);
  // Writes the counted occurrences whose second has passed and forgets quiet kinds.
  void Flush();
  // Writes every counted occurrence now, as the program ends.
  void FlushAll();
  // Whether occurrences wait to be written.
  bool Pending() const;

 private:
  struct Entry {
    int64_t written_at = 0;
    uint64_t counted = 0;
    Text text;  // of the latest counted occurrence
  };
  void WriteCounted(Entry& entry, int64_t now);

  Clock clock_;
  Write write_;
  std::map<std::pair<std::string, size_t>, Entry> entries_;
};

}  // namespace corvane
