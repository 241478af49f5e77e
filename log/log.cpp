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

void TLog::WriteLine(std::uint8_t MsgLevel, const std::string& Text) {
  if (!Active_ || MsgLevel > Level_) return;
  const std::tm now = corvane::LocalNow();
  std::string line = corvane::ShortDateText(now);
  line += ' ';
  line += corvane::LongTimeText(now);
  line += ' ';
  line += Text;
  line += corvane::kTextLineEnd;
  corvane::AppendToFile(FileName_, line);
}

void TLog::BackUpFile() {
  if (FileName_.empty()) return;
  corvane::MoveFileOver(FileName_, FileName_ + ".1");
}
