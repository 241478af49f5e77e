#pragma once
// A port object bound to a pseudo-terminal the test talks on, with a loop that serves the
// port's calls into the main thread; and the error a call raises.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "cport/cport.h"
#include "rt/descriptor_watch.h"
#include "rt/event_loop.h"
#include "rt/main_thread.h"
#include "tests/cport/support/pty_line.h"

namespace corvane::test {

class PortOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    corvane::MainThread::Instance().Attach();
    port.SetPort(pty.SlavePath());
  }
  PtyLine pty;
  corvane::EventLoop loop;
  TComPort port;
};

// The same with the port's events delivered as the parameter says: by an event thread
// (false) or by the test's loop watching the device (true).
class PortOnPtyEitherWay : public PortOnPty, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    PortOnPty::SetUp();
    if (!GetParam()) return;
    corvane::SetMainLoopWatcher(&loop);
    port.SetLoopDelivery(true);
  }
};

inline std::string DeliveryName(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "Loop" : "Thread";
}

// The EComPort a call raises; fails the test when it raises nothing.
inline EComPort RaisedBy(const std::function<void()>& call) {
  try {
    call();
  } catch (const EComPort& e) {
    return e;
  }
  ADD_FAILURE() << "no EComPort raised";
  return EComPort(0);
}

}  // namespace corvane::test
