#include "app/router/cat_commands.h"

#include <algorithm>
#include <iterator>

namespace corvane::cat {
namespace {

constexpr int8_t kAction = kNoReadForm;

// The tokens whose read form (or lack of one) is known for the FT2000; tokens whose
// behaviour is only guessed are left out on purpose. Answer widths of 0 are not known.
constexpr CommandInfo kCommands[] = {
    {"AB", kAction, 0},  // copy VFO-A to VFO-B
    {"AC", 0, 3},        // antenna tuner
    {"AG", 1, 4},        // AF gain
    {"AI", 0, 1},        // auto-information
    {"AM", kAction, 0},  // VFO-A to memory
    {"AN", 1, 2},        // antenna select
    {"BC", 1, 2},        // auto notch
    {"BD", kAction, 0},  // band down
    {"BI", 0, 1},        // break-in
    {"BP", 2, 5},        // manual notch
    {"BS", kAction, 0},  // band select
    {"BU", kAction, 0},  // band up
    {"CN", 1, 3},        // CTCSS tone number
    {"CO", 2, 4},        // contour / APF
    {"CT", 1, 2},        // CTCSS mode
    {"DN", kAction, 0},  // down key
    {"EX", 3, 0},        // menu item; the value width depends on the menu
    {"FA", 0, 8},        // VFO-A frequency
    {"FB", 0, 8},        // VFO-B frequency
    {"FS", 0, 1},        // fast step
    {"FT", 0, 1},        // transmit VFO
    {"GT", 1, 0},        // AGC
    {"ID", 0, 4},        // identification
    {"IF", 0, 24},       // information, main
    {"IS", 1, 6},        // IF shift
    {"KP", 0, 2},        // CW pitch
    {"KR", 0, 1},        // keyer
    {"KS", 0, 3},        // keyer speed
    {"LK", 0, 1},        // dial lock
    {"MA", kAction, 0},  // memory to VFO-A
    {"MC", 0, 3},        // memory channel
    {"MD", 1, 2},        // mode
    {"MG", 0, 3},        // mic gain
    {"ML", 1, 4},        // monitor
    {"MR", 3, 24},       // memory read
    {"MS", 0, 0},        // meter select
    {"MW", kAction, 0},  // memory write
    {"NA", 1, 2},        // narrow
    {"NB", 1, 2},        // noise blanker
    {"NR", 1, 2},        // noise reduction
    {"OI", 0, 24},       // information, sub
    {"OS", 1, 2},        // repeater shift
    {"PA", 1, 2},        // preamp
    {"PC", 0, 3},        // power
    {"PL", 0, 3},        // processor level
    {"PR", 0, 1},        // processor
    {"PS", 0, 1},        // power switch
    {"RA", 1, 2},        // attenuator
    {"RC", kAction, 0},  // clarifier clear
    {"RD", kAction, 0},  // clarifier down
    {"RF", 1, 2},        // roofing filter
    {"RG", 1, 4},        // RF gain
    {"RL", 1, 3},        // NR level
    {"RM", 1, 4},        // meter read
    {"RT", 0, 1},        // RX clarifier
    {"RU", kAction, 0},  // clarifier up
    {"SD", 0, 4},        // break-in delay
    {"SH", 1, 3},        // DSP width
    {"SM", 1, 4},        // S-meter
    {"SQ", 1, 4},        // squelch
    {"SV", kAction, 0},  // swap VFOs
    {"TX", 0, 1},        // PTT
    {"UP", kAction, 0},  // up key
    {"VD", 0, 4},        // VOX delay
    {"VG", 0, 3},        // VOX gain
    {"VM", kAction, 0},  // VFO/memory toggle
    {"VS", 0, 1},        // RX VFO select
    {"VX", 0, 1},        // VOX
    {"XT", 0, 1},        // TX clarifier
};

}  // namespace

std::span<const CommandInfo> Commands() {
  return kCommands;
}

const CommandInfo* FindCommand(std::string_view token) {
  const auto it = std::lower_bound(std::begin(kCommands), std::end(kCommands), token,
                                   [](const CommandInfo& c, std::string_view t) { return c.token < t; });
  return it != std::end(kCommands) && it->token == token ? &*it : nullptr;
}

CommandKind Classify(std::string_view command) {
  if (command.size() < 3) return CommandKind::Unknown;
  const CommandInfo* info = FindCommand(command.substr(0, 2));
  if (!info) return CommandKind::Unknown;
  if (info->read_params == kNoReadForm) return CommandKind::Action;
  const size_t read_size = 2 + static_cast<size_t>(info->read_params) + 1;
  if (command.size() > read_size) return CommandKind::Set;
  return command.size() == read_size ? CommandKind::Read : CommandKind::Unknown;
}

bool KeysTransmitter(std::string_view command) {
  // KY plays the keyer or sends CW: it keys the transmitter whatever follows.
  if (command.size() > 3 && command.substr(0, 2) == "KY") return true;
  return command == "TX1;" || command == "TX2;" || command == "MX1;";
}

bool UnkeysTransmitter(std::string_view command) {
  return command == "TX0;" || command == "MX0;";
}

std::string_view AnswerKey(std::string_view command) {
  if (command.size() < 3) return {};
  switch (Classify(command)) {
    case CommandKind::Read:
      return command.substr(0, command.size() - 1);
    case CommandKind::Unknown:
      // An unlisted token may be anything: its parameters as sent are the best selector.
      return FindCommand(command.substr(0, 2)) ? std::string_view{}
                                                : command.substr(0, command.size() - 1);
    default:
      return {};
  }
}

}  // namespace corvane::cat
