#pragma once
// What the chaos run throws at the bridge, drawn at random from a seed that is printed, so a
// run that found a fault can be repeated.
#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace corvane {

enum class Fault {
  kReopenClient,  // the client closes its line and opens it again
  kPullRig,       // the transceiver's line is taken away and brought back
  kSilenceRig,    // the transceiver stops answering for a moment (SIGSTOP, SIGCONT)
  kBurst,         // more reads in one write than the bridge's ring holds
  kFlood,         // sets and reads as fast as the line takes them
  kNoise,         // bytes that are no command, ended by ";"
  kHungClient,    // the client goes on asking but stops reading
};

inline constexpr int kRigTarget = -1;  // FaultEvent::target for the transceiver's faults

struct FaultEvent {
  Fault fault = Fault::kBurst;
  int target = kRigTarget;              // client index, or kRigTarget
  std::chrono::milliseconds length{0};  // how long the fault lasts
  int amount = 0;                       // reads in a burst, bytes of noise
};

// "burst", "pull-rig", ...
const char* FaultName(Fault fault);
// A comma-separated list of fault names; nothing when a name is unknown or the list empty.
std::optional<std::vector<Fault>> ParseFaults(const std::string& text);
std::vector<Fault> AllFaults();

class FaultPicker {
 public:
  FaultPicker(std::uint64_t seed, std::vector<Fault> faults, int clients);
  // A fault of the allowed kinds, on a target that is not busy; nothing when every fault
  // would need a busy target.
  std::optional<FaultEvent> Next(const std::vector<bool>& client_busy, bool rig_busy);
  // The pause before the next fault.
  std::chrono::milliseconds Gap();

 private:
  int Between(int low, int high);

  std::mt19937_64 random_;
  std::vector<Fault> faults_;
  int clients_;
};

}  // namespace corvane
