#include "tests/robustness/bridge_under_test.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <system_error>

namespace corvane::test {

using namespace std::chrono_literals;

void PointLink(const std::string& link, const std::string& target) {
  const std::string temporary = link + ".new";
  ::unlink(temporary.c_str());
  if (::symlink(target.c_str(), temporary.c_str()) != 0 ||
      ::rename(temporary.c_str(), link.c_str()) != 0) {
    throw std::system_error(errno, std::generic_category(), "link " + link);
  }
}

std::unique_ptr<ChildProcess> StartCorvane(const std::string& dir,
                                           const std::vector<std::string>& args) {
  std::string command = "cd '" + dir + "' && exec '" + kCorvane + "' --headless";
  for (const auto& arg : args) command += " '" + arg + "'";
  return std::make_unique<ChildProcess>(std::vector<std::string>{"/bin/sh", "-c", command});
}

bool StderrShows(ChildProcess& program, const std::string& text, Deadline deadline) {
  while (program.err().find(text) == std::string::npos) {
    if (MsLeft(deadline) == 0) return false;
    // Wait drains the pipes while it waits; a short slice keeps the check responsive.
    if (program.Wait(std::min(deadline, In(50ms)))) {
      return program.err().find(text) != std::string::npos;
    }
  }
  return true;
}

bool Running(ChildProcess& program) {
  return !program.Wait(std::chrono::steady_clock::now()).has_value();
}

size_t Occurrences(const std::string& haystack, const std::string& needle) {
  size_t n = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + needle.size())) {
    ++n;
  }
  return n;
}

std::string AskFor(PtyPair& client, const std::string& query, const std::string& expected,
                   int attempts) {
  std::string got;
  for (int i = 0; i < attempts && got.find(expected) == std::string::npos; ++i) {
    client.master().Send(query);
    got += client.master().ReceiveUntil(expected, In(1500ms));
  }
  return got;
}

void DrainInput(int fd) {
  char buffer[4096];
  for (;;) {
    pollfd in{fd, POLLIN, 0};
    if (::poll(&in, 1, 0) <= 0 || !(in.revents & POLLIN)) return;
    if (::read(fd, buffer, sizeof buffer) <= 0) return;
  }
}

std::unique_ptr<ChildProcess> StartSimrig(const std::string& link,
                                          const std::vector<std::string>& args) {
  std::vector<std::string> argv = {kSimrig, "--link", link};
  argv.insert(argv.end(), args.begin(), args.end());
  auto simrig = std::make_unique<ChildProcess>(argv);
  if (!simrig->ReadLine(In(5s))) throw std::runtime_error("simrig did not start: " + simrig->err());
  return simrig;
}

BridgeFiles::BridgeFiles()
    : a(std::make_unique<PtyPair>()),
      b(std::make_unique<PtyPair>()),
      link_a(dir.File("porta")),
      link_b(dir.File("portb")),
      link_rig(dir.File("rig")) {
  PointLink(link_a, a->slave_path());
  PointLink(link_b, b->slave_path());
}

std::string BridgeFiles::Ini(const std::string& out_path) const {
  return "[SETTINGS]\nPORTA=" + link_a + "\nPORTB=" + link_b + "\nPORTO=" + out_path +
         "\nTRACE=YES\n";
}

std::optional<long> ResidentKiB(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return std::nullopt;
}

}  // namespace corvane::test
