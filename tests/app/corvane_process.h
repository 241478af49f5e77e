#pragma once
// The real corvane binary, headless, in a scratch directory of its own, with the
// simulated transceiver on its out port and two pseudo-terminal clients on A and B.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/pty_pair.h"

namespace corvane::test {

extern const std::string kCorvane;
extern const std::string kSimrig;

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);

// A fresh directory, removed afterwards.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// How long a query through the bridge may take to be answered.
inline constexpr std::chrono::milliseconds kAnswerTimeout{1500};

// What corvane reports when a line's name leads nowhere.
inline constexpr const char* kLineMissing = "Unable to open com port (Error: 2)";

// A simulated transceiver that puts its line under `link`; it removes the link and hangs up
// its line when it ends.
std::unique_ptr<ChildProcess> StartSimrig(const std::string& link,
                                          const std::vector<std::string>& args = {});
// Whether `program` has the tty behind `path` open (the path may be a link).
bool HoldsOpen(const ChildProcess& program, const std::string& path);
// Waits until `program` holds the tty behind `path` open; false by the deadline.
bool AwaitHoldsOpen(const ChildProcess& program, const std::string& path, Deadline deadline);
// Waits until the program's stderr holds `text`; false if it ended or the deadline passed.
bool StderrShows(ChildProcess& program, const std::string& text, Deadline deadline);
// Everything the program has written to stderr up to now.
const std::string& StderrNow(ChildProcess& program);
size_t Occurrences(const std::string& haystack, const std::string& needle);
// The VmRSS of a process in KiB, or nothing when it has gone.
std::optional<long> ResidentKiB(int pid);

// AddressSanitizer holds freed blocks in quarantine, which would read as growth in VmRSS:
// programs started while this lives keep none.
class NoAsanQuarantine {
 public:
  NoAsanQuarantine();
  NoAsanQuarantine(const NoAsanQuarantine&) = delete;
  NoAsanQuarantine& operator=(const NoAsanQuarantine&) = delete;
  ~NoAsanQuarantine();

 private:
  std::optional<std::string> saved_;
};

class CorvaneRig {
 public:
  // Starts the simulated transceiver (with extra arguments) and writes Corvane.INI naming
  // the three lines; Start() then runs corvane.
  explicit CorvaneRig(const std::vector<std::string>& simrig_args = {},
                      const std::string& trace = "YES");
  // Starts no transceiver: Corvane.INI names rig_path, a name in the scratch directory where
  // the test makes the transceiver's line appear when it wants.
  struct RigLineLater {};
  explicit CorvaneRig(RigLineLater);
  ~CorvaneRig();

  // Writes Corvane.INI naming port_a, port_b and rig_path; a test that points a line at
  // another name (a PluggableLine) calls it again before Start().
  void WriteConfiguration();
  // The section WriteConfiguration writes.
  std::string Configuration() const;
  // The simulated transceiver appears under rig_path; pulling it ends it, which removes the
  // name and hangs up its line.
  void PlugSimrig(const std::vector<std::string>& args = {});
  void PullSimrig();

  // Runs corvane --headless in the scratch directory.
  void Launch(const std::vector<std::string>& extra_args = {}, bool headless = true);
  // Launches corvane and waits until it routes a query.
  void Start(const std::vector<std::string>& extra_args = {}, bool headless = true);
  // Sends a query from a client once; returns what came back until a ";" ended it or the
  // deadline passed.
  static std::string Ask(PtyPair& client, const std::string& query,
                         Deadline deadline = In(kAnswerTimeout));
  // Start-up only: sends ID; from the client until the bridge answers it (see Start).
  static bool AwaitRouting(PtyPair& client, Deadline deadline);
  std::string Trace() const { return ReadWholeFile(dir.File("Corvane.Log")); }

  ScratchDir dir;
  PtyPair a, b;
  std::string port_a = a.slave_path(), port_b = b.slave_path();
  std::string rig_path;
  std::unique_ptr<ChildProcess> simrig;
  std::unique_ptr<ChildProcess> corvane;

 private:
  std::string trace_ = "YES";
};

}  // namespace corvane::test
