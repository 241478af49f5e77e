#include "log/log.h"

#include "rt/file_io.h"
#include "rt/local_time.h"

void TLog::SetActive(bool Value) {
  if (!Value) {
    Active_ = false;
    return;
  }
  Active_ = true;
  if (!corvane::EmptyFile(FileName_)) Active_ = false;
}

namespace {

void AppendPrintable(std::string& line, const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      line += c;
    } else {
      line += "\\x";
      line += kHex[byte >> 4];
      line += kHex[byte & 0xF];
    }
  }
}

}  // namespace

void TLog::WriteLine(std::uint8_t MsgLevel, const std::string& Text) {
  if (!Active_ || MsgLevel > Level_) return;
  const std::tm now = corvane::LocalNow();
  std::string line = corvane::ShortDateText(now);
  line += ' ';
  line += corvane::LongTimeText(now);
  line += ' ';
  AppendPrintable(line, Text);
  line += corvane::kTextLineEnd;
  corvane::AppendToFile(FileName_, line);
}

void TLog::BackUpFile() {
  if (FileName_.empty()) return;
  corvane::MoveFileOver(FileName_, FileName_ + ".1");
}
