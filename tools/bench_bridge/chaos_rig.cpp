#include "tools/bench_bridge/chaos_rig.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace corvane {
namespace {

constexpr std::chrono::milliseconds kPresetTimeout{5000};

// Points `link` at `target` in one step: the bridge's reopen finds the old line or the new.
void ReplaceLink(const std::string& link, const std::string& target) {
  const std::string temporary = link + ".new";
  ::unlink(temporary.c_str());
  if (::symlink(target.c_str(), temporary.c_str()) != 0 ||
      ::rename(temporary.c_str(), link.c_str()) != 0) {
    throw std::system_error(errno, std::generic_category(), "link " + link);
  }
}

}  // namespace

ChaosRig::ChaosRig(const ProgramPaths& programs, const ScratchDir& dir, std::string link,
                   std::vector<std::string> options, RigPreset preset)
    : programs_(programs),
      dir_(dir),
      link_(std::move(link)),
      options_(std::move(options)),
      preset_(std::move(preset)) {
  Plug();
}

ChaosRig::~ChaosRig() {
  Thaw();
  ::unlink(link_.c_str());
}

void ChaosRig::Plug() {
  Pull();
  auto rig = std::make_unique<SimulatedRig>(programs_, dir_, "simrig-" + std::to_string(++starts_),
                                            options_);
  {
    ClientLine line = ClientLine::OpenPath(rig->path());
    CatClient client(line.fd());
    client.Send(preset_.sets);
    const Deadline deadline = After(kPresetTimeout);
    for (const auto& [query, expected] : preset_.reads) {
      const std::optional<std::string> answer = AskUntilAnswered(client, query, deadline);
      if (answer != expected) {
        throw std::runtime_error("the simulated transceiver answered " + query + " with " +
                                 answer.value_or("nothing") + ", not " + expected);
      }
    }
  }
  rig_ = std::move(rig);
  ReplaceLink(link_, rig_->path());
}

void ChaosRig::Pull() {
  Thaw();
  ::unlink(link_.c_str());
  rig_.reset();
}

void ChaosRig::Freeze() {
  if (!rig_ || frozen_) return;
  ::kill(rig_->program().pid(), SIGSTOP);
  frozen_ = true;
}

void ChaosRig::Thaw() {
  if (!rig_ || !frozen_) return;
  ::kill(rig_->program().pid(), SIGCONT);
  frozen_ = false;
}

}  // namespace corvane
