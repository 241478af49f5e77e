// The event wait's own logic, over scripted driver calls: the driver under test cannot
// wait (see wine_event_wait_test.cpp), so what the backend makes of each way a wait can
// end is driven here.
#include <deque>
#include <string>
#include <vector>

#include "cport/platform/win32_device.h"
#include "tests/win32/com_pair.h"

namespace corvane::platform {
namespace {

// How one issued wait ends.
struct Issue {
  enum How { AtOnce, Later, Never, Refused } how;
  DWORD mask = 0;
  DWORD error = 0;  // Refused: the issue's code; Later: the completion's code
};

// The scripted driver: one Issue per WaitCommEvent call, in order.
struct Driver {
  std::deque<Issue> script;
  DWORD completionError = 0;
  int issued = 0;
  int cancelled = 0;
} g_driver;

BOOL WINAPI FakeWaitCommEvent(HANDLE, LPDWORD mask, LPOVERLAPPED ov) {
  ++g_driver.issued;
  const Issue issue = g_driver.script.front();
  g_driver.script.pop_front();
  switch (issue.how) {
    case Issue::AtOnce:
      *mask = issue.mask;
      return TRUE;
    case Issue::Refused:
      SetLastError(issue.error);
      return FALSE;
    case Issue::Later:
      *mask = issue.mask;
      g_driver.completionError = issue.error;
      SetEvent(ov->hEvent);
      break;
    case Issue::Never:
      break;
  }
  SetLastError(ERROR_IO_PENDING);
  return FALSE;
}

BOOL WINAPI FakeGetOverlappedResult(HANDLE, LPOVERLAPPED, LPDWORD n, BOOL) {
  *n = 0;
  if (g_driver.completionError == 0) return TRUE;
  SetLastError(g_driver.completionError);
  return FALSE;
}

BOOL WINAPI FakeCancelIoEx(HANDLE, LPOVERLAPPED) {
  ++g_driver.cancelled;
  g_driver.completionError = ERROR_OPERATION_ABORTED;
  return TRUE;
}

TEST_F(ComPair, EventWaitEndsAsTheDriverSays) {
  const struct {
    const char* what;
    std::vector<Issue> script;
    bool stopped;  // the stop signal is set before the wait
    WaitResult::Kind outcome;
    uint32_t mask;
    int error;
    int issued, cancelled;
  } cases[] = {
      {"event at once", {{Issue::AtOnce, EV_RXCHAR}}, false, WaitResult::Event, EV_RXCHAR, 0, 1, 0},
      {"event later", {{Issue::Later, EV_TXEMPTY}}, false, WaitResult::Event, EV_TXEMPTY, 0, 1, 0},
      {"mask changed, then event",
       {{Issue::Later, 0}, {Issue::AtOnce, EV_RXCHAR | EV_TXEMPTY}},
       false,
       WaitResult::Event,
       EV_RXCHAR | EV_TXEMPTY,
       0,
       2,
       0},
      {"stop while pending", {{Issue::Never}}, true, WaitResult::Stopped, 0, 0, 1, 1},
      {"refused",
       {{Issue::Refused, 0, ERROR_ACCESS_DENIED}},
       false,
       WaitResult::Failed,
       0,
       ERROR_ACCESS_DENIED,
       1,
       0},
      {"ended by the driver",
       {{Issue::Later, 0, ERROR_OPERATION_ABORTED}},
       false,
       WaitResult::Failed,
       0,
       ERROR_OPERATION_ABORTED,
       1,
       0},
  };
  auto* device = dynamic_cast<Win32Device*>(a_.get());
  ASSERT_NE(nullptr, device);
  device->SetEventWaitCalls({FakeWaitCommEvent, FakeGetOverlappedResult, FakeCancelIoEx});
  for (const auto& c : cases) {
    g_driver = Driver{{c.script.begin(), c.script.end()}};
    StopSignal stop;
    if (c.stopped) stop.Set();
    const WaitResult r = device->WaitCommEvent(stop);
    EXPECT_EQ(c.outcome, r.Outcome) << c.what;
    EXPECT_EQ(c.mask, r.Outcome == WaitResult::Event ? r.Mask : 0u) << c.what;
    EXPECT_EQ(c.error, r.Outcome == WaitResult::Failed ? r.Error : 0) << c.what;
    EXPECT_EQ(c.issued, g_driver.issued) << c.what;
    EXPECT_EQ(c.cancelled, g_driver.cancelled) << c.what;
  }
  device->SetEventWaitCalls({});
}

TEST_F(ComPair, PollReportsOnlyWhatIsThereNow) {
  const struct {
    Issue issue;
    uint32_t mask;
    int cancelled;
  } cases[] = {
      {{Issue::AtOnce, EV_RXCHAR}, EV_RXCHAR, 0},
      {{Issue::Never}, 0, 1},
      {{Issue::Refused, 0, ERROR_INVALID_HANDLE}, 0, 0},
  };
  auto* device = dynamic_cast<Win32Device*>(a_.get());
  ASSERT_NE(nullptr, device);
  device->SetEventWaitCalls({FakeWaitCommEvent, FakeGetOverlappedResult, FakeCancelIoEx});
  for (const auto& c : cases) {
    g_driver = Driver{{c.issue}};
    EXPECT_EQ(c.mask, device->PollCommEvent()) << c.issue.how;
    EXPECT_EQ(c.cancelled, g_driver.cancelled) << c.issue.how;
  }
  device->SetEventWaitCalls({});
}

}  // namespace
}  // namespace corvane::platform
