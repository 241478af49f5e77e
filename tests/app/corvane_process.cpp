#include "tests/app/corvane_process.h"

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

CorvaneRig::CorvaneRig(const std::vector<std::string>& simrig_args, const std::string& trace) {
  std::vector<std::string> argv = {kSimrig};
  argv.insert(argv.end(), simrig_args.begin(), simrig_args.end());
  simrig = std::make_unique<ChildProcess>(argv);
  auto line = simrig->ReadLine(In(5s));
  if (!line) throw std::runtime_error("simrig printed no path: " + simrig->err());
  rig_path = *line;
  WriteConfiguration(trace);
}

CorvaneRig::CorvaneRig(RigLineLater) : rig_path(dir.File("rig-line")) {
  WriteConfiguration("YES");
}

CorvaneRig::~CorvaneRig() = default;

void CorvaneRig::WriteConfiguration(const std::string& trace) {
  WriteWholeFile(dir.File("Corvane.INI"), "[SETTINGS]\nPORTA=" + a.slave_path() +
                                              "\nPORTB=" + b.slave_path() + "\nPORTO=" + rig_path +
                                              "\nTRACE=" + trace + "\n");
}

void CorvaneRig::Launch(const std::vector<std::string>& extra_args, bool headless) {
  std::string command = "cd '" + dir.path() + "' && exec '" + kCorvane + "'";
  if (headless) command += " --headless";
  for (const auto& arg : extra_args) command += " '" + arg + "'";
  corvane = std::make_unique<ChildProcess>(std::vector<std::string>{"/bin/sh", "-c", command});
}

void CorvaneRig::Start(const std::vector<std::string>& extra_args, bool headless) {
  Launch(extra_args, headless);
  // Start-up, not loss: a query that reaches a port before corvane has opened it and begun
  // watching it is not routed, so until the first answer the query is sent again. Every
  // test counts its queries from here on.
  const Deadline up = In(10s);
  std::string answer;
  while (answer != "ID0251;" && MsLeft(up) > 0) {
    answer = Ask(a, "ID;", std::min(up, In(kAnswerTimeout)));
  }
  if (answer != "ID0251;") {
    corvane->Signal(SIGTERM);
    corvane->Wait(In(5s));
    throw std::runtime_error("corvane did not answer: " + corvane->err() + "\ntrace:\n" + Trace());
  }
}

std::string CorvaneRig::Ask(PtyPair& client, const std::string& query, Deadline deadline) {
  client.master().Send(query);
  return client.master().ReceiveUntil(";", deadline);
}

bool CorvaneRig::HoldsOpen(const std::string& path) const {
  std::error_code error;
  const std::filesystem::path device = std::filesystem::canonical(path, error);
  if (error || !corvane) return false;
  const std::string fds = "/proc/" + std::to_string(corvane->pid()) + "/fd";
  for (const auto& fd : std::filesystem::directory_iterator(fds, error)) {
    if (std::filesystem::read_symlink(fd.path(), error) == device) return true;
  }
  return false;
}

}  // namespace corvane::test
