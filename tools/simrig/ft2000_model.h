#pragma once
// The simulated FT2000's CAT state: a pure state machine without any I/O, so the
// pty front end, the tests and an in-process benchmark can all drive it.
//
// Bytes go in through Feed(); every complete command (up to and including ";") is
// executed at once and its answer, plus any unsolicited change report while AI is
// on, comes back in order. Set commands answer nothing; a command the radio does
// not know, or one with malformed parameters, answers "?;"; a "?;" coming back is ignored.
// Read and set forms are as long as the CAT command table shared with the router says.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace corvane {

class Ft2000Model {
 public:
  // Mode digits of the MD command: '1' LSB, '2' USB, '3' CW, '4' FM, '5' AM,
  // '6' RTTY-LSB, '7' CW-R, '8' PKT-L, '9' RTTY-USB, 'A' PKT-FM, 'B' FM-N, 'C' PKT-U, 'D' AM-N.
  static constexpr std::uint32_t kMinFrequency = 30'000;
  static constexpr std::uint32_t kMaxFrequency = 60'000'000;

  explicit Ft2000Model(bool auto_info = false);

  // Appends bytes to the command buffer and returns the answers of every command
  // they complete. An incomplete command waits for the rest of its bytes.
  std::string Feed(std::string_view bytes);

  // Executes one command given without its ";" and returns what the radio sends.
  std::string Execute(std::string_view command);

  // Every n-th read is refused with "?;", as a busy transceiver does (0: none).
  void RefuseEvery(unsigned n) { refuse_every_ = n; }

  std::uint32_t frequency_a() const { return frequency_[0]; }
  std::uint32_t frequency_b() const { return frequency_[1]; }
  char mode(int receiver) const { return mode_[receiver]; }
  bool auto_info() const { return auto_info_; }
  // Bytes received that do not yet end in ";".
  const std::string& pending() const { return pending_; }

  // What a busy band makes the transceiver report on its own while auto-information is on
  // (its VFO A frequency), or nothing while it is off.
  std::string PeriodicReport() const;

  // The 27-character IF answer for the current state.
  std::string InformationAnswer() const;

 private:
  using Handler = std::string (Ft2000Model::*)(std::string_view params);
  struct Command {
    std::string_view token;
    Handler handler;
  };
  static const Command kCommands[];
  struct Setting;
  static const Setting kSettings[];

  std::string Answer(std::string_view command);
  std::string Identification(std::string_view params);
  std::string FrequencyA(std::string_view params);
  std::string FrequencyB(std::string_view params);
  std::string Frequency(int vfo, std::string_view params);
  std::string Information(std::string_view params);
  std::string OppositeInformation(std::string_view params);
  std::string Mode(std::string_view params);
  std::string AutoInformation(std::string_view params);
  std::string Menu(std::string_view params);
  std::string TransmitVfo(std::string_view params);
  std::string CopyAToB(std::string_view params);
  std::string BandSelect(std::string_view params);
  std::string Stored(const Setting& setting, std::string_view params);

  void SetFrequency(int vfo, std::uint32_t hz);
  void SetMode(int receiver, char mode);
  std::string InformationFor(std::uint32_t frequency, char mode) const;
  // Unsolicited report appended after the current answer while AI is on.
  void Report(std::string text);

  unsigned refuse_every_ = 0;
  unsigned reads_ = 0;
  std::string pending_;
  std::string reports_;
  bool auto_info_;
  std::uint32_t frequency_[2] = {14'070'000, 7'000'000};
  char mode_[2] = {'2', '2'};
  int transmit_vfo_ = 0;
  std::map<std::string, std::string, std::less<>> menu_;
  // The plain values by token and selector ("AG0", "VS"): the answer's leading text.
  std::map<std::string, int, std::less<>> values_;
};

}  // namespace corvane
