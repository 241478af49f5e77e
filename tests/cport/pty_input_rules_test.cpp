// Input rules the tty backend carries out itself, on real pseudo-terminals: the event
// character, and parity checking that passes bytes as they came. The same rules hold on a
// virtual line ("pty:PATH"), whose line settings never reach the pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "cport/cport.h"
#include "tests/cport/support/port_on_pty.h"

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

// The parameter: whether the port is on a virtual line rather than on the test's pty.
class PtyInputRules : public corvane::test::PortOnPty, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    PortOnPty::SetUp();
    if (!GetParam()) return;
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-ir-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    port.SetPort("pty:" + dir_ + "/line");
  }
  void TearDown() override {
    if (client_ >= 0) ::close(client_);
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  void Send(const std::string& bytes) {
    int fd = pty.Master();
    if (GetParam()) {
      // The line's client end exists once the port has opened it.
      if (client_ < 0) client_ = ::open((dir_ + "/line").c_str(), O_RDWR | O_NOCTTY);
      ASSERT_GE(client_, 0);
      fd = client_;
    }
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

 private:
  std::string dir_;
  int client_ = -1;
};

INSTANTIATE_TEST_SUITE_P(Lines, PtyInputRules, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Virtual" : "Pty"; });

TEST_P(PtyInputRules, TheEventCharacterRaisesRxFlagAndStaysInTheData) {
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

TEST_P(PtyInputRules, ParityCheckingPassesNulAndFFAsTheyCame) {
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
    if (c.check && !GetParam()) {
      EXPECT_EQ(port.InQueueCount(), static_cast<int32_t>(c.expect.size()));
    }
    std::string text;
    port.ReadText(text, 16);
    EXPECT_EQ(text, c.expect);
    port.ClosePort();
  }
}

TEST_P(PtyInputRules, BytesWaitingWhenParityCheckingSwitchesKeepTheirValue) {
  port.SetEvents({});
  for (const bool checkFirst : {false, true}) {
    SCOPED_TRACE(checkFirst ? "checking switched off" : "checking switched on");
    port.Parity().SetCheck(checkFirst);
    port.OpenPort();
    Send("A\xff");
    const auto end = std::chrono::steady_clock::now() + 2s;
    while (port.InQueueCount() < 2 && std::chrono::steady_clock::now() < end) {
    }
    port.Parity().SetCheck(!checkFirst);
    std::string text;
    port.ReadText(text, 16);
    EXPECT_EQ(text, "A\xff");
    port.ClosePort();
  }
}

}  // namespace
