#pragma once
// The trace log: time-stamped text lines appended to one file, each with a level.
//
// A line of level n is written while the log is active and n <= Level(). Every written line
// opens the file, appends the whole line and closes it again, so another program can read
// the trace at any time and a line is on disk when WriteLine returns. No operation raises:
// a file that cannot be created leaves the log inactive, a line that cannot be written is
// lost. Used from one thread at a time.
#include <cstdint>
#include <string>

#include "rt/tobject.h"

class TLog : public TObject {
 public:
  TLog() = default;

  bool Active() const { return Active_; }
  // Switching on empties the file; when it cannot be created the log stays off.
  void SetActive(bool Value);

  std::uint32_t Level() const { return Level_; }
  void SetLevel(std::uint32_t Value) { Level_ = Value; }

  const std::string& FileName() const { return FileName_; }
  void SetFileName(const std::string& Value) { FileName_ = Value; }

  // Appends "<short date> <long time> <Text>" and the line end. Bytes of Text that are not
  // printable ASCII are written as "\xNN", so line noise keeps the trace a text file.
  void WriteLine(std::uint8_t MsgLevel, const std::string& Text);

  // Renames the file to its name followed by ".1", replacing an older backup, so that the
  // emptying activation keeps the previous run's trace there. Without a file to rename an
  // older backup stays; a rename that fails changes nothing.
  void BackUpFile();

 private:
  std::string FileName_;
  bool Active_ = false;
  std::uint32_t Level_ = 0;
};
