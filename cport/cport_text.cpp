#include "cport/cport_text.h"

#include <cstdint>
#include <optional>

namespace corvane {
namespace {

// Only a to z change: the stored and displayed texts are plain ASCII, and the locale must
// not decide whether a setting is recognised.
std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

template <typename Enum, std::size_t N>
Enum ParseTable(const std::array<std::string_view, N>& texts, const std::string& text,
                Enum fallback) {
  const std::string upper = UpperAscii(text);
  for (std::size_t i = 0; i < N; ++i)
    if (UpperAscii(texts[i]) == upper) return static_cast<Enum>(i);
  return fallback;
}

// An out-of-range ordinal would index past the table; it can only come from a corrupted
// value, and an empty text is the harmless answer.
template <std::size_t N>
std::string FormatTable(const std::array<std::string_view, N>& texts, std::size_t ordinal) {
  return ordinal < N ? std::string(texts[ordinal]) : std::string();
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A signed 32-bit integer: leading blanks, an optional sign, then decimal digits or
// hexadecimal digits after "$", "x" or "0x"; nothing may follow. Decimal values must lie
// in the signed range; hexadecimal ones may use all 32 bits ($FFFFFFFF is -1).
std::optional<int32_t> ParseInt32(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  int base = 10;
  if (pos < text.size() && text[pos] == '$') {
    base = 16;
    ++pos;
  } else if (pos < text.size() && (text[pos] == 'x' || text[pos] == 'X')) {
    base = 16;
    ++pos;
  } else if (pos + 1 < text.size() && text[pos] == '0' &&
             (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
    base = 16;
    pos += 2;
  }
  if (pos == text.size()) return std::nullopt;

  const uint64_t limit = base == 16 ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
  uint64_t magnitude = 0;
  for (; pos < text.size(); ++pos) {
    const int digit = HexDigit(text[pos]);
    if (digit < 0 || digit >= base) return std::nullopt;
    magnitude = magnitude * base + digit;
    if (magnitude > limit) return std::nullopt;
  }
  const uint32_t bits = static_cast<uint32_t>(negative ? 0 - magnitude : magnitude);
  return static_cast<int32_t>(bits);
}

}  // namespace
}  // namespace corvane

using corvane::FormatTable;
using corvane::ParseTable;

std::string FormatBaudRate(TBaudRate value) {
  return FormatTable(BaudRateTexts, value);
}
TBaudRate ParseBaudRate(const std::string& text) {
  return ParseTable(BaudRateTexts, text, br9600);
}

std::string FormatStopBits(TStopBits value) {
  return FormatTable(StopBitsTexts, value);
}
TStopBits ParseStopBits(const std::string& text) {
  return ParseTable(StopBitsTexts, text, sbOneStopBit);
}

std::string FormatDataBits(TDataBits value) {
  return FormatTable(DataBitsTexts, value);
}
TDataBits ParseDataBits(const std::string& text) {
  return ParseTable(DataBitsTexts, text, dbEight);
}

std::string FormatParity(TParityBits value) {
  return FormatTable(ParityTexts, value);
}
TParityBits ParseParity(const std::string& text) {
  return ParseTable(ParityTexts, text, prNone);
}

std::string FormatFlowControl(TFlowControl value) {
  return FormatTable(FlowControlTexts, value);
}
TFlowControl ParseFlowControl(const std::string& text) {
  return ParseTable(FlowControlTexts, text, fcCustom);
}

std::string FormatControlDTR(TDTRFlowControl value) {
  return FormatTable(ControlDTRTexts, value);
}
TDTRFlowControl ParseControlDTR(const std::string& text) {
  return ParseTable(ControlDTRTexts, text, dtrDisable);
}

std::string FormatControlRTS(TRTSFlowControl value) {
  return FormatTable(ControlRTSTexts, value);
}
TRTSFlowControl ParseControlRTS(const std::string& text) {
  return ParseTable(ControlRTSTexts, text, rtsDisable);
}

std::string FormatYesNo(bool value) {
  return value ? "Yes" : "No";
}
bool ParseYesNo(const std::string& text) {
  return corvane::UpperAscii(text) == "YES";
}

std::string FormatSettingChar(char code) {
  const unsigned value = static_cast<unsigned char>(code);
  if (value >= 33 && value <= 127) return std::string(1, code);
  return "#" + std::to_string(value);
}

char ParseSettingChar(const std::string& text) {
  if (text.empty()) return 0;
  if (text[0] != '#' || text.size() == 1) return text[0];
  const std::optional<int32_t> number = corvane::ParseInt32(std::string_view(text).substr(1));
  if (!number) return 0;
  return static_cast<char>(static_cast<uint32_t>(*number) & 0xFFu);
}
