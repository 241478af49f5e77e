#include "rt/ini_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>

#include "rt/file_io.h"
#include "rt/ini_text.h"

namespace corvane {
namespace {

bool HasLineBreak(const std::string& s) {
  return s.find_first_of("\r\n") != std::string::npos;
}

void CheckWritable(const std::string& section, const std::string& ident, const std::string& value) {
  if (HasLineBreak(section) || section.find(']') != std::string::npos)
    throw std::invalid_argument("Invalid INI section name '" + section + "'");
  if (HasLineBreak(ident) || ident.find('=') != std::string::npos ||
      ident.find_first_not_of(" \t") == std::string::npos || ident.front() == '[' ||
      ident.front() == ';' || ident.front() == '#')
    throw std::invalid_argument("Invalid INI key name '" + ident + "'");
  if (HasLineBreak(value))
    throw std::invalid_argument("Line break in the INI value of '" + ident + "'");
}

}  // namespace
}  // namespace corvane

using corvane::IniText;

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) const {
  const auto text = corvane::ReadWholeFile(file_name_);
  if (!text) return Default;
  return IniText(*text).Value(Section, Ident).value_or(Default);
}

int32_t TIniFile::ReadInteger(const std::string& Section, const std::string& Ident,
                              int32_t Default) const {
  const auto text = corvane::ReadWholeFile(file_name_);
  if (!text) return Default;
  const auto value = IniText(*text).Value(Section, Ident);
  if (!value) return Default;
  return corvane::ParseIniInteger(*value).value_or(Default);
}

bool TIniFile::SectionExists(const std::string& Section) const {
  const auto text = corvane::ReadWholeFile(file_name_);
  return text && IniText(*text).HasSection(Section);
}

bool TIniFile::ValueExists(const std::string& Section, const std::string& Ident) const {
  const auto text = corvane::ReadWholeFile(file_name_);
  return text && IniText(*text).Value(Section, Ident).has_value();
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident,
                           const std::string& Value) {
  corvane::CheckWritable(Section, Ident, Value);
  const auto text = corvane::ReadWholeFile(file_name_);
  // A file that exists but cannot be read must not be replaced by a one-key file.
  if (!text) throw corvane::EIniFileException("Unable to write to " + file_name_);
  IniText ini(*text);
  ini.SetValue(Section, Ident, Value);
  if (!corvane::WriteWholeFile(file_name_, ini.Text()))
    throw corvane::EIniFileException("Unable to write to " + file_name_);
}

void TIniFile::WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value) {
  WriteString(Section, Ident, std::to_string(Value));
}
