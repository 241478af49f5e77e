#include "rt/main_thread.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace corvane {
namespace {

using namespace std::chrono_literals;

bool Readable(int fd, std::chrono::milliseconds timeout) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, static_cast<int>(timeout.count())) == 1 && (p.revents & POLLIN);
}

class MainThreadTest : public ::testing::Test {
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
  void TearDown() override {
    main_.ServePending();
    main_.SetExceptionHandler(nullptr);
    main_.SetWakeHook(nullptr);
  }

  MainThread& main_ = MainThread::Instance();
  std::vector<std::string> handled_;  // only touched on the main thread
};

TEST_F(MainThreadTest, SynchronizeRunsOnMainThreadAndReturnsAfterTheCall) {
  const auto main_id = std::this_thread::get_id();
  std::thread::id ran_on;
  bool ran = false;
  bool ran_before_return = false;
  ServedThread worker([&] {
    main_.Synchronize([&] {
      ran_on = std::this_thread::get_id();
      ran = true;
    });
    ran_before_return = ran;
  });
  main_.JoinServing(worker);
  EXPECT_EQ(ran_on, main_id);
  EXPECT_TRUE(ran_before_return);
  EXPECT_EQ(worker.Error(), nullptr);
}

TEST_F(MainThreadTest, SynchronizeRaisesTheCallsExceptionOnTheCaller) {
  std::string caught;
  ServedThread worker([&] {
    try {
      main_.Synchronize([] { throw std::runtime_error("handler failed"); });
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
  });
  main_.JoinServing(worker);
  EXPECT_EQ(caught, "handler failed");
  EXPECT_TRUE(handled_.empty());
}

TEST_F(MainThreadTest, SynchronizeAndSendOnTheMainThreadRunAtOnce) {
  int runs = 0;
  main_.Synchronize([&] { ++runs; });
  main_.Send([&] { ++runs; });
  EXPECT_EQ(runs, 2);
  EXPECT_FALSE(main_.ServePending());
  EXPECT_THROW(main_.Synchronize([] { throw std::logic_error("inline"); }), std::logic_error);
  main_.Send([] { throw std::runtime_error("sent inline"); });
  EXPECT_EQ(handled_, std::vector<std::string>{"sent inline"});
}

TEST_F(MainThreadTest, ManyThreadsEachCallServedOnceInOrderPerThread) {
  constexpr int kThreads = 6;
  constexpr int kCalls = 150;
  std::vector<std::vector<int>> seen(kThreads);  // appended on the main thread only
  std::vector<std::unique_ptr<ServedThread>> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.push_back(std::make_unique<ServedThread>([&, t] {
      for (int i = 0; i < kCalls; ++i) {
        if (i % 2)
          main_.Synchronize([&, t, i] { seen[t].push_back(i); });
        else
          main_.Send([&, t, i] { seen[t].push_back(i); });
      }
    }));
  }
  for (auto& w : workers) main_.JoinServing(*w);
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[t].size(), static_cast<size_t>(kCalls)) << "thread " << t;
    for (int i = 0; i < kCalls; ++i) EXPECT_EQ(seen[t][i], i) << "thread " << t;
  }
}

TEST_F(MainThreadTest, ACallersThreadMayEndTheMomentItsCallReturns) {
  // The main thread may still be releasing a caller's wake-up when the caller, already
  // woken, returns and its thread ends.
  constexpr int kCallers = 40;
  int served = 0;
  std::vector<std::unique_ptr<ServedThread>> callers;
  for (int i = 0; i < kCallers; ++i) {
    callers.push_back(std::make_unique<ServedThread>([&, i] {
      if (i % 2)
        main_.Synchronize([&] { ++served; });
      else
        main_.Send([&] { ++served; });
    }));
  }
  for (auto& caller : callers) main_.JoinServing(*caller);
  EXPECT_EQ(served, kCallers);
}

