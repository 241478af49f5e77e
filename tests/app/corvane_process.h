#pragma once
// The real corvane binary, headless, in a scratch directory of its own, with the
// simulated transceiver on its out port and two pseudo-terminal clients on A and B.
#include <chrono>
#include <memory>
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

  // Runs corvane --headless in the scratch directory.
  void Launch(const std::vector<std::string>& extra_args = {}, bool headless = true);
  // Launches corvane and waits until it routes a query.
  void Start(const std::vector<std::string>& extra_args = {}, bool headless = true);
  // Sends a query from a client once; returns what came back until a ";" ended it or the
  // deadline passed.
  std::string Ask(PtyPair& client, const std::string& query,
                  Deadline deadline = In(kAnswerTimeout));
  // Whether corvane has the tty behind `path` open (the path may be a link).
  bool HoldsOpen(const std::string& path) const;
  std::string Trace() const { return ReadWholeFile(dir.File("Corvane.Log")); }

  ScratchDir dir;
  PtyPair a, b;
  std::string rig_path;
  std::unique_ptr<ChildProcess> simrig;
  std::unique_ptr<ChildProcess> corvane;

 private:
  void WriteConfiguration(const std::string& trace);
};

}  // namespace corvane::test
