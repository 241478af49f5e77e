#pragma once
// The lines a benchmark talks through: the simulated transceiver alone, a bare socat relay in
// front of it, or, with a client line on port A and one on port B, the floor relay or the
// bridge.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/bench_bridge/cat_client.h"
#include "tools/bench_bridge/child_program.h"
#include "tools/bench_bridge/client_line.h"
#include "tools/bench_bridge/tcp_client_line.h"

namespace corvane {

struct ProgramPaths {
  std::string corvane;
  std::string simrig;
  std::string relay_floor;
  std::string socat = "/usr/bin/socat";
};

// A fresh directory for configuration, trace and the children's output. Removed on
// destruction unless Keep() was called.
class ScratchDir {
 public:
  ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  void Keep() { keep_ = true; }

 private:
  std::string path_;
  bool keep_ = false;
};

class SimulatedRig {
 public:
  // `options` go to corvane-simrig's command line (--refuse N).
  SimulatedRig(const ProgramPaths& programs, const ScratchDir& dir, const std::string& name,
               const std::vector<std::string>& options = {});
  const std::string& path() const { return path_; }
  ChildProgram& program() { return *program_; }

 private:
  std::unique_ptr<ChildProgram> program_;
  std::string path_;
};

// socat copying bytes between a client pseudo-terminal and the transceiver's line.
class SocatRelay {
 public:
  SocatRelay(const ProgramPaths& programs, const ScratchDir& dir, const std::string& rig_path);
  ClientLine& client() { return client_; }
  ChildProgram& program() { return *program_; }

 private:
  ClientLine client_;
  std::unique_ptr<ChildProgram> program_;
};

// The floor relay: the bridge's routing on one thread, clients A and B on pseudo-terminals.
class FloorRelay {
 public:
  FloorRelay(const ProgramPaths& programs, const ScratchDir& dir, const std::string& rig_path);
  ClientLine& a() { return a_; }
  ClientLine& b() { return b_; }
  ChildProgram& program() { return *program_; }

 private:
  ClientLine a_;
  ClientLine b_;
  std::unique_ptr<ChildProgram> program_;
};

// The connections a latency target talks through on a TCP line: 0 for a target whose
// clients are pseudo-terminals ("corvane-tcp": 1, "corvane-tcp4": 4).
int TcpClientsOf(const std::string& target);
// Whether a target runs the bridge with an event thread per line ("corvane-threads") instead
// of the main loop watching the lines.
bool EventThreadsOf(const std::string& target);

// corvane --headless in the scratch directory, ports A and B on client pseudo-terminals, or
// port A a TCP line on the loopback address with `tcp_clients` connections.
// `corvane` is the program to run; a run may hold several, each with a directory of its own.
class RunningBridge {
 public:
  RunningBridge(const std::string& corvane, const std::string& dir, const std::string& rig_path,
                int tcp_clients = 0, bool event_threads = false);
  // The TCP line's connections, made once the bridge listens (empty without a TCP line).
  std::vector<int> ConnectTcpClients(Deadline deadline);
  ClientLine& a() { return a_; }
  ClientLine& b() { return b_; }
  ChildProgram& program() { return *program_; }
  // SIGTERM and the exit status as text; an exit other than 0 is flagged.
  std::string Stop(bool& clean);
  // Stops the bridge, prints how it ended, and says whether it ended cleanly.
  bool StopAndReport();

 private:
  ClientLine a_;
  ClientLine b_;
  int tcp_clients_ = 0;
  uint16_t tcp_port_ = 0;
  std::vector<OwnedFd> connections_;
  std::unique_ptr<ChildProgram> program_;
};

// Asks until an answer with the query's token comes back (the bridge may be resetting its
// ports, or still opening them). Returns that answer, or nothing by the deadline.
std::optional<std::string> AskUntilAnswered(CatClient& client, const std::string& query,
                                            Deadline deadline);

// The run's exit status; a failed run keeps its files and says where they are.
int FinishRun(bool ok, ScratchDir& dir);

}  // namespace corvane
