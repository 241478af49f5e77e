#include "tools/simrig/ft2000_model.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <stdexcept>

#include "app/router/cat_commands.h"

namespace corvane {
namespace {

constexpr std::string_view kRejected = "?;";

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsModeDigit(char c) {
  return (c >= '1' && c <= '9') || (c >= 'A' && c <= 'D');
}

// Receiver digit of MD: 0 main, 1 sub.
int Receiver(char c) {
  return c == '0' ? 0 : c == '1' ? 1 : -1;
}

std::string Digits(unsigned value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*u", width, value);
  return text;
}

// A stored value as the radio writes it: zero-padded, with a leading sign when signed.
std::string ValueText(int value, std::size_t width, bool is_signed) {
  if (!is_signed) return Digits(static_cast<unsigned>(value), static_cast<int>(width));
  const char sign = value < 0 ? '-' : '+';
  return sign + Digits(static_cast<unsigned>(std::abs(value)), static_cast<int>(width - 1));
}

std::optional<int> ParseValue(std::string_view text, bool is_signed) {
  const bool negative = is_signed && text.starts_with('-');
  if (is_signed) {
    if (!negative && !text.starts_with('+')) return std::nullopt;
    text.remove_prefix(1);
  }
  if (!AllDigits(text)) return std::nullopt;
  const int magnitude = std::stoi(std::string(text));
  return negative ? -magnitude : magnitude;
}

// Where the radio lands on each band of BS, by band number; a real one returns to the
// band's last frequency.
constexpr std::uint32_t kBandStart[] = {1'800'000,  3'500'000,  5'351'500,  7'000'000,
                                        10'100'000, 14'000'000, 18'068'000, 21'000'000,
                                        24'890'000, 28'000'000, 50'000'000};

}  // namespace

// A plain value the radio keeps: the read form answers it, the set form (as long as the
// answer) stores it. How many characters each takes comes from the shared command table.
struct Ft2000Model::Setting {
  std::string_view token;
  // The selectors it accepts back to back, each as long as the token's read parameters.
  std::string_view selectors;
  int initial;
  // Range of a set; a negative minimum makes the value signed ("+0000").
  int min;
  int max;
  // Meters can only be read.
  bool read_only = false;
};

const Ft2000Model::Command Ft2000Model::kCommands[] = {
    {"ID", &Ft2000Model::Identification},      {"FA", &Ft2000Model::FrequencyA},
    {"FB", &Ft2000Model::FrequencyB},          {"IF", &Ft2000Model::Information},
    {"OI", &Ft2000Model::OppositeInformation}, {"MD", &Ft2000Model::Mode},
    {"AI", &Ft2000Model::AutoInformation},     {"EX", &Ft2000Model::Menu},
    {"FT", &Ft2000Model::TransmitVfo},         {"AB", &Ft2000Model::CopyAToB},
    {"BS", &Ft2000Model::BandSelect},
};

const Ft2000Model::Setting Ft2000Model::kSettings[] = {
    {"AC", "", 0, 0, 2},                  // tuner off, on, tune
    {"AG", "01", 128, 0, 255},            // AF gain, main and sub
    {"BI", "", 0, 0, 1},                  // break-in
    {"BP", "0001", 0, 0, 999},            // manual notch on/off, position
    {"IS", "0", 0, -9999, 9999},          // IF shift, Hz
    {"MG", "", 128, 0, 255},              // mic gain
    {"NA", "01", 0, 0, 1},                // narrow
    {"PA", "0", 0, 0, 2},                 // IPO, AMP1, AMP2
    {"PC", "", 100, 0, 100},              // power, W: more is refused
    {"PS", "", 1, 0, 1},                  // power switch
    {"RA", "0", 0, 0, 3},                 // attenuator off, 6, 12, 18 dB
    {"RF", "01", 0, 0, 9},                // roofing filter
    {"RM", "0123456789", 0, 0, 0, true},  // meters by number
    {"SH", "01", 16, 0, 31},              // DSP width
    {"SM", "01", 0, 0, 0, true},          // S-meter, main and sub
    {"TX", "", 0, 0, 1},                  // PTT
    {"VS", "", 0, 0, 1},                  // receive VFO
};

Ft2000Model::Ft2000Model(bool auto_info) : auto_info_(auto_info) {
  // The CAT line's RTS-control menu, which clients read back at start-up.
  menu_["029"] = "1";
  for (const Setting& setting : kSettings) {
    const cat::CommandInfo* info = cat::FindCommand(setting.token);
    if (!info || info->read_params == cat::kNoReadForm ||
        info->answer_params <= info->read_params) {
      throw std::logic_error("simulated value " + std::string(setting.token) +
                             " has no read form and answer width in the CAT table");
    }
    const auto size = static_cast<std::size_t>(info->read_params);
    std::size_t at = 0;
    do {
      values_[std::string(setting.token) + std::string(setting.selectors.substr(at, size))] =
          setting.initial;
      at += size;
    } while (size > 0 && at < setting.selectors.size());
  }
}

std::string Ft2000Model::Feed(std::string_view bytes) {
  pending_.append(bytes);
  std::string out;
  std::size_t start = 0;
  for (std::size_t end; (end = pending_.find(';', start)) != std::string::npos; start = end + 1) {
    out += Execute(std::string_view(pending_).substr(start, end - start));
  }
  pending_.erase(0, start);
  return out;
}

std::string Ft2000Model::Execute(std::string_view command) {
  // Our own rejection coming back over a line that echoes would otherwise bounce forever.
  if (command == "?") return {};
  std::string answer;
  if (refuse_every_ > 0 && cat::Classify(std::string(command) + ";") == cat::CommandKind::Read &&
      ++reads_ % refuse_every_ == 0) {
    answer = kRejected;
  } else {
    answer = Answer(command);
  }
  answer += reports_;
  reports_.clear();
  return answer;
}

std::string Ft2000Model::Answer(std::string_view command) {
  if (command.size() < 2) return std::string(kRejected);
  const std::string_view token = command.substr(0, 2);
  const std::string_view params = command.substr(2);
  for (const Command& c : kCommands) {
    if (c.token == token) return (this->*c.handler)(params);
  }
  for (const Setting& s : kSettings) {
    if (s.token == token) return Stored(s, params);
  }
  return std::string(kRejected);
}

void Ft2000Model::Report(std::string text) {
  if (auto_info_) reports_ += text;
}

std::string Ft2000Model::Identification(std::string_view params) {
  return params.empty() ? "ID0251;" : std::string(kRejected);
}

std::string Ft2000Model::FrequencyA(std::string_view params) {
  return Frequency(0, params);
}
std::string Ft2000Model::FrequencyB(std::string_view params) {
  return Frequency(1, params);
}

std::string Ft2000Model::Frequency(int vfo, std::string_view params) {
  if (params.empty()) return (vfo == 0 ? "FA" : "FB") + Digits(frequency_[vfo], 8) + ";";
  if (params.size() != 8 || !AllDigits(params)) return std::string(kRejected);
  const auto hz = static_cast<std::uint32_t>(std::stoul(std::string(params)));
  if (hz < kMinFrequency || hz > kMaxFrequency) return std::string(kRejected);
  SetFrequency(vfo, hz);
  return {};
}

void Ft2000Model::SetFrequency(int vfo, std::uint32_t hz) {
  if (hz == frequency_[vfo]) return;
  frequency_[vfo] = hz;
  Report((vfo == 0 ? "FA" : "FB") + Digits(hz, 8) + ";");
}

std::string Ft2000Model::InformationFor(std::uint32_t frequency, char mode) const {
  // Memory channel, frequency, clarifier offset, RX and TX clarifier off, mode,
  // VFO (not memory) operation, no CTCSS, tone 00, simplex.
  return "001" + Digits(frequency, 8) + "+0000" + "00" + mode + "0" + "0" + "00" + "0;";
}

std::string Ft2000Model::PeriodicReport() const {
  return auto_info_ ? "FA" + Digits(frequency_[0], 8) + ";" : std::string();
}

std::string Ft2000Model::InformationAnswer() const {
  return "IF" + InformationFor(frequency_[0], mode_[0]);
}

std::string Ft2000Model::Information(std::string_view params) {
  return params.empty() ? InformationAnswer() : std::string(kRejected);
}

std::string Ft2000Model::OppositeInformation(std::string_view params) {
  return params.empty() ? "OI" + InformationFor(frequency_[1], mode_[1]) : std::string(kRejected);
}

std::string Ft2000Model::Mode(std::string_view params) {
  if (params.empty() || params.size() > 2) return std::string(kRejected);
  const int rx = Receiver(params[0]);
  if (rx < 0) return std::string(kRejected);
  if (params.size() == 1) return std::string("MD") + params[0] + mode_[rx] + ";";
  if (!IsModeDigit(params[1])) return std::string(kRejected);
  SetMode(rx, params[1]);
  return {};
}

void Ft2000Model::SetMode(int receiver, char mode) {
  if (mode == mode_[receiver]) return;
  mode_[receiver] = mode;
  Report(receiver == 0 ? InformationAnswer() : std::string("MD1") + mode + ";");
}

std::string Ft2000Model::AutoInformation(std::string_view params) {
  if (params.empty()) return auto_info_ ? "AI1;" : "AI0;";
  if (params == "0" || params == "1") {
    auto_info_ = params == "1";
    return {};
  }
  return std::string(kRejected);
}

std::string Ft2000Model::Menu(std::string_view params) {
  if (params.size() < 3 || !AllDigits(params.substr(0, 3))) return std::string(kRejected);
  const std::string_view number = params.substr(0, 3);
  if (params.size() == 3) {
    const auto it = menu_.find(number);
    return it == menu_.end() ? std::string(kRejected) : "EX" + it->first + it->second + ";";
  }
  if (!AllDigits(params.substr(3))) return std::string(kRejected);
  menu_[std::string(number)] = std::string(params.substr(3));
  return {};
}

std::string Ft2000Model::TransmitVfo(std::string_view params) {
  if (params.empty()) return transmit_vfo_ == 0 ? "FT0;" : "FT1;";
  // 0 and 1 name the transmit VFO directly, 2 and 3 are the radio's split keys for A and B.
  if (params.size() == 1 && params[0] >= '0' && params[0] <= '3') {
    transmit_vfo_ = (params[0] - '0') % 2;
    return {};
  }
  return std::string(kRejected);
}

std::string Ft2000Model::CopyAToB(std::string_view params) {
  if (!params.empty()) return std::string(kRejected);
  SetFrequency(1, frequency_[0]);
  SetMode(1, mode_[0]);
  return {};
}

std::string Ft2000Model::BandSelect(std::string_view params) {
  if (params.size() != 2 || !AllDigits(params)) return std::string(kRejected);
  const auto band = static_cast<std::size_t>(std::stoi(std::string(params)));
  if (band >= std::size(kBandStart)) return std::string(kRejected);
  // The band changes on the VFO that VS selected.
  SetFrequency(values_.find("VS")->second, kBandStart[band]);
  return {};
}

std::string Ft2000Model::Stored(const Setting& setting, std::string_view params) {
  const cat::CommandInfo& info = *cat::FindCommand(setting.token);
  const auto selector_size = static_cast<std::size_t>(info.read_params);
  const auto answer_size = static_cast<std::size_t>(info.answer_params);
  if (params.size() < selector_size) return std::string(kRejected);
  const auto stored =
      values_.find(std::string(setting.token) + std::string(params.substr(0, selector_size)));
  if (stored == values_.end()) return std::string(kRejected);
  const bool is_signed = setting.min < 0;
  if (params.size() == selector_size) {
    return stored->first + ValueText(stored->second, answer_size - selector_size, is_signed) + ";";
  }
  if (setting.read_only || params.size() != answer_size) return std::string(kRejected);
  const std::optional<int> value = ParseValue(params.substr(selector_size), is_signed);
  if (!value || *value < setting.min || *value > setting.max) return std::string(kRejected);
  stored->second = *value;
  return {};
}

}  // namespace corvane
