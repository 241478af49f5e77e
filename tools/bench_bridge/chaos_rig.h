#pragma once
// The simulated transceiver behind a link of the run's own, so it can be taken away and
// brought back on the same path as an adapter pulled and plugged, or frozen for a moment.
// Every start is given the same VFOs and modes before the link points at it: the answers that
// say which client asked stay the same across restarts.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tools/bench_bridge/bench_targets.h"

namespace corvane {

struct RigPreset {
  std::string sets;                                        // written to a fresh transceiver
  std::vector<std::pair<std::string, std::string>> reads;  // query, the answer it must give
};

class ChaosRig {
 public:
  // `options` go to each corvane-simrig started. Starts one and plugs it in.
  ChaosRig(const ProgramPaths& programs, const ScratchDir& dir, std::string link,
           std::vector<std::string> options, RigPreset preset);
  ChaosRig(const ChaosRig&) = delete;
  ChaosRig& operator=(const ChaosRig&) = delete;
  ~ChaosRig();

  const std::string& link() const { return link_; }
  bool plugged() const { return rig_ != nullptr; }
  // A new transceiver, preset, then the link to it. Throws when it cannot be started or
  // does not take the preset.
  void Plug();
  // The link first, so a reopen in between finds nothing, then the transceiver is stopped.
  void Pull();
  void Freeze();
  void Thaw();
  // The transceiver running now; null while pulled.
  ChildProgram* program() { return rig_ ? &rig_->program() : nullptr; }

 private:
  const ProgramPaths& programs_;
  const ScratchDir& dir_;
  std::string link_;
  std::vector<std::string> options_;
  RigPreset preset_;
  std::unique_ptr<SimulatedRig> rig_;
  bool frozen_ = false;
  int starts_ = 0;
};

}  // namespace corvane
