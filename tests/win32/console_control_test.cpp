// The console's control events as Windows sends them, each on a thread of its own: a close
// or shutdown returns only once the program has shut down in order, since Windows ends the
// process as soon as the handler returns; a logoff is not for this program.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "rt/console_control_win32.h"
#include "rt/event_loop.h"
#include "rt/main_thread.h"
#include "rt/stop_request.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

TEST(ConsoleControl, EachEventDoesWhatItMeansForTheBridge) {
  const struct {
    DWORD type;
    bool quits;
    bool waitsForShutdown;
  } cases[] = {
      {CTRL_C_EVENT, true, false},       {CTRL_BREAK_EVENT, true, false},
      {CTRL_CLOSE_EVENT, true, true},    {CTRL_SHUTDOWN_EVENT, true, true},
      {CTRL_LOGOFF_EVENT, false, false},
  };
  MainThread::Instance().Attach();
  for (const auto& c : cases) {
    EventLoop loop;
    QuitLoopOnStopRequest(&loop);
    std::atomic<bool> returned{false};
    auto handler = std::async(std::launch::async, [&] {
      const BOOL handled = OnConsoleControl(c.type);
      returned = true;
      return handled;
    });
    // Quit by the event, or by this timer when the event leaves the bridge running.
    loop.AddTimer(300ms, [&loop] { loop.Quit(7); });
    const int code = loop.Run();
    EXPECT_EQ(c.quits ? 0 : 7, code) << c.type;
    if (c.waitsForShutdown) {
      // The write-back runs here; the handler must still be waiting.
      EXPECT_EQ(std::future_status::timeout, handler.wait_for(50ms)) << c.type;
      EXPECT_FALSE(returned) << c.type;
    }
    QuitLoopOnStopRequest(nullptr);  // the orderly shutdown is done
    ASSERT_EQ(std::future_status::ready, handler.wait_for(2s)) << c.type;
    EXPECT_TRUE(handler.get()) << c.type;
  }
}

}  // namespace
}  // namespace corvane
