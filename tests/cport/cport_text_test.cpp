#include "cport/cport_text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace {

// Every member of an enumeration, formatted then parsed, comes back; the formatted text is
// the table entry, and any letter case of it parses to the same member.
template <typename Enum, std::size_t N>
void ExpectRoundTrips(const std::array<std::string_view, N>& texts, std::string (*format)(Enum),
                      Enum (*parse)(const std::string&)) {
  for (std::size_t i = 0; i < N; ++i) {
    const Enum value = static_cast<Enum>(i);
    const std::string text = format(value);
    SCOPED_TRACE(text);
    EXPECT_EQ(text, texts[i]);
    EXPECT_EQ(parse(text), value);
    std::string lower = text, upper = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(parse(lower), value);
    EXPECT_EQ(parse(upper), value);
  }
}

TEST(SettingTexts, EveryMemberOfEveryTableRoundTrips) {
  ExpectRoundTrips(BaudRateTexts, FormatBaudRate, ParseBaudRate);
  ExpectRoundTrips(StopBitsTexts, FormatStopBits, ParseStopBits);
  ExpectRoundTrips(DataBitsTexts, FormatDataBits, ParseDataBits);
  ExpectRoundTrips(ParityTexts, FormatParity, ParseParity);
  ExpectRoundTrips(FlowControlTexts, FormatFlowControl, ParseFlowControl);
  ExpectRoundTrips(ControlDTRTexts, FormatControlDTR, ParseControlDTR);
  ExpectRoundTrips(ControlRTSTexts, FormatControlRTS, ParseControlRTS);
}

TEST(SettingTexts, TablesHoldTheFixedTexts) {
  EXPECT_EQ(FormatBaudRate(brCustom), "Custom");
  EXPECT_EQ(FormatBaudRate(br110), "110");
  EXPECT_EQ(FormatBaudRate(br14400), "14400");
  EXPECT_EQ(FormatBaudRate(br256000), "256000");
  EXPECT_EQ(FormatStopBits(sbOne5StopBits), "1.5");
  EXPECT_EQ(FormatDataBits(dbFive), "5");
  EXPECT_EQ(FormatParity(prSpace), "Space");
  EXPECT_EQ(FormatFlowControl(fcSoftware), "Software");
  EXPECT_EQ(FormatControlDTR(dtrHandshake), "Handshake");
  EXPECT_EQ(FormatControlRTS(rtsToggle), "Toggle");
}

TEST(SettingTexts, UnknownTextsGiveTheFallbacks) {
  struct Case {
    const char* what;
    int parsed;
    int expected;
  };
  const std::vector<Case> cases = {
      {"baud 115200", ParseBaudRate("115200"), br115200},
      {"baud 1152000", ParseBaudRate("1152000"), br9600},
      {"baud 9600 with trailing blank", ParseBaudRate("9600 "), br9600},
      {"baud 19200 with leading blank", ParseBaudRate(" 19200"), br9600},
      {"baud empty", ParseBaudRate(""), br9600},
      {"baud custom", ParseBaudRate("custom"), brCustom},
      {"data bits 9", ParseDataBits("9"), dbEight},
      {"stop bits 1,5", ParseStopBits("1,5"), sbOneStopBit},
      {"stop bits 1.5", ParseStopBits("1.5"), sbOne5StopBits},
      {"parity blank None", ParseParity(" None"), prNone},
      {"parity Sp", ParseParity("Sp"), prNone},
      {"flow xon", ParseFlowControl("xon"), fcCustom},
      {"flow none", ParseFlowControl("none"), fcNone},
      {"flow empty", ParseFlowControl(""), fcCustom},
      {"DTR Toggle", ParseControlDTR("Toggle"), dtrDisable},
      {"DTR Handshake", ParseControlDTR("HANDSHAKE"), dtrHandshake},
      {"RTS toggle", ParseControlRTS("toggle"), rtsToggle},
      {"RTS On", ParseControlRTS("On"), rtsDisable},
  };
  for (const Case& c : cases) EXPECT_EQ(c.parsed, c.expected) << c.what;
}

TEST(SettingTexts, YesNo) {
  EXPECT_EQ(FormatYesNo(true), "Yes");
  EXPECT_EQ(FormatYesNo(false), "No");
  EXPECT_TRUE(ParseYesNo(FormatYesNo(true)));
  EXPECT_FALSE(ParseYesNo(FormatYesNo(false)));
  for (const char* text : {"yes", "YES", "yEs"}) EXPECT_TRUE(ParseYesNo(text)) << text;
  for (const char* text : {"No", "TRUE", "1", "", "Yes ", " Yes", "Y"})
    EXPECT_FALSE(ParseYesNo(text)) << '"' << text << '"';
}

TEST(SettingChars, FormatWritesPrintablesAsThemselvesAndTheRestAsNumbers) {
  const struct {
    int code;
    std::string text;
  } cases[] = {{0, "#0"},
               {13, "#13"},
               {17, "#17"},
               {32, "#32"},
               {33, "!"},
               {65, "A"},
               {127, std::string(1, '\x7f')},
               {128, "#128"},
               {200, "#200"},
               {255, "#255"}};
  for (const auto& c : cases) {
    EXPECT_EQ(FormatSettingChar(static_cast<char>(c.code)), c.text) << c.code;
    EXPECT_EQ(static_cast<unsigned char>(ParseSettingChar(c.text)), c.code) << c.code;
  }
}

TEST(SettingChars, EveryCodeRoundTrips) {
  for (int code = 0; code < 256; ++code) {
    const char c = static_cast<char>(code);
    EXPECT_EQ(ParseSettingChar(FormatSettingChar(c)), c) << code;
  }
}

TEST(SettingChars, ParseTakesFirstCharacterOrTheLowBitsOfANumber) {
  const struct {
    std::string text;
    int code;
  } cases[] = {
      {"", 0},
      {"A", 65},
      {"AB", 65},
      {"#", 35},
      {"#13", 13},
      {"#300", 44},
      {"#-1", 255},
      {"#+65", 65},
      {"#  65", 65},
      {"#$41", 65},
      {"#x41", 65},
      {"#X41", 65},
      {"#0x41", 65},
      {"#0X1ff", 255},
      {"#-$1", 255},
      {"#$FFFFFFFF", 255},
      {"#2147483647", 255},
      {"#-2147483583", 65},
      {"#abc", 0},
      {"#2147483713", 0},
      {"#-2147483711", 0},
      {"#$100000041", 0},
      {"#13 ", 0},
      {"#1 3", 0},
      {"#$", 0},
      {"#0x", 0},
      {"#-", 0},
      {"# ", 0},
      {"#$G", 0},
      {"#1.5", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(static_cast<unsigned char>(ParseSettingChar(c.text)), c.code) << '"' << c.text << '"';
}

}  // namespace
