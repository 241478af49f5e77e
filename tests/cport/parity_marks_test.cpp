// Undoing the tty's parity marks, fed in pieces as reads would hand them over.
#include "cport/platform/parity_marks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using corvane::platform::ParityMarkDecoder;

TEST(ParityMarks, DecodeWhateverWayTheReadsSplitThem) {
  struct Case {
    const char* name;
    bool replace;
    std::vector<std::string> reads;
    std::string expect;
    bool dropNuls = false;
    char replacement = '?';
  };
  using namespace std::string_literals;
  const std::vector<Case> cases = {
      {"plain bytes and real NULs", false, {"FA\0;"s}, "FA\0;"s},
      {"a real 0xFF arrives doubled", false, {"A\xff\xff;"s}, "A\xff;"s},
      {"a byte in error passes as received", false, {"\xff\0Q;"s}, "Q;"},
      {"a byte in error becomes the replacement", true, {"\xff\0Q;"s}, "?;"},
      {"a break reads as an errored NUL", true, {"\xff\0\0"s}, "?"},
      {"a mark split after 0xFF", true, {"A\xff"s, "\0Q"s}, "A?"},
      {"a mark split after 0xFF 0x00", true, {"\xff\0"s, "Q"s}, "?"},
      {"a doubled 0xFF split", false, {"\xff"s, "\xff"s}, "\xff"},
      {"a lone 0xFF before another byte is no mark", false, {"\xff"s, "Z"s}, "\xffZ"},
      // Only bytes that came as NUL are dropped, not a byte in error replaced by NUL.
      {"NULs dropped, replaced by NUL", true, {"A\0\xff\0Q"s}, "A\0"s, true, '\0'},
      {"NULs dropped, an errored NUL as received", false, {"\xff\0\0B\0"s}, "B", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ParityMarkDecoder decoder;
    decoder.SetReplacement(c.replace, c.replacement);
    decoder.SetDropNuls(c.dropNuls);
    std::string out;
    for (const std::string& read : c.reads) decoder.Decode(read, out);
    EXPECT_EQ(out, c.expect);
  }
}

}  // namespace
