#include "tools/bench_bridge/process_usage.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace corvane {
namespace {

std::runtime_error Gone(pid_t pid) {
  return std::runtime_error("process " + std::to_string(pid) + " gone");
}

// utime plus stime of the whole process, threads that have ended included.
double ReadTickSeconds(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(file, text)) throw Gone(pid);
  // The command name may hold blanks and parentheses: fields count from the last ')'.
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) throw std::runtime_error("unreadable /proc stat");
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  unsigned long long utime = 0;
  unsigned long long stime = 0;
  // After the name: state(3) ... utime is field 14, stime 15 counting from 1.
  for (int index = 3; index <= 15 && fields >> field; ++index) {
    if (index == 14) utime = std::stoull(field);
    if (index == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Nanoseconds on a CPU, the first field of a thread's schedstat; -1 when the kernel keeps none.
long long ReadRunNanoseconds(const std::filesystem::path& task) {
  std::ifstream file(task / "schedstat");
  long long ns = -1;
  if (!(file >> ns)) return -1;
  return ns;
}

// Adds the value of the "key:" line of a status file to sum.
void AddStatusField(const std::string& line, const std::string& key, long long& sum) {
  if (line.rfind(key, 0) == 0) sum += std::stoll(line.substr(key.size()));
}

}  // namespace

ProcessUsage ReadProcessUsage(pid_t pid) {
  ProcessUsage usage;
  const std::filesystem::path process = "/proc/" + std::to_string(pid);
  long long run_ns = 0;
  bool precise = true;
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator(process / "task", error)) {
    const long long ns = ReadRunNanoseconds(task.path());
    if (ns < 0) precise = false;
    run_ns += ns;
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);) {
      AddStatusField(line, "voluntary_ctxt_switches:", usage.voluntary_switches);
      AddStatusField(line, "nonvoluntary_ctxt_switches:", usage.involuntary_switches);
    }
  }
  if (error) throw Gone(pid);
  usage.cpu_seconds = precise ? static_cast<double>(run_ns) / 1e9 : ReadTickSeconds(pid);

  std::ifstream status(process / "status");
  std::string line;
  bool rss = false;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) {
      usage.rss_kib = std::stol(line.substr(6));
      rss = true;
    }
  }
  if (!rss) throw std::runtime_error("no VmRSS for process " + std::to_string(pid));
  return usage;
}

std::string DescribeCpu(double cpu_seconds, double wall_seconds) {
  char text[128];
  std::snprintf(text, sizeof text, "%.3f s CPU over %.1f s (%.3f %%)", cpu_seconds, wall_seconds,
                wall_seconds > 0 ? 100.0 * cpu_seconds / wall_seconds : 0.0);
  return text;
}

}  // namespace corvane
