#include "tools/bench_bridge/child_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <thread>

namespace corvane {

ChildProgram::ChildProgram(const ChildLaunch& launch)
    : name_(std::filesystem::path(launch.argv.at(0)).filename().string()) {
  int out_pipe[2] = {-1, -1};
  if (launch.capture_stdout && ::pipe2(out_pipe, O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe2");
  }
  std::vector<char*> args;
  for (const std::string& a : launch.argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t parent = ::getpid();

  pid_ = ::fork();
  if (pid_ < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (pid_ == 0) {
    // Only async-signal-safe calls from here on. The benchmark's children must never
    // outlive it, whatever ends it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(126);
    const int log = launch.output_file.empty()
                        ? ::open("/dev/null", O_WRONLY)
                        : ::open(launch.output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (log < 0) ::_exit(126);
    ::dup2(log, STDERR_FILENO);
    ::dup2(launch.capture_stdout ? out_pipe[1] : log, STDOUT_FILENO);
    const int null_in = ::open("/dev/null", O_RDONLY);
    if (null_in >= 0) ::dup2(null_in, STDIN_FILENO);
    if (!launch.directory.empty() && ::chdir(launch.directory.c_str()) != 0) ::_exit(126);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  if (launch.capture_stdout) {
    ::close(out_pipe[1]);
    out_ = OwnedFd(out_pipe[0]);
  }
}

ChildProgram::~ChildProgram() {
  Stop(After(std::chrono::milliseconds(3000)));
}

std::optional<std::string> ChildProgram::ReadLine(Deadline deadline) {
  for (;;) {
    const std::size_t end = out_text_.find('\n');
    if (end != std::string::npos) {
      std::string line = out_text_.substr(0, end);
      out_text_.erase(0, end + 1);
      return line;
    }
    if (out_.get() < 0) return std::nullopt;
    pollfd in{out_.get(), POLLIN, 0};
    const int ready = ::poll(&in, 1, MsUntil(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return std::nullopt;
    char buffer[512];
    const ssize_t n = ::read(out_.get(), buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    out_text_.append(buffer, static_cast<std::size_t>(n));
  }
}

bool ChildProgram::Running() {
  if (status_) return false;
  int raw = 0;
  const pid_t done = ::waitpid(pid_, &raw, WNOHANG);
  if (done != pid_) return true;
  status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
  return false;
}

bool ChildProgram::WaitUntil(Deadline deadline) {
  while (Running()) {
    if (BenchClock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

int ChildProgram::Stop(Deadline deadline) {
  if (Running()) {
    ::kill(pid_, SIGTERM);
    if (!WaitUntil(deadline)) {
      ::kill(pid_, SIGKILL);
      WaitUntil(After(std::chrono::milliseconds(5000)));
    }
  }
  return status_.value_or(-SIGKILL);
}

std::string DescribeStatus(int status) {
  if (status >= 0) return "exit " + std::to_string(status);
  return "killed by signal " + std::to_string(-status);
}

}  // namespace corvane
