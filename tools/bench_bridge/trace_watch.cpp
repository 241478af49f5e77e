#include "tools/bench_bridge/trace_watch.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace corvane {
namespace {

constexpr std::size_t kExamples = 8;

}  // namespace

bool IsStuckQueueLine(const std::string& line) {
  return line.find("commands unanswered, queue stuck") != std::string::npos;
}

std::uintmax_t TraceWatch::Size() const {
  std::error_code ignored;
  const std::uintmax_t size = std::filesystem::file_size(path_, ignored);
  return ignored ? 0 : size;
}

void TraceWatch::Look(bool rig_answering, double now_s) {
  std::ifstream file(path_, std::ios::binary);
  if (!file) return;
  file.seekg(static_cast<std::streamoff>(offset_));
  std::string fresh((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  offset_ += fresh.size();
  partial_ += fresh;
  std::size_t start = 0;
  for (std::size_t end; (end = partial_.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = partial_.substr(start, end - start);
    ++lines_;
    if (!IsStuckQueueLine(line)) continue;
    ++(rig_answering ? resets_answering_ : resets_down_);
    if (rig_answering && examples_.size() < kExamples) {
      char when[32];
      std::snprintf(when, sizeof when, "%.1f s: ", now_s);
      examples_.push_back(when + line);
    }
  }
  partial_.erase(0, start);
}

}  // namespace corvane
