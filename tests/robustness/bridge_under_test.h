#pragma once
// The real corvane binary, headless, in a scratch directory, with every line under the
// test's control: the clients are pseudo-terminals reached through links in the scratch
// directory (so a line can vanish and come back under the same name), and the transceiver
// is either the simulated one or a pseudo-terminal the test answers on itself.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/app/corvane_process.h"

namespace corvane::test {

// Points `link` at `target`, replacing an older link at once.
void PointLink(const std::string& link, const std::string& target);

// Runs corvane --headless in dir with extra arguments.
std::unique_ptr<ChildProcess> StartCorvane(const std::string& dir,
                                           const std::vector<std::string>& args = {});

// Waits until the program's stderr holds `text`; false if it ended or the deadline passed.
bool StderrShows(ChildProcess& program, const std::string& text, Deadline deadline);
bool Running(ChildProcess& program);
size_t Occurrences(const std::string& haystack, const std::string& needle);

// Sends `query` until `expected` comes back (the watchdog's reset can swallow a command sent
// at that instant); returns everything the client received.
std::string AskFor(PtyPair& client, const std::string& query, const std::string& expected,
                   int attempts = 6);

// Discards whatever waits on a descriptor.
void DrainInput(int fd);

// A simulated transceiver on a link of our choosing.
std::unique_ptr<ChildProcess> StartSimrig(const std::string& link,
                                          const std::vector<std::string>& args = {});

// Scratch directory with the two client lines reached through links "porta" and "portb".
struct BridgeFiles {
  BridgeFiles();
  std::string Ini(const std::string& out_path) const;

  ScratchDir dir;
  std::unique_ptr<PtyPair> a, b;
  std::string link_a, link_b, link_rig;
};

// The VmRSS of a process in KiB, or nothing when it has gone.
std::optional<long> ResidentKiB(int pid);

}  // namespace corvane::test