TEST_F(MainThreadTest, APendingCallLetsItsCallerGoOnAndRaisesAtFinish) {
  PendingCall call;
  std::promise<void> started;
  auto caller_went_on = started.get_future();
  bool ran_after_start_returned = false;
  bool second_ran = false;
  std::string caught;
  ServedThread caller([&] {
    call.Start([&] {
      ran_after_start_returned = caller_went_on.wait_for(10s) == std::future_status::ready;
      throw std::runtime_error("handler failed");
    });
    started.set_value();
    try {
      call.Finish();
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
    // Once finished, the same object carries the next call.
    call.Start([&] { second_ran = true; });
    call.Finish();
  });
  main_.JoinServing(caller);
  EXPECT_TRUE(ran_after_start_returned);
  EXPECT_EQ(caught, "handler failed");
  EXPECT_TRUE(second_ran);
  EXPECT_FALSE(call.Started());
  EXPECT_TRUE(handled_.empty());
}

TEST_F(MainThreadTest, SendReturnsOnceTakenBeforeTheCallFinishes) {
  std::promise<void> sender_returned;
  auto returned = sender_returned.get_future();
  bool saw_return_while_running = false;
  ServedThread sender([&] {
    main_.Send(
        [&] { saw_return_while_running = returned.wait_for(10s) == std::future_status::ready; });
    sender_returned.set_value();
  });
  main_.JoinServing(sender);
  EXPECT_TRUE(saw_return_while_running);
}

TEST_F(MainThreadTest, SendExceptionGoesToTheHandlerNotTheSender) {
  bool sender_saw_exception = false;
  ServedThread sender([&] {
    try {
      main_.Send([] { throw std::runtime_error("Unable to open com port (Error: 2)"); });
    } catch (...) {
      sender_saw_exception = true;
    }
  });
  main_.JoinServing(sender);
  EXPECT_FALSE(sender_saw_exception);
  EXPECT_EQ(handled_, std::vector<std::string>{"Unable to open com port (Error: 2)"});
}

TEST_F(MainThreadTest, JoinServingServesTheCallTheJoinedThreadIsBlockedIn) {
  bool served = false;
  ServedThread worker([&] { main_.Synchronize([&] { served = true; }); });
  // Once the wake fd is readable the worker sits in Synchronize: a plain join would hang.
  ASSERT_TRUE(Readable(main_.WakeFd(), 10s));
  main_.JoinServing(worker);
  EXPECT_TRUE(served);
  EXPECT_TRUE(worker.Ended());
  EXPECT_FALSE(worker.Joinable());
  EXPECT_FALSE(Readable(main_.WakeFd(), 0ms));
}

TEST_F(MainThreadTest, ServedThreadKeepsWhatItsBodyRaised) {
  ServedThread worker([&] { main_.Synchronize([] { throw std::runtime_error("Read error"); }); });
  main_.JoinServing(worker);
  ASSERT_NE(worker.Error(), nullptr);
  EXPECT_THROW(std::rethrow_exception(worker.Error()), std::runtime_error);
  EXPECT_TRUE(handled_.empty());
}

TEST_F(MainThreadTest, WakeHookAndWakeFdSignalPendingCalls) {
  std::atomic<int> wakes{0};
  main_.SetWakeHook([&] { ++wakes; });
  EXPECT_FALSE(Readable(main_.WakeFd(), 0ms));
  int runs = 0;
  ServedThread sender([&] {
    main_.Send([&] { ++runs; });
    main_.Send([&] { ++runs; });
  });
  ASSERT_TRUE(Readable(main_.WakeFd(), 10s));
  main_.JoinServing(sender);
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(wakes.load(), 2);
  EXPECT_FALSE(Readable(main_.WakeFd(), 0ms));
}

TEST_F(MainThreadTest, CallsQueuedWhileServingAreServedByTheSameRound) {
  std::vector<int> order;
  bool second_was_queued = false;
  ServedThread second;
  ServedThread first([&] {
    main_.Send([&] {
      order.push_back(1);
      second.Start([&] { main_.Send([&] { order.push_back(2); }); });
      second_was_queued = Readable(main_.WakeFd(), 10s);
    });
  });
  ASSERT_TRUE(Readable(main_.WakeFd(), 10s));
  EXPECT_TRUE(main_.ServePending());
  EXPECT_TRUE(second_was_queued);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  main_.JoinServing(first);
  main_.JoinServing(second);
}

TEST_F(MainThreadTest, ServeUntilGivesUpAtTheTimeout) {
  EXPECT_FALSE(main_.ServeUntil([] { return false; }, 20ms));
  std::atomic<bool> flag{false};
  std::thread setter([&] {
    flag = true;
    main_.Notify();
  });
  EXPECT_TRUE(main_.ServeUntil([&] { return flag.load(); }, 10s));
  setter.join();
}

}  // namespace
}  // namespace corvane
