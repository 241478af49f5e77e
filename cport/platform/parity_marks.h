#pragma once
// Undoes the tty's marking of received bytes. With parity checking the tty is asked to mark
// rather than blank a byte in error: such a byte arrives as 0xFF 0x00 byte, and a real 0xFF
// arrives doubled so it cannot be taken for a mark. A mark may be split between two reads;
// the decoder keeps its place from one call to the next.
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::platform {

class ParityMarkDecoder {
 public:
  // With replace, each byte in error becomes replacement; without, it passes as received.
  void SetReplacement(bool replace, char replacement);
  // Drops the bytes that came as NUL; a replacement NUL is kept.
  void SetDropNuls(bool drop) { dropNuls_ = drop; }
  // Appends the bytes that in completes to out.
  void Decode(std::string_view in, std::string& out);
  // Forgets a mark begun: the bytes after it were dropped.
  void Reset() { state_ = State::Plain; }

 private:
  enum class State : uint8_t { Plain, Marked, ErrorNext };
  State state_ = State::Plain;
  bool replace_ = false;
  bool dropNuls_ = false;
  char replacement_ = 0;
};

}  // namespace corvane::platform
