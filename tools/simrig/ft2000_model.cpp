#include "tools/simrig/ft2000_model.h"

#include <algorithm>
#include <cstdio>

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

// Receiver digit of MD, SH and NA: 0 main, 1 sub.
int Receiver(char c) {
  return c == '0' ? 0 : c == '1' ? 1 : -1;
}

std::string Digits(unsigned value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*u", width, value);
  return text;
}

}  // namespace

const Ft2000Model::Command Ft2000Model::kCommands[] = {
    {"ID", &Ft2000Model::Identification},
    {"FA", &Ft2000Model::FrequencyA},
    {"FB", &Ft2000Model::FrequencyB},
    {"IF", &Ft2000Model::Information},
    {"OI", &Ft2000Model::OppositeInformation},
    {"MD", &Ft2000Model::Mode},
    {"AI", &Ft2000Model::AutoInformation},
    {"EX", &Ft2000Model::Menu},
    {"VS", &Ft2000Model::VfoSelect},
    {"FT", &Ft2000Model::TransmitVfo},
    {"SH", &Ft2000Model::Width},
    {"NA", &Ft2000Model::Narrow},
    {"PS", &Ft2000Model::Power},
    {"TX", &Ft2000Model::Transmit},
    {"RF", &Ft2000Model::RoofingFilter},
};

Ft2000Model::Ft2000Model(bool auto_info) : auto_info_(auto_info) {
  // The CAT line's RTS-control menu, which clients read back at start-up.
  menu_["029"] = "1";
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
  std::string answer(kRejected);
  if (command.size() >= 2) {
    const std::string_view token = command.substr(0, 2);
    for (const Command& c : kCommands) {
      if (c.token == token) {
        answer = (this->*c.handler)(command.substr(2));
        break;
      }
    }
  }
  answer += reports_;
  reports_.clear();
  return answer;
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
  const std::string token = vfo == 0 ? "FA" : "FB";
  if (params.empty()) return token + Digits(frequency_[vfo], 8) + ";";
  if (params.size() != 8 || !AllDigits(params)) return std::string(kRejected);
  const auto hz = static_cast<std::uint32_t>(std::stoul(std::string(params)));
  if (hz < kMinFrequency || hz > kMaxFrequency) return std::string(kRejected);
  if (hz != frequency_[vfo]) {
    frequency_[vfo] = hz;
    Report(token + Digits(hz, 8) + ";");
  }
  return {};
}

std::string Ft2000Model::InformationFor(std::uint32_t frequency, char mode) const {
  // Memory channel, frequency, clarifier offset, RX and TX clarifier off, mode,
  // VFO (not memory) operation, no CTCSS, tone 00, simplex.
  return "001" + Digits(frequency, 8) + "+0000" + "00" + mode + "0" + "0" + "00" + "0;";
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
  if (params[1] != mode_[rx]) {
    mode_[rx] = params[1];
    Report(rx == 0 ? InformationAnswer() : std::string("MD1") + mode_[1] + ";");
  }
  return {};
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

std::string Ft2000Model::VfoSelect(std::string_view params) {
  if (params.empty()) return selected_vfo_ == 0 ? "VS0;" : "VS1;";
  if (params == "0" || params == "1") {
    selected_vfo_ = params[0] - '0';
    return {};
  }
  return std::string(kRejected);
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

std::string Ft2000Model::Width(std::string_view params) {
  if (params.empty()) return std::string(kRejected);
  const int rx = Receiver(params[0]);
  if (rx < 0) return std::string(kRejected);
  const std::string_view value = params.substr(1);
  if (value.empty()) return std::string("SH") + params[0] + Digits(width_[rx], 2) + ";";
  if (value.size() != 2 || !AllDigits(value) || std::stoi(std::string(value)) > 31) {
    return std::string(kRejected);
  }
  width_[rx] = std::stoi(std::string(value));
  return {};
}

std::string Ft2000Model::Narrow(std::string_view params) {
  if (params.empty() || params.size() > 2) return std::string(kRejected);
  const int rx = Receiver(params[0]);
  if (rx < 0) return std::string(kRejected);
  if (params.size() == 1) return std::string("NA") + params[0] + (narrow_[rx] ? "1;" : "0;");
  if (params[1] != '0' && params[1] != '1') return std::string(kRejected);
  narrow_[rx] = params[1] == '1';
  return {};
}

std::string Ft2000Model::RoofingFilter(std::string_view params) {
  if (params.empty() || params.size() > 2) return std::string(kRejected);
  const int rx = Receiver(params[0]);
  if (rx < 0) return std::string(kRejected);
  if (params.size() == 1) return std::string("RF") + params[0] + roofing_filter_[rx] + ";";
  if (params[1] < '0' || params[1] > '9') return std::string(kRejected);
  roofing_filter_[rx] = params[1];
  return {};
}

std::string Ft2000Model::Power(std::string_view params) {
  if (params.empty()) return power_on_ ? "PS1;" : "PS0;";
  if (params == "0" || params == "1") {
    power_on_ = params == "1";
    return {};
  }
  return std::string(kRejected);
}

std::string Ft2000Model::Transmit(std::string_view params) {
  if (params.empty()) return transmitting_ ? "TX1;" : "TX0;";
  if (params == "0" || params == "1") {
    transmitting_ = params == "1";
    return {};
  }
  return std::string(kRejected);
}

}  // namespace corvane
