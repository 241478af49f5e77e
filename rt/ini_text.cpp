#include "rt/ini_text.h"

#include <algorithm>

namespace corvane {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view s) {
  const size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

// "[name]" with blanks allowed around and inside the brackets; text after "]" is ignored.
std::optional<std::string_view> SectionOf(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

bool IsComment(std::string_view line) {
  line = Trim(line);
  return !line.empty() && (line.front() == ';' || line.front() == '#');
}

// The name of a "name=value" line, or nothing for comments and other lines.
std::optional<std::string_view> KeyOf(std::string_view line) {
  if (IsComment(line) || SectionOf(line)) return std::nullopt;
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  const std::string_view name = Trim(line.substr(0, eq));
  if (name.empty()) return std::nullopt;
  return name;
}

std::string_view ValueOf(std::string_view line) {
  return Trim(line.substr(line.find('=') + 1));
}

}  // namespace

IniText::IniText(std::string_view text) {
  // Editors on Windows may start the file with a UTF-8 byte order mark; it is kept, but
  // must not hide the first section.
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (text.substr(0, kBom.size()) == kBom) {
    bom_ = kBom;
    text.remove_prefix(kBom.size());
  }
  size_t start = 0;
  while (start < text.size()) {
    const size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) {
      // A file cut off inside its last CR LF keeps the CR as the line's end, not as part
      // of the value.
      std::string_view body = text.substr(start);
      const bool cr = !body.empty() && body.back() == '\r';
      if (cr) body.remove_suffix(1);
      lines_.push_back({std::string(body), cr ? "\r" : ""});
      break;
    }
    std::string_view body = text.substr(start, nl - start);
    if (!body.empty() && body.back() == '\r') {
      body.remove_suffix(1);
      lines_.push_back({std::string(body), "\r\n"});
    } else {
      lines_.push_back({std::string(body), "\n"});
    }
    start = nl + 1;
  }
}

std::optional<size_t> IniText::FindKey(std::string_view section, std::string_view ident) const {
  bool inside = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const std::string_view line = lines_[i].text;
    if (auto name = SectionOf(line)) {
      inside = SameName(*name, section);
    } else if (inside) {
      auto key = KeyOf(line);
      if (key && SameName(*key, ident)) return i;
    }
  }
  return std::nullopt;
}

std::optional<std::string> IniText::Value(std::string_view section, std::string_view ident) const {
  const auto at = FindKey(section, ident);
  if (!at) return std::nullopt;
  return std::string(ValueOf(lines_[*at].text));
}

bool IniText::HasSection(std::string_view section) const {
  return std::any_of(lines_.begin(), lines_.end(), [&](const Line& l) {
    auto name = SectionOf(l.text);
    return name && SameName(*name, section);
  });
}

std::string IniText::NewLineEnding() const {
  // Files made on Windows keep their CR LF line ends.
  for (const Line& l : lines_) {
    if (l.ending == "\r") return "\r\n";
    if (!l.ending.empty()) return l.ending;
  }
  return "\n";
}

void IniText::SetValue(std::string_view section, std::string_view ident, std::string_view value) {
  if (const auto at = FindKey(section, ident)) {
    std::string& text = lines_[*at].text;
    const size_t value_start = text.find_first_not_of(kBlanks, text.find('=') + 1);
    text.resize(std::min(value_start, text.size()));
    text += value;
    return;
  }
  const std::string eol = NewLineEnding();
  const std::string key_line = std::string(ident) + "=" + std::string(value);

  // After the last key of the first such section, so comments that introduce the next
  // section stay with it.
  std::optional<size_t> insert_after;
  bool inside = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const std::string_view line = lines_[i].text;
    if (auto name = SectionOf(line)) {
      if (inside) break;
      inside = SameName(*name, section);
      if (inside) insert_after = i;
    } else if (inside && KeyOf(line)) {
      insert_after = i;
    }
  }
  const bool at_end = !insert_after || *insert_after + 1 == lines_.size();
  if (at_end && !lines_.empty() && (lines_.back().ending.empty() || lines_.back().ending == "\r")) {
    lines_.back().ending = eol;
  }
  if (insert_after) {
    lines_.insert(lines_.begin() + *insert_after + 1, Line{key_line, eol});
    return;
  }
  lines_.push_back({"[" + std::string(section) + "]", eol});
  lines_.push_back({key_line, eol});
}

std::string IniText::Text() const {
  std::string out = bom_;
  for (const Line& l : lines_) {
    out += l.text;
    out += l.ending;
  }
  return out;
}

std::optional<int32_t> ParseIniInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() >= 2 && text[0] == '0' && Lower(text[1]) == 'x') {
    base = 16;
    text.remove_prefix(2);
  } else if (!text.empty() && (text[0] == '$' || Lower(text[0]) == 'x')) {
    base = 16;
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Decimal must fit a signed 32-bit number; hexadecimal may use all 32 bits.
  const uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  uint64_t magnitude = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && Lower(c) >= 'a' && Lower(c) <= 'f') {
      digit = Lower(c) - 'a' + 10;
    } else {
      return std::nullopt;
    }
    magnitude = magnitude * base + digit;
    if (magnitude > limit) return std::nullopt;
  }
  const uint32_t bits = static_cast<uint32_t>(magnitude);
  return static_cast<int32_t>(negative ? 0u - bits : bits);
}

}  // namespace corvane
