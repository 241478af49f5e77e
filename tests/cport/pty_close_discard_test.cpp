// What a close does to the bytes waiting on a real pseudo-terminal: with DiscardOnClose
// off they survive the close and reach OnRxChar after the reopen; by default they go.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>

#include "cport/cport.h"
#include "tests/cport/support/port_on_pty.h"
#include "tests/cport/support/pty_line.h"

namespace {

using namespace std::chrono_literals;

using corvane::test::PtyLine;

class PtyCloseDiscard : public corvane::test::PortOnPtyEitherWay {};

INSTANTIATE_TEST_SUITE_P(Delivery, PtyCloseDiscard, ::testing::Bool(), corvane::test::DeliveryName);

TEST_P(PtyCloseDiscard, KeptBytesReachOnRxCharAcrossEveryReset) {
  constexpr int kRounds = 200;
  std::string received;
  port.SetOnRxChar([&](TObject*, int32_t count) {
    std::string text;
    EXPECT_EQ(port.ReadText(text, count), count);
    received += text;
  });
  port.SetDiscardOnClose(false);
  port.OpenPort();
  std::string sent;
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_EQ(write(pty.Master(), "X;", 2), 2);
    sent += "X;";
    port.ClosePort();
    port.OpenPort();
  }
  // Each round's bytes are sent once; whatever is missing now was lost, not late.
  loop.RunUntil([&] { return received.size() >= sent.size(); }, 5s);
  EXPECT_EQ(received.size(), sent.size());
  EXPECT_EQ(received, sent);
}

TEST_P(PtyCloseDiscard, TheSettingDecidesWhetherWaitingBytesOutliveAClose) {
  const struct {
    const char* name;
    std::optional<bool> discard;  // none: left at its default
    int32_t waitingAfterReopen;
  } cases[] = {{"default", std::nullopt, 0}, {"on", true, 0}, {"off", false, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PtyLine line;
    TComPort p;
    p.SetLoopDelivery(GetParam());
    p.SetPort(line.SlavePath());
    if (c.discard) p.SetDiscardOnClose(*c.discard);
    p.OpenPort();
    ASSERT_TRUE(p.EventThreadRunning());
    ASSERT_EQ(write(line.Master(), "X;", 2), 2);
    // Nobody reads them: the bytes wait in the device when the close comes. Nothing acts
    // on their arrival, so nothing wakes the loop: a ticking timer lets it look again.
    const int tick = loop.AddTimer(1ms, [] {});
    ASSERT_TRUE(loop.RunUntil([&] { return p.InQueueCount() == 2; }, 2s));
    loop.RemoveTimer(tick);
    p.ClosePort();
    // Kept bytes are an arrival for the reopened port, wherever they waited meanwhile.
    std::string got;
    p.SetOnRxChar([&](TObject*, int32_t count) {
      std::string text;
      p.ReadText(text, count);
      got += text;
    });
    p.OpenPort();
    EXPECT_EQ(p.InQueueCount(), c.waitingAfterReopen);
    loop.RunUntil([&] { return got.size() >= static_cast<size_t>(c.waitingAfterReopen); }, 2s);
    EXPECT_EQ(got, c.waitingAfterReopen > 0 ? "X;" : "");
  }
}

}  // namespace
