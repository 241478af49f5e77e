// The event wait's own logic, over a scripted driver: the driver under test cannot wait
// (see wine_event_wait_test.cpp), so what the backend makes of each way a wait can end is
// driven here. Like a real driver, the script completes a pending wait from a thread of its
// own, writes the mask only then, and lets GetOverlappedResult wait only when asked to.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cport/platform/win32_device.h"
#include "tests/win32/com_pair.h"

namespace corvane::platform {
namespace {

using namespace std::chrono_literals;

// How one issued wait ends.
struct Issue {
  enum How { AtOnce, Later, Never, Refused, ByMaskChange } how;
  DWORD mask = 0;
  DWORD error = 0;  // Refused: the issue's code; Later: the completion's code
};

struct Driver {
  std::deque<Issue> script;
  DWORD lineError = 0;  // what ClearCommError fails with, 0 for an answering line
  Win32Device* device = nullptr;
  std::mutex m;
  std::condition_variable cv;
  bool complete = true, cancelRequested = false;
  DWORD completionError = 0;
  std::thread worker;
  std::vector<const void*> maskAt;  // where each issued wait was to write its mask
  int issued = 0, cancelled = 0, probes = 0;

  void Join() {
    if (worker.joinable()) worker.join();
  }
} g_driver;

BOOL WINAPI FakeWaitCommEvent(HANDLE, LPDWORD mask, LPOVERLAPPED ov) {
  Driver& d = g_driver;
  d.Join();
  ++d.issued;
  d.maskAt.push_back(mask);
  const Issue issue = d.script.front();
  d.script.pop_front();
  if (issue.how == Issue::AtOnce) {
    *mask = issue.mask;
    return TRUE;
  }
  if (issue.how == Issue::Refused) {
    SetLastError(issue.error);
    return FALSE;
  }
  {
    std::lock_guard lock(d.m);
    d.complete = d.cancelRequested = false;
  }
  d.worker = std::thread([issue, mask, ov] {
    Driver& d = g_driver;
    if (issue.how == Issue::ByMaskChange) d.device->SetCommMask(EV_RXCHAR);
    std::unique_lock lock(d.m);
    const auto cancelled = [&] { return d.cancelRequested; };
    bool byItself = false;
    if (issue.how == Issue::Never) {
      d.cv.wait(lock, cancelled);
    } else {
      byItself = !d.cv.wait_for(lock, 20ms, cancelled);
    }
    // A cancel takes the driver a moment too: the record and mask stay its own meanwhile.
    if (!byItself) {
      lock.unlock();
      std::this_thread::sleep_for(20ms);
      lock.lock();
    }
    *mask = byItself ? issue.mask : 0;
    d.completionError = byItself ? issue.error : ERROR_OPERATION_ABORTED;
    d.complete = true;
    SetEvent(ov->hEvent);
    d.cv.notify_all();
  });
  SetLastError(ERROR_IO_PENDING);
  return FALSE;
}

BOOL WINAPI FakeGetOverlappedResult(HANDLE, LPOVERLAPPED, LPDWORD n, BOOL wait) {
  Driver& d = g_driver;
  std::unique_lock lock(d.m);
  if (!d.complete && !wait) {
    SetLastError(ERROR_IO_INCOMPLETE);
    return FALSE;
  }
  d.cv.wait(lock, [&] { return d.complete; });
  *n = 0;
  if (d.completionError == 0) return TRUE;
  SetLastError(d.completionError);
  return FALSE;
}

BOOL WINAPI FakeCancelIoEx(HANDLE, LPOVERLAPPED) {
  Driver& d = g_driver;
  std::lock_guard lock(d.m);
  if (d.complete) {
    SetLastError(ERROR_NOT_FOUND);
    return FALSE;
  }
  ++d.cancelled;
  d.cancelRequested = true;
  d.cv.notify_all();
  return TRUE;
}

BOOL WINAPI FakeClearCommError(HANDLE, LPDWORD errors, LPCOMSTAT stat) {
  ++g_driver.probes;
  *errors = 0;
  *stat = COMSTAT{};
  SetLastError(g_driver.lineError);
  return g_driver.lineError == 0;
}

class ScriptedDriver : public ComPair {
 protected:
  void SetUp() override {
    ComPair::SetUp();
    if (IsSkipped()) return;
    device_ = dynamic_cast<Win32Device*>(a_.get());
    ASSERT_NE(nullptr, device_);
    DriverCalls calls;
    calls.waitCommEvent = FakeWaitCommEvent;
    calls.getOverlappedResult = FakeGetOverlappedResult;
    calls.cancelIoEx = FakeCancelIoEx;
    calls.clearCommError = FakeClearCommError;
    device_->SetDriverCalls(calls);
  }
  void TearDown() override {
    g_driver.Join();
    if (device_) device_->SetDriverCalls({});
    ComPair::TearDown();
  }
  void Script(std::vector<Issue> script, DWORD lineError = 0) {
    g_driver.Join();
    g_driver.script.assign(script.begin(), script.end());
    g_driver.lineError = lineError;
    g_driver.device = device_;
    g_driver.maskAt.clear();
    g_driver.complete = true;
    g_driver.issued = g_driver.cancelled = g_driver.probes = 0;
  }
  // Every mask the driver was given to write lies in the device, not on a stack that is
  // gone once the wait has returned.
  bool MasksOutliveTheWait() const {
    const auto* begin = reinterpret_cast<const char*>(device_);
    for (const void* at : g_driver.maskAt) {
      const auto* p = static_cast<const char*>(at);
      if (p < begin || p >= begin + sizeof(Win32Device)) return false;
    }
    return true;
  }

