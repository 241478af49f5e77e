#include "tools/bench_bridge/process_usage.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace corvane {
namespace {

double ReadCpuSeconds(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(file, text))
    throw std::runtime_error("process " + std::to_string(pid) + " gone");
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

long ReadRssKib(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(file, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  throw std::runtime_error("no VmRSS for process " + std::to_string(pid));
}

}  // namespace

ProcessUsage ReadProcessUsage(pid_t pid) {
  return {ReadCpuSeconds(pid), ReadRssKib(pid)};
}

std::string DescribeCpu(double cpu_seconds, double wall_seconds) {
  char text[128];
  std::snprintf(text, sizeof text, "%.2f s CPU over %.1f s (%.2f %%)", cpu_seconds, wall_seconds,
                wall_seconds > 0 ? 100.0 * cpu_seconds / wall_seconds : 0.0);
  return text;
}

}  // namespace corvane
