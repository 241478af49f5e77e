#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace corvane::test {

int MsLeft(Deadline deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe2");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  out_fd_ = out[0];
  err_fd_ = err[0];
  if (rc != 0) {
    ::close(out_fd_);
    ::close(err_fd_);
    throw std::system_error(rc, std::generic_category(), "posix_spawn " + argv[0]);
  }
}

ChildProcess::~ChildProcess() {
  if (!status_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  ::close(out_fd_);
  ::close(err_fd_);
}

bool ChildProcess::Drain(int timeout_ms) {
  pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
  if (::poll(fds, 2, timeout_ms) <= 0) return false;
  bool got = false;
  for (auto [fd, text] : {std::pair{out_fd_, &out_}, std::pair{err_fd_, &err_}}) {
    char buffer[4096];
    pollfd one{fd, POLLIN, 0};
    if (::poll(&one, 1, 0) > 0) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) {
        text->append(buffer, static_cast<std::size_t>(n));
        got = true;
      }
    }
  }
  return got;
}

std::optional<std::string> ChildProcess::ReadLine(Deadline deadline) {
  for (;;) {
    const std::size_t end = out_.find('\n', out_taken_);
    if (end != std::string::npos) {
      std::string line = out_.substr(out_taken_, end - out_taken_);
      out_taken_ = end + 1;
      return line;
    }
    const int left = MsLeft(deadline);
    if (left == 0) return std::nullopt;
    if (!Drain(left) && status_) return std::nullopt;
    if (!status_) Wait(std::chrono::steady_clock::now());
  }
}

void ChildProcess::Signal(int signal) const {
  if (!status_) ::kill(pid_, signal);
}

std::optional<int> ChildProcess::Wait(Deadline deadline) {
  if (status_) return status_;
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
  if (pidfd < 0) throw std::system_error(errno, std::generic_category(), "pidfd_open");
  for (;;) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
      break;
    }
    const int left = MsLeft(deadline);
    if (left == 0) break;
    pollfd fds[3] = {{pidfd, POLLIN, 0}, {out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
    ::poll(fds, 3, left);
    if (fds[1].revents || fds[2].revents) Drain(0);
  }
  ::close(pidfd);
  if (status_) {
    while (Drain(0)) {
    }
  }
  return status_;
}

}  // namespace corvane::test
