#pragma once
// Follows the bridge's trace file as it grows and counts its stuck-queue lines (the router
// gives up every waiting command and the bridge resets all its lines, unless its back-off
// holds the reset back), sorted by whether the transceiver was answering at the time.
#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

class TraceWatch {
 public:
  explicit TraceWatch(std::string path) : path_(std::move(path)) {}
  // Reads the lines written since the last look. `rig_answering` says whether the
  // transceiver was answering meanwhile; `now_s` labels examples.
  void Look(bool rig_answering, double now_s);
  // The file's size now, 0 while it does not exist.
  std::uintmax_t Size() const;

  long long resets_while_answering() const { return resets_answering_; }
  long long resets_while_down() const { return resets_down_; }
  long long lines() const { return lines_; }
  const std::vector<std::string>& reset_examples() const { return examples_; }

 private:
  std::string path_;
  std::uintmax_t offset_ = 0;
  std::string partial_;
  long long resets_answering_ = 0;
  long long resets_down_ = 0;
  long long lines_ = 0;
  std::vector<std::string> examples_;
};

// Whether a trace line reports a stuck queue.
bool IsStuckQueueLine(const std::string& line);

}  // namespace corvane
