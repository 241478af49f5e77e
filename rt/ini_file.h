#pragma once
// The INI profile object: reads and writes single values of an INI file.
//
// Every call goes to the file: a read reads it afresh, a write reads it, changes the one
// line and writes it back at once, so several objects on one file, or the operator's
// editor, never see stale contents. A missing or unreadable file reads as empty. Names
// match without regard to case; see rt/ini_text.h for how the file is kept.
// Not safe for concurrent use of one object; the program uses it on the main thread.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace corvane {

// A write that could not reach the file: "Unable to write to <file name>".
class EIniFileException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace corvane

class TIniFile {
 public:
  explicit TIniFile(std::string FileName) : file_name_(std::move(FileName)) {}

  const std::string& FileName() const { return file_name_; }

  std::string ReadString(const std::string& Section, const std::string& Ident,
                         const std::string& Default) const;
  // Decimal with an optional sign, or hexadecimal after "0x", "$" or "x"; Default for a
  // missing key and for any other text, including numbers beyond 32 bits.
  int32_t ReadInteger(const std::string& Section, const std::string& Ident, int32_t Default) const;
  bool SectionExists(const std::string& Section) const;
  bool ValueExists(const std::string& Section, const std::string& Ident) const;

  // Raise corvane::EIniFileException when the file cannot be read back or written, and
  // std::invalid_argument for names or values that would break the file's lines (line
  // breaks, a "]" in a section name, an empty name or one with "=").
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value);
  void WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value);

 private:
  std::string file_name_;
};
