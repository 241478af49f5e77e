#include "rt/event_loop.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>
#include <system_error>
#include <string>
#include <thread>
#include <vector>

#include "rt/main_thread.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

int OpenDescriptors() {
  int n = 0;
  for (int fd = 0; fd < 1024; ++fd) n += fcntl(fd, F_GETFD) != -1;
  return n;
}

class EventLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    main_.Attach();
    main_.SetExceptionHandler([this](std::exception_ptr e) {
      try {
        std::rethrow_exception(e);
      } catch (const std::exception& ex) {
        handled_.push_back(ex.what());
      }
    });
  }
  void TearDown() override { main_.SetExceptionHandler(nullptr); }

  MainThread& main_ = MainThread::Instance();
  EventLoop loop_;
  std::vector<std::string> handled_;
};

TEST_F(EventLoopTest, TimersFireInTheOrderTheyFallDue) {
  std::string fired;
  int a = 0, b = 0, c = 0;
  a = loop_.AddTimer(3ms, [&] {
    fired += 'A';
    loop_.RemoveTimer(a);
  });
  b = loop_.AddTimer(1ms, [&] {
    fired += 'B';
    loop_.RemoveTimer(b);
  });
  c = loop_.AddTimer(2ms, [&] {
    fired += 'C';
    loop_.RemoveTimer(c);
  });
  EXPECT_TRUE(loop_.RunUntil([&] { return fired.size() == 3; }, 10s));
  EXPECT_EQ(fired, "BCA");
}

TEST_F(EventLoopTest, RepeatingTimerRunsUntilRemovedAndQuitCodeIsReturned) {
  int ticks = 0;
  int once = 0;
  int once_id = loop_.AddTimer(1ms, [&] {
    ++once;
    loop_.RemoveTimer(once_id);
  });
  loop_.AddTimer(1ms, [&] {
    if (++ticks == 5) loop_.Quit(7);
  });
  EXPECT_EQ(loop_.Run(), 7);
  EXPECT_EQ(ticks, 5);
  EXPECT_EQ(once, 1);
}

TEST_F(EventLoopTest, QuitFromAnotherThreadEndsRun) {
  bool loop_was_running = false;
  ServedThread other([&] {
    main_.Synchronize([&] { loop_was_running = true; });
    loop_.Quit(3);
  });
  EXPECT_EQ(loop_.Run(), 3);
  EXPECT_TRUE(loop_was_running);
  main_.JoinServing(other);
}

EventLoop* signalled_loop = nullptr;
extern "C" void QuitOnSignal(int) {
  signalled_loop->Quit(9);
}

TEST_F(EventLoopTest, QuitFromASignalHandlerEndsRun) {
  signalled_loop = &loop_;
  struct sigaction action {
  }, previous{};
  action.sa_handler = QuitOnSignal;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  ServedThread other([&] {
    main_.Synchronize([] {});
    std::raise(SIGUSR1);
  });
  EXPECT_EQ(loop_.Run(), 9);
  main_.JoinServing(other);
  sigaction(SIGUSR1, &previous, nullptr);
}

TEST_F(EventLoopTest, SleepingLoopServesSynchronizeCalls) {
  // No timers and no fds: only the wake of the queued call can end this Run.
  const auto main_id = std::this_thread::get_id();
  std::thread::id ran_on;
  ServedThread worker([&] {
    main_.Synchronize([&] {
      ran_on = std::this_thread::get_id();
      loop_.Quit();
    });
  });
  EXPECT_EQ(loop_.Run(), 0);
  main_.JoinServing(worker);
  EXPECT_EQ(ran_on, main_id);
}