  Win32Device* device_ = nullptr;
};

TEST_F(ScriptedDriver, EventWaitEndsAsTheDriverSays) {
  const struct {
    const char* what;
    std::vector<Issue> script;
    DWORD lineError;
    bool stopped;  // the stop signal is set once the wait is pending
    WaitResult::Kind outcome;
    uint32_t mask;
    int error;
    int issued, cancelled, probes;
  } cases[] = {
      {"event at once",
       {{Issue::AtOnce, EV_RXCHAR}},
       0,
       false,
       WaitResult::Event,
       EV_RXCHAR,
       0,
       1,
       0,
       0},
      {"event later",
       {{Issue::Later, EV_TXEMPTY}},
       0,
       false,
       WaitResult::Event,
       EV_TXEMPTY,
       0,
       1,
       0,
       0},
      {"mask changed, then event",
       {{Issue::ByMaskChange}, {Issue::AtOnce, EV_RXCHAR | EV_TXEMPTY}},
       0,
       false,
       WaitResult::Event,
       EV_RXCHAR | EV_TXEMPTY,
       0,
       2,
       0,
       0},
      {"empty mask nobody asked for, line answers, then event",
       {{Issue::Later, 0}, {Issue::AtOnce, EV_RXCHAR}},
       0,
       false,
       WaitResult::Event,
       EV_RXCHAR,
       0,
       2,
       0,
       1},
      {"empty mask nobody asked for, line gone",
       {{Issue::Later, 0}},
       ERROR_BAD_COMMAND,
       false,
       WaitResult::Failed,
       0,
       ERROR_BAD_COMMAND,
       1,
       0,
       1},
      {"stop while pending", {{Issue::Never}}, 0, true, WaitResult::Stopped, 0, 0, 1, 1, 0},
      {"refused",
       {{Issue::Refused, 0, ERROR_ACCESS_DENIED}},
       0,
       false,
       WaitResult::Failed,
       0,
       ERROR_ACCESS_DENIED,
       1,
       0,
       0},
      {"ended in failure once, then event",
       {{Issue::Later, 0, ERROR_OPERATION_ABORTED}, {Issue::Later, EV_RXCHAR}},
       0,
       false,
       WaitResult::Event,
       EV_RXCHAR,
       0,
       2,
       0,
       0},
      {"ended in failure, then refused",
       {{Issue::Later, 0, ERROR_OPERATION_ABORTED}, {Issue::Refused, 0, ERROR_BAD_COMMAND}},
       0,
       false,
       WaitResult::Failed,
       0,
       ERROR_BAD_COMMAND,
       2,
       0,
       0},
      {"ended in failure twice in a row",
       {{Issue::Later, 0, ERROR_OPERATION_ABORTED}, {Issue::Later, 0, ERROR_GEN_FAILURE}},
       0,
       false,
       WaitResult::Failed,
       0,
       ERROR_GEN_FAILURE,
       2,
       0,
       0},
  };
  for (const auto& c : cases) {
    Script(c.script, c.lineError);
    StopSignal stop;
    std::thread stopper;
    if (c.stopped) {
      stopper = std::thread([&stop] {
        std::this_thread::sleep_for(5ms);
        stop.Set();
      });
    }
    const WaitResult r = device_->WaitCommEvent(stop);
    {
      std::lock_guard lock(g_driver.m);
      EXPECT_TRUE(g_driver.complete) << c.what << ": returned while the driver owned the wait";
    }
    if (stopper.joinable()) stopper.join();
    EXPECT_EQ(c.outcome, r.Outcome) << c.what;
    EXPECT_EQ(c.mask, r.Outcome == WaitResult::Event ? r.Mask : 0u) << c.what;
    EXPECT_EQ(c.error, r.Outcome == WaitResult::Failed ? r.Error : 0) << c.what;
    EXPECT_EQ(c.issued, g_driver.issued) << c.what;
    EXPECT_EQ(c.cancelled, g_driver.cancelled) << c.what;
    EXPECT_EQ(c.probes, g_driver.probes) << c.what;
    EXPECT_TRUE(MasksOutliveTheWait()) << c.what;
  }
}

TEST_F(ScriptedDriver, PollReportsOnlyWhatIsThereNow) {
  const struct {
    Issue issue;
    uint32_t mask;
    int cancelled;
  } cases[] = {
      {{Issue::AtOnce, EV_RXCHAR}, EV_RXCHAR, 0},
      {{Issue::Never}, 0, 1},
      {{Issue::Refused, 0, ERROR_INVALID_HANDLE}, 0, 0},
  };
  for (const auto& c : cases) {
    Script({c.issue});
    EXPECT_EQ(c.mask, device_->PollCommEvent()) << c.issue.how;
    EXPECT_EQ(c.cancelled, g_driver.cancelled) << c.issue.how;
    std::lock_guard lock(g_driver.m);
    EXPECT_TRUE(g_driver.complete) << c.issue.how;
  }
}

}  // namespace
}  // namespace corvane::platform
