// Input rules the tty backend carries out itself, on real pseudo-terminals: the event
// character, and parity checking that passes bytes as they came.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "cport/cport.h"
#include "tests/cport/support/port_on_pty.h"

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

class PtyInputRules : public corvane::test::PortOnPty {
 protected:
  void Send(const std::string& bytes) {
    ASSERT_EQ(write(pty.Master(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
};

TEST_F(PtyInputRules, TheEventCharacterRaisesRxFlagAndStaysInTheData) {
  std::string received;
  int flags = 0;
  port.SetOnRxChar([&](TObject*, int32_t count) {
    std::string text;
    port.ReadText(text, count);
    received += text;
  });
  port.SetOnRxFlag([&](TObject*) { ++flags; });
  port.SetEventChar(';');
  port.OpenPort();
  struct Step {
    std::string arrive;
    std::string received;  // in all, so far
    int flags;
  };
  // A flag raised for the wrong arrival shows as a wrong count at a later step.
  const std::vector<Step> steps = {
      {"FA", "FA", 0}, {";", "FA;", 1}, {"IF", "FA;IF", 1}, {"000;", "FA;IF000;", 2}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.received);
    Send(s.arrive);
    EXPECT_TRUE(loop.RunUntil([&] { return received == s.received && flags == s.flags; }, 2s))
        << received << " flags " << flags;
  }
}

TEST_F(PtyInputRules, ParityCheckingPassesNulAndFFAsTheyCame) {
  struct Case {
    const char* name;
    bool check, discardNull;
    std::string expect;
  };
  const std::string sent = "A\0\xff"s;
  const std::vector<Case> cases = {
      {"checked", true, false, sent},
      {"checked, NULs dropped", true, true, "A\xff"},
      {"unchecked, NULs dropped", false, true, "A\xff"},
  };
  port.SetEvents({});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    port.Parity().SetCheck(c.check);
    port.SetDiscardNull(c.discardNull);
    port.OpenPort();
    Send(sent);
    const auto end = std::chrono::steady_clock::now() + 2s;
    while (port.InQueueCount() < static_cast<int32_t>(c.expect.size()) &&
           std::chrono::steady_clock::now() < end) {
    }
    // Counted as the bytes a read hands over, not as the tty's marked form.
    if (c.check) {
      EXPECT_EQ(port.InQueueCount(), static_cast<int32_t>(c.expect.size()));
    }
    std::string text;
    port.ReadText(text, 16);
    EXPECT_EQ(text, c.expect);
    port.ClosePort();
  }
}

}  // namespace
