#include "tests/app/corvane_process.h"

#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace corvane::test {

using namespace std::chrono_literals;

const std::string kCorvane = CORVANE_BUILD_DIR "/app/corvane";
const std::string kSimrig = CORVANE_BUILD_DIR "/tools/simrig/corvane-simrig";

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "corvane-e2e-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::unique_ptr<ChildProcess> StartSimrig(const std::string& link,
                                          const std::vector<std::string>& args) {
  std::vector<std::string> argv = {kSimrig, "--link", link};
  argv.insert(argv.end(), args.begin(), args.end());
  auto simrig = std::make_unique<ChildProcess>(argv);
  if (!simrig->ReadLine(In(5s))) throw std::runtime_error("simrig did not start: " + simrig->err());
  return simrig;
}

bool HoldsOpen(const ChildProcess& program, const std::string& path) {
  std::error_code error;
  const std::filesystem::path device = std::filesystem::canonical(path, error);
  if (error) return false;
  const std::string fds = "/proc/" + std::to_string(program.pid()) + "/fd";
  for (const auto& fd : std::filesystem::directory_iterator(fds, error)) {
    if (std::filesystem::read_symlink(fd.path(), error) == device) return true;
  }
  return false;
}

bool AwaitHoldsOpen(const ChildProcess& program, const std::string& path, Deadline deadline) {
  while (!HoldsOpen(program, path)) {
    if (MsLeft(deadline) == 0) return false;
    ::poll(nullptr, 0, 5);
  }
  return true;
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

const std::string& StderrNow(ChildProcess& program) {
  // Wait drains the pipes while it waits; what was written before the call is there by then.
  program.Wait(In(100ms));
  return program.err();
}

size_t Occurrences(const std::string& haystack, const std::string& needle) {
  size_t n = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + needle.size())) {
    ++n;
  }
  return n;
}

std::optional<long> ResidentKiB(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return std::nullopt;
}

NoAsanQuarantine::NoAsanQuarantine() {
  const char* options = std::getenv("ASAN_OPTIONS");
  if (options) saved_ = options;
  ::setenv("ASAN_OPTIONS", (saved_ ? *saved_ + ":" : "").append("quarantine_size_mb=0").c_str(), 1);
}

NoAsanQuarantine::~NoAsanQuarantine() {
  if (saved_) {
    ::setenv("ASAN_OPTIONS", saved_->c_str(), 1);
  } else {
    ::unsetenv("ASAN_OPTIONS");
  }
}

CorvaneRig::CorvaneRig(const std::vector<std::string>& simrig_args, const std::string& trace)
    : trace_(trace) {
  std::vector<std::string> argv = {kSimrig};
  argv.insert(argv.end(), simrig_args.begin(), simrig_args.end());
  simrig = std::make_unique<ChildProcess>(argv);
  auto line = simrig->ReadLine(In(5s));
  if (!line) throw std::runtime_error("simrig printed no path: " + simrig->err());
  rig_path = *line;
  WriteConfiguration();
}

CorvaneRig::CorvaneRig(RigLineLater) : rig_path(dir.File("rig-line")) {
  WriteConfiguration();
}

CorvaneRig::~CorvaneRig() = default;

void CorvaneRig::WriteConfiguration() {
  WriteWholeFile(dir.File("Corvane.INI"), Configuration());
}

std::string CorvaneRig::Configuration() const {
  return "[SETTINGS]\nPORTA=" + port_a + "\nPORTB=" + port_b + "\nPORTO=" + rig_path +
         "\nTRACE=" + trace_ + "\n";
}

void CorvaneRig::PlugSimrig(const std::vector<std::string>& args) {
  simrig = StartSimrig(rig_path, args);
}

void CorvaneRig::PullSimrig() {
  simrig->Signal(SIGTERM);
  if (!simrig->Wait(In(5s))) throw std::runtime_error("simrig did not end: " + simrig->err());
  simrig.reset();
}

void CorvaneRig::Launch(const std::vector<std::string>& extra_args, bool headless) {
  std::string command = "cd '" + dir.path() + "' && exec '" + kCorvane + "'";
  if (headless) command += " --headless";
  for (const auto& arg : extra_args) command += " '" + arg + "'";
  corvane = std::make_unique<ChildProcess>(std::vector<std::string>{"/bin/sh", "-c", command});
}

void CorvaneRig::Start(const std::vector<std::string>& extra_args, bool headless) {
  Launch(extra_args, headless);
  if (!AwaitRouting(a, In(10s))) {
    corvane->Signal(SIGTERM);
    corvane->Wait(In(5s));
    throw std::runtime_error("corvane did not answer: " + corvane->err() + "\ntrace:\n" + Trace());
  }
}

std::string CorvaneRig::Ask(PtyPair& client, const std::string& query, Deadline deadline) {
  client.master().Send(query);
  return client.master().ReceiveUntil(";", deadline);
}

bool CorvaneRig::AwaitRouting(PtyPair& client, Deadline deadline) {
  // Start-up, not loss: a query that reaches a port before corvane has opened it and begun
  // watching it is not routed, so until the first answer the query is sent again. Every
  // test counts its queries from here on.
  std::string answer;
  while (answer != "ID0251;" && MsLeft(deadline) > 0) {
    answer = Ask(client, "ID;", std::min(deadline, In(kAnswerTimeout)));
  }
  return answer == "ID0251;";
}

}  // namespace corvane::test