TEST_F(EventLoopTest, ThrowingCallbacksGoToTheHandlerAndTheLoopGoesOn) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int ticks = 0;
  loop_.AddTimer(1ms, [&] {
    if (++ticks < 3) throw std::runtime_error("tick " + std::to_string(ticks));
  });
  int watch = 0;
  watch = loop_.WatchFd(fds[0], [&] {
    loop_.UnwatchFd(watch);
    throw std::runtime_error("fd");
  });
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  EXPECT_TRUE(loop_.RunUntil([&] { return ticks >= 3 && handled_.size() == 3; }, 10s));
  EXPECT_EQ(std::count(handled_.begin(), handled_.end(), "fd"), 1);
  EXPECT_EQ(std::count(handled_.begin(), handled_.end(), "tick 1"), 1);
  EXPECT_EQ(std::count(handled_.begin(), handled_.end(), "tick 2"), 1);
  close(fds[0]);
  close(fds[1]);
}

TEST_F(EventLoopTest, WatchedFdCallbackSeesDataWrittenByAnotherThread) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string got;
  loop_.WatchFd(fds[0], [&] {
    char buffer[16];
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n > 0) got.append(buffer, n);
  });
  std::thread writer([&] { ASSERT_EQ(write(fds[1], "FA;", 3), 3); });
  EXPECT_TRUE(loop_.RunUntil([&] { return got == "FA;"; }, 10s));
  writer.join();
  close(fds[0]);
  close(fds[1]);
}

TEST_F(EventLoopTest, AWatchForWritingWakesWhenThePipeHasRoomAgain) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
  // Full: no room until the reader takes some.
  const std::string block(4096, 'x');
  while (write(fds[1], block.data(), block.size()) > 0) {
  }
  int wakes = 0;
  int id = 0;
  id = loop_.Watch(fds[1], DescriptorWatcher::kWritable, [&] {
    ++wakes;
    loop_.Unwatch(id);
  });
  EXPECT_FALSE(loop_.RunUntil([&] { return wakes > 0; }, 50ms)) << "woke while full";
  std::thread reader([&] {
    char buffer[65536];
    while (read(fds[0], buffer, sizeof buffer) > 0) {
    }
  });
  EXPECT_TRUE(loop_.RunUntil([&] { return wakes == 1; }, 10s));
  reader.join();
  close(fds[0]);
  close(fds[1]);
}

TEST(MainLoopWatcher, IsClearedWhenItsLoopGoes) {
  {
    EventLoop loop;
    SetMainLoopWatcher(&loop);
    EXPECT_EQ(MainLoopWatcher(), &loop);
  }
  EXPECT_EQ(MainLoopWatcher(), nullptr);
}

TEST_F(EventLoopTest, ClosedWatchedFdIsDroppedAndReported) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int calls = 0;
  loop_.WatchFd(fds[0], [&] { ++calls; });
  const std::string expected = "watched descriptor " + std::to_string(fds[0]) + " is not open";
  close(fds[0]);
  close(fds[1]);
  EXPECT_TRUE(loop_.RunUntil([&] { return !handled_.empty(); }, 10s));
  EXPECT_EQ(handled_, std::vector<std::string>{expected});
  EXPECT_EQ(calls, 0);
}

TEST_F(EventLoopTest, AWatchTheSystemRefusesRaisesAndKeepsNoDescriptor) {
  // A regular file cannot be waited on.
  char name[] = "/tmp/corvane-loop-XXXXXX";
  const int file = mkstemp(name);
  ASSERT_GE(file, 0);
  unlink(name);
  loop_.RunUntil([] { return false; }, 1ms);  // the loop's own wait set is made
  const int before = OpenDescriptors();
  EXPECT_THROW(loop_.WatchFd(file, [] {}), std::system_error);
  EXPECT_EQ(OpenDescriptors(), before);
  close(file);
}

TEST_F(EventLoopTest, RunUntilGivesUpAtTheDeadline) {
  int ticks = 0;
  loop_.AddTimer(1ms, [&] { ++ticks; });
  EXPECT_FALSE(loop_.RunUntil([] { return false; }, 30ms));
  EXPECT_GT(ticks, 0);
}

TEST_F(EventLoopTest, QuitBeforeRunEndsTheNextRunAtOnce) {
  loop_.Quit(4);
  EXPECT_EQ(loop_.Run(), 4);
}

}  // namespace
}  // namespace corvane
