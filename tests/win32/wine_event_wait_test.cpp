// What Wine's serial driver does with a COM port that is a pseudo-terminal. Line settings,
// reads and writes pass through, but a pty has no modem lines, and Wine's event wait cannot
// wait there: a wait on an idle line ends by itself within milliseconds, aborted, so an
// arrival after the wait began is never reported (a wait issued while input is queued may
// complete with EV_RXCHAR or end aborted, depending on timing). The bridge's event threads
// need that wait, so the bridge cannot run on such ports under Wine. These cases pin the
// behaviour down: a Wine that waits properly fails them.
#include <chrono>
#include <future>
#include <string>

#include "tests/win32/com_pair.h"

// After the seam's vocabulary, which windows.h would otherwise turn into macros.
#include <windows.h>

namespace corvane::platform {
namespace {

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class WinePty : public ComPair {
 protected:
  void SetUp() override {
    if (!UnderWine()) {
      GTEST_SKIP() << "about Wine only";
    }
    ComPair::SetUp();
  }
};

TEST_F(WinePty, AWaitOnAnIdleLineEndsByItselfAborted) {
  ASSERT_EQ(0, b_->SetCommMask(EV_RXCHAR));
  StopSignal stop;
  auto wait = std::async(std::launch::async, [&] { return b_->WaitCommEvent(stop); });
  const bool endedByItself = wait.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  stop.Set();  // a driver that waits properly is released here
  const WaitResult r = wait.get();
  EXPECT_TRUE(endedByItself) << "Wine's driver now waits on a pty: the bridge may run there";
  EXPECT_EQ(WaitResult::Failed, r.Outcome);
  EXPECT_EQ(ERROR_OPERATION_ABORTED, r.Error);
}

TEST_F(WinePty, AWaitForModemLinesIsRefused) {
  ASSERT_EQ(0, b_->SetCommMask(EV_RXCHAR | EV_CTS));
  StopSignal stop;
  const WaitResult r = b_->WaitCommEvent(stop);
  EXPECT_EQ(WaitResult::Failed, r.Outcome);
  EXPECT_EQ(ERROR_NOT_SUPPORTED, r.Error);
}

// Where Wine's driver departs from the Windows rules on a pty, with the codes it gives.
TEST_F(WinePty, ReadsDepartFromTheWindowsRules) {
  uint32_t status = 0;
  EXPECT_EQ(ERROR_NOT_SUPPORTED, a_->GetCommModemStatus(status));  // no modem lines
  // A total timeout ends an empty read as a failure, where Windows returns 0 bytes.
  ASSERT_EQ(0, b_->SetCommTimeouts(CommTimeouts{0, 0, 100, 0, 0}));
  int err = 0;
  EXPECT_EQ("", Read(*b_, 16, err));
  EXPECT_EQ(ERROR_TIMEOUT, err);
}

}  // namespace
}  // namespace corvane::platform
