#include "log/repeated_lines.h"

namespace corvane {

void RepeatedLines::Add(const std::string& kind, size_t port, Text text) {
  const int64_t now = clock_();
  auto [it, first] = entries_.try_emplace({kind, port});
  Entry& entry = it->second;
  ++entry.counted;
  entry.text = std::move(text);
  if (first || now - entry.written_at >= kIntervalMs) WriteCounted(entry, now);
}

void RepeatedLines::WriteCounted(Entry& entry, int64_t now) {
  const uint64_t count = entry.counted;
  entry.counted = 0;
  entry.written_at = now;
  Text text = std::move(entry.text);
  entry.text = nullptr;
  write_(text(count));
}

void RepeatedLines::Flush() {
  const int64_t now = clock_();
  for (auto it = entries_.begin(); it != entries_.end();) {
    Entry& entry = it->second;
    if (now - entry.written_at < kIntervalMs) {
      ++it;
    } else if (entry.counted > 0) {
      WriteCounted(entry, now);
      ++it;
    } else {
      // Quiet for a second: its next occurrence is written at once. Connections come and
      // go, and their entries with them.
      it = entries_.erase(it);
    }
  }
}

void RepeatedLines::FlushAll() {
  const int64_t now = clock_();
  for (auto& [key, entry] : entries_) {
    if (entry.counted > 0) WriteCounted(entry, now);
  }
  entries_.clear();
}

bool RepeatedLines::Pending() const {
  for (const auto& [key, entry] : entries_) {
    if (entry.counted > 0) return true;
  }
  return false;
}

}  // namespace corvane
