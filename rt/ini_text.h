#pragma once
// The text of an INI file as lines, edited in place so that everything a write does not
// touch (comments, blank lines, unknown lines, spacing, line endings, name case) stays
// byte for byte. Section and key names match without regard to ASCII case; where a name
// occurs twice the first occurrence wins, for reading and for writing alike.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class IniText {
 public:
  explicit IniText(std::string_view text);

  // The value of the first Ident in a section named Section, without surrounding blanks.
  std::optional<std::string> Value(std::string_view section, std::string_view ident) const;
  bool HasSection(std::string_view section) const;
  // Replaces the value of that key, keeping its line's name and spacing; adds the key at
  // the end of the first such section, or the section at the end of the text.
  void SetValue(std::string_view section, std::string_view ident, std::string_view value);

  std::string Text() const;

 private:
  struct Line {
    std::string text;    // without its line ending
    std::string ending;  // "\n", "\r\n", or "" for a last line without one
  };

  // Index of the line holding the first matching key, or of none.
  std::optional<size_t> FindKey(std::string_view section, std::string_view ident) const;
  std::string NewLineEnding() const;

  std::string bom_;
  std::vector<Line> lines_;
};

// An INI integer: decimal with an optional sign, or hexadecimal after "0x", "$" or "x"
// (either case) taken as the 32-bit pattern. Nothing else: no blanks, no trailing text.
std::optional<int32_t> ParseIniInteger(std::string_view text);

}  // namespace corvane
