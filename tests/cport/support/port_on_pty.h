#pragma once
// A port object bound to a pseudo-terminal the test talks on, with a loop that serves the
// port's calls into the main thread; and the error a call raises.
#include <gtest/gtest.h>

#include <functional>

#include "cport/cport.h"
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
