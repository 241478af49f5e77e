#include "cport/platform/parity_marks.h"

namespace corvane::platform {
namespace {

constexpr char kMark = '\xff';

}  // namespace

void ParityMarkDecoder::SetReplacement(bool replace, char replacement) {
  replace_ = replace;
  replacement_ = replacement;
}

void ParityMarkDecoder::Decode(std::string_view in, std::string& out) {
  for (const char c : in) {
    switch (state_) {
      case State::Plain:
        if (c == kMark) {
          state_ = State::Marked;
        } else if (c != '\0' || !dropNuls_) {
          out += c;
        }
        break;
      case State::Marked:
        if (c == '\0') {
          state_ = State::ErrorNext;
          break;
        }
        // 0xFF 0xFF is a real 0xFF; anything else was no mark, and both bytes pass.
        if (c != kMark) out += kMark;
        out += c;
        state_ = State::Plain;
        break;
      case State::ErrorNext:
        if (replace_) {
          out += replacement_;
        } else if (c != '\0' || !dropNuls_) {
          out += c;
        }
        state_ = State::Plain;
        break;
    }
  }
}

}  // namespace corvane::platform
