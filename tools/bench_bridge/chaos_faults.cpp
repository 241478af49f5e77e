#include "tools/bench_bridge/chaos_faults.h"

#include <sstream>

namespace corvane {
namespace {

struct FaultShape {
  Fault fault;
  const char* name;
  bool on_rig;
  int min_ms, max_ms;          // length
  int min_amount, max_amount;  // reads in a burst, bytes of noise
};

// A burst goes past the ring's 128 entries; silences stay under the router's give-up time;
// a pulled line stays away for a few watchdog ticks; a hung client stays long enough for its
// line to fill (some 64 KiB on a pseudo-terminal).
constexpr FaultShape kShapes[] = {
    {Fault::kReopenClient, "reopen-client", false, 200, 1500, 0, 0},
    {Fault::kPullRig, "pull-rig", true, 500, 3000, 0, 0},
    {Fault::kSilenceRig, "silence-rig", true, 200, 600, 0, 0},
    {Fault::kBurst, "burst", false, 0, 0, 129, 200},
    {Fault::kFlood, "flood", false, 300, 1500, 0, 0},
    {Fault::kNoise, "noise", false, 0, 0, 64, 2048},
    {Fault::kHungClient, "hung-client", false, 3000, 10000, 0, 0},
};

const FaultShape& Shape(Fault fault) {
  for (const FaultShape& s : kShapes)
    if (s.fault == fault) return s;
  return kShapes[0];
}

}  // namespace

const char* FaultName(Fault fault) {
  return Shape(fault).name;
}

std::vector<Fault> AllFaults() {
  std::vector<Fault> all;
  for (const FaultShape& s : kShapes) all.push_back(s.fault);
  return all;
}

std::optional<std::vector<Fault>> ParseFaults(const std::string& text) {
  std::vector<Fault> faults;
  std::istringstream in(text);
  for (std::string name; std::getline(in, name, ',');) {
    bool known = false;
    for (const FaultShape& s : kShapes) {
      if (name != s.name) continue;
      faults.push_back(s.fault);
      known = true;
    }
    if (!known) return std::nullopt;
  }
  if (faults.empty()) return std::nullopt;
  return faults;
}

FaultPicker::FaultPicker(std::uint64_t seed, std::vector<Fault> faults, int clients)
    : random_(seed), faults_(std::move(faults)), clients_(clients) {}

int FaultPicker::Between(int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(random_);
}

std::optional<FaultEvent> FaultPicker::Next(const std::vector<bool>& client_busy, bool rig_busy) {
  std::vector<FaultEvent> free;
  for (Fault fault : faults_) {
    const FaultShape& s = Shape(fault);
    if (s.on_rig) {
      if (!rig_busy) free.push_back({fault, kRigTarget});
      continue;
    }
    for (int c = 0; c < clients_; ++c)
      if (!client_busy[c]) free.push_back({fault, c});
  }
  if (free.empty()) return std::nullopt;
  FaultEvent event = free[Between(0, static_cast<int>(free.size()) - 1)];
  const FaultShape& s = Shape(event.fault);
  event.length = std::chrono::milliseconds(Between(s.min_ms, s.max_ms));
  event.amount = Between(s.min_amount, s.max_amount);
  return event;
}

std::chrono::milliseconds FaultPicker::Gap() {
  return std::chrono::milliseconds(Between(300, 2000));
}

}  // namespace corvane
