#include "tools/bench_bridge/bench_targets.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace corvane {
namespace {

constexpr std::chrono::milliseconds kStartTimeout{10'000};
constexpr std::chrono::milliseconds kRetryAfter{300};

}  // namespace

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "corvane-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp");
  }
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  if (!keep_) std::filesystem::remove_all(path_, ignored);
}

SimulatedRig::SimulatedRig(const ProgramPaths& programs, const ScratchDir& dir,
                           const std::string& name, const std::vector<std::string>& options) {
  std::vector<std::string> argv = {programs.simrig};
  argv.insert(argv.end(), options.begin(), options.end());
  program_ =
      std::make_unique<ChildProgram>(ChildLaunch{argv, dir.path(), dir.File(name + ".err"), true});
  const std::optional<std::string> line = program_->ReadLine(After(kStartTimeout));
  if (!line || line->empty()) {
    throw std::runtime_error("corvane-simrig printed no line path (see " + dir.File(name + ".err") +
                             ")");
  }
  path_ = *line;
}

SocatRelay::SocatRelay(const ProgramPaths& programs, const ScratchDir& dir,
                       const std::string& rig_path)
    : client_(ClientLine::NewPair()) {
  program_ = std::make_unique<ChildProgram>(
      ChildLaunch{{programs.socat, "-b", "4096", client_.path() + ",rawer", rig_path + ",rawer"},
                  dir.path(),
                  dir.File("socat.err"),
                  false});
}

FloorRelay::FloorRelay(const ProgramPaths& programs, const ScratchDir& dir,
                       const std::string& rig_path)
    : a_(ClientLine::NewPair()), b_(ClientLine::NewPair()) {
  program_ = std::make_unique<ChildProgram>(
      ChildLaunch{{programs.relay_floor, a_.path(), b_.path(), rig_path},
                  dir.path(),
                  dir.File("relay-floor.err"),
                  false});
}

int TcpClientsOf(const std::string& target) {
  if (target == "corvane-tcp") return 1;
  if (target == "corvane-tcp4") return 4;
  return 0;
}

bool EventThreadsOf(const std::string& target) {
  return target == "corvane-threads";
}

RunningBridge::RunningBridge(const std::string& corvane, const std::string& dir,
                             const std::string& rig_path, int tcp_clients, bool event_threads)
    : a_(ClientLine::NewPair()), b_(ClientLine::NewPair()), tcp_clients_(tcp_clients) {
  const std::string ini_path = dir + "/Corvane.INI";
  std::string port_a = a_.path();
  if (tcp_clients_ > 0) {
    tcp_port_ = FreeLoopbackPort();
    port_a = "tcp:127.0.0.1:" + std::to_string(tcp_port_);
  }
  {
    std::ofstream ini(ini_path, std::ios::binary);
    ini << "[SETTINGS]\r\nPORTA=" << port_a << "\r\nPORTB=" << b_.path()
        << "\r\nPORTO=" << rig_path << "\r\nTRACE=NOT\r\n";
    if (!ini) throw std::runtime_error("cannot write " + ini_path);
  }
  std::vector<std::string> argv = {corvane, "--headless"};
  if (event_threads) argv.push_back("--event-threads");
  program_ = std::make_unique<ChildProgram>(ChildLaunch{argv, dir, dir + "/corvane.out", false});
}

std::vector<int> RunningBridge::ConnectTcpClients(Deadline deadline) {
  std::vector<int> fds;
  while (static_cast<int>(connections_.size()) < tcp_clients_) {
    connections_.push_back(ConnectLoopback(tcp_port_, deadline));
  }
  for (const OwnedFd& c : connections_) fds.push_back(c.get());
  return fds;
}

std::string RunningBridge::Stop(bool& clean) {
  const bool was_running = program_->Running();
  const int status = program_->Stop(After(std::chrono::milliseconds(5000)));
  clean = was_running && status == 0;
  return was_running ? "stopped by SIGTERM, " + DescribeStatus(status)
                     : "had already ended, " + DescribeStatus(status);
}

std::optional<std::string> AskUntilAnswered(CatClient& client, const std::string& query,
                                            Deadline deadline) {
  const std::string token = query.substr(0, 2);
  while (BenchClock::now() < deadline) {
    client.Discard();
    client.Send(query);
    const Deadline retry = std::min(deadline, After(kRetryAfter));
    while (auto answer = client.AwaitAnswer(retry)) {
      if (answer->rfind(token, 0) == 0) return answer;
    }
  }
  return std::nullopt;
}

bool RunningBridge::StopAndReport() {
  bool clean = false;
  std::printf("  corvane %s\n", Stop(clean).c_str());
  return clean;
}

int FinishRun(bool ok, ScratchDir& dir) {
  if (!ok) {
    dir.Keep();
    std::printf("FAILED (files kept in %s)\n", dir.path().c_str());
  }
  std::fflush(stdout);
  return ok ? 0 : 1;
}

}  // namespace corvane
