// Arbitrary text through the settings' text forms: parsing never crashes, and whatever a
// text parses to formats to a text that parses to the same value.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cport/cport_text.h"

namespace {
void Require(bool ok) {
  if (!ok) __builtin_trap();
}

template <typename Parse, typename Format>
void RoundTrip(const std::string& text, Parse parse, Format format) {
  const auto value = parse(text);
  Require(parse(format(value)) == value);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  RoundTrip(text, ParseBaudRate, FormatBaudRate);
  RoundTrip(text, ParseStopBits, FormatStopBits);
  RoundTrip(text, ParseDataBits, FormatDataBits);
  RoundTrip(text, ParseParity, FormatParity);
  RoundTrip(text, ParseFlowControl, FormatFlowControl);
  RoundTrip(text, ParseControlDTR, FormatControlDTR);
  RoundTrip(text, ParseControlRTS, FormatControlRTS);
  RoundTrip(text, ParseYesNo, FormatYesNo);
  RoundTrip(text, ParseSettingChar, FormatSettingChar);
  if (size > 0) {
    const char c = static_cast<char>(data[0]);
    Require(ParseSettingChar(FormatSettingChar(c)) == c);
  }
  return 0;
}
