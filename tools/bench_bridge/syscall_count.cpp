#include "tools/bench_bridge/syscall_count.h"

#include <linux/perf_event.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace corvane {
namespace {

// Where tracefs may be mounted, newest first.
constexpr const char* kSysEnterIds[] = {
    "/sys/kernel/tracing/events/raw_syscalls/sys_enter/id",
    "/sys/kernel/debug/tracing/events/raw_syscalls/sys_enter/id"};

std::optional<unsigned long long> SysEnterId() {
  for (const char* path : kSysEnterIds) {
    std::ifstream file(path);
    unsigned long long id = 0;
    if (file >> id) return id;
  }
  return std::nullopt;
}

}  // namespace

SyscallCount::SyscallCount(pid_t pid) {
  const std::optional<unsigned long long> id = SysEnterId();
  if (!id) {
    why_not_ = "no raw_syscalls tracepoint (tracefs not mounted or not readable)";
    return;
  }
  std::error_code error;
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    perf_event_attr attr{};
    attr.type = PERF_TYPE_TRACEPOINT;
    attr.size = sizeof attr;
    attr.config = *id;
    attr.inherit = 1;
    const pid_t tid = static_cast<pid_t>(std::stol(task.path().filename().string()));
    const long fd = ::syscall(SYS_perf_event_open, &attr, tid, -1, -1, PERF_FLAG_FD_CLOEXEC);
    if (fd < 0) {
      why_not_ = std::string("perf_event_open: ") + std::strerror(errno);
      counters_.clear();
      return;
    }
    counters_.emplace_back(static_cast<int>(fd));
  }
  if (error || counters_.empty()) why_not_ = "process " + std::to_string(pid) + " gone";
}

std::optional<long long> SyscallCount::Read() const {
  if (!why_not_.empty()) return std::nullopt;
  long long total = 0;
  for (const OwnedFd& counter : counters_) {
    uint64_t n = 0;
    if (::read(counter.get(), &n, sizeof n) != static_cast<ssize_t>(sizeof n)) return std::nullopt;
    total += static_cast<long long>(n);
  }
  return total;
}

}  // namespace corvane
