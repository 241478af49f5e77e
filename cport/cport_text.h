#pragma once
// Text forms of the port settings: one fixed text per enumeration member, used where
// settings are stored and where they are offered for choice. Parsing ignores the case of
// the letters a to z and nothing else (a blank before or after a word makes it unknown);
// an unknown text gives the fallback named at each parse, never an error.

#include <array>
#include <string>
#include <string_view>

#include "cport/cport_types.h"

inline constexpr std::array<std::string_view, corvane::kBaudRateCount> BaudRateTexts = {
    "Custom", "110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",
    "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
inline constexpr std::array<std::string_view, corvane::kStopBitsCount> StopBitsTexts = {"1", "1.5",
                                                                                        "2"};
inline constexpr std::array<std::string_view, corvane::kDataBitsCount> DataBitsTexts = {"5", "6",
                                                                                        "7", "8"};
inline constexpr std::array<std::string_view, corvane::kParityBitsCount> ParityTexts = {
    "None", "Odd", "Even", "Mark", "Space"};
inline constexpr std::array<std::string_view, corvane::kFlowControlCount> FlowControlTexts = {
    "Hardware", "Software", "None", "Custom"};
inline constexpr std::array<std::string_view, corvane::kDTRFlowControlCount> ControlDTRTexts = {
    "Disable", "Enable", "Handshake"};
inline constexpr std::array<std::string_view, corvane::kRTSFlowControlCount> ControlRTSTexts = {
    "Disable", "Enable", "Handshake", "Toggle"};

std::string FormatBaudRate(TBaudRate value);
TBaudRate ParseBaudRate(const std::string& text);  // unknown: br9600
std::string FormatStopBits(TStopBits value);
TStopBits ParseStopBits(const std::string& text);  // unknown: sbOneStopBit
std::string FormatDataBits(TDataBits value);
TDataBits ParseDataBits(const std::string& text);  // unknown: dbEight
std::string FormatParity(TParityBits value);
TParityBits ParseParity(const std::string& text);  // unknown: prNone
std::string FormatFlowControl(TFlowControl value);
// unknown: fcCustom, which leaves the detailed flow-control switches as they are
TFlowControl ParseFlowControl(const std::string& text);
std::string FormatControlDTR(TDTRFlowControl value);
TDTRFlowControl ParseControlDTR(const std::string& text);  // unknown: dtrDisable
std::string FormatControlRTS(TRTSFlowControl value);
TRTSFlowControl ParseControlRTS(const std::string& text);  // unknown: rtsDisable

// "Yes" or "No"; parsing is true exactly for "yes" in any letter case.
std::string FormatYesNo(bool value);
bool ParseYesNo(const std::string& text);

// A printable code 33..127 is written as itself, every other code as "#" and its decimal
// value ("#0", "#13", "#200"). Parsing takes the first character of the text, or after
// "#" a 32-bit integer (decimal, or hexadecimal after "$", "x" or "0x") of which the low
// 8 bits count; an empty text or a malformed number gives 0.
std::string FormatSettingChar(char code);
char ParseSettingChar(const std::string& text);
