#pragma once
// The real corvane binary, headless, in a scratch directory of its own, with the
// simulated transceiver on its out port and two pseudo-terminal clients on A and B.
#include <memory>
#include <string>

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

class CorvaneRig {
 public:
  // Starts the simulated transceiver (with extra arguments) and writes Corvane.INI naming
  // the three lines; Start() then runs corvane.
  explicit CorvaneRig(const std::vector<std::string>& simrig_args = {},
                      const std::string& trace = "YES");
  ~CorvaneRig();

  // Runs corvane --headless in the scratch directory and waits until it routes a query.
  void Start(const std::vector<std::string>& extra_args = {}, bool headless = true);
  // Sends a query from a client and returns the answer up to its ";". The watchdog closes
  // and reopens the ports whenever the queue stands still, which can swallow a command sent
  // at that instant; like a real client, the query is sent again then.
  std::string Ask(PtyPair& client, const std::string& query);
  std::string Trace() const { return ReadWholeFile(dir.File("Corvane.Log")); }

  ScratchDir dir;
  PtyPair a, b;
  std::string rig_path;
  std::unique_ptr<ChildProcess> simrig;
  std::unique_ptr<ChildProcess> corvane;
};

}  // namespace corvane::test
