// The device seam below the port: the scripted fake's recording and playback, and the
// POSIX backend's queue, modem and transfer calls on a real pseudo-terminal.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "cport/platform/fake_device.h"
#include "tests/cport/support/pty_line.h"

namespace {

using namespace corvane::platform;
using corvane::test::PtyLine;

TEST(FakeDevice, FailsTheChosenCallTheChosenNumberOfTimes) {
  auto script = std::make_shared<FakeScript>();
  std::unique_ptr<Device> dev;
  ASSERT_EQ(script->Open("X", dev), 0);
  script->Fail(FakeOp::SetupComm, 87, 2);
  EXPECT_EQ(dev->SetupComm(1, 2), 87);
  EXPECT_EQ(dev->SetupComm(3, 4), 87);
  EXPECT_EQ(dev->SetupComm(5, 6), 0);
  EXPECT_EQ(script->Count(FakeOp::SetupComm), 3);
  EXPECT_EQ(script->Last(FakeOp::SetupComm).Arg2, 6u);

  script->Fail(FakeOp::Open, 2);
  std::unique_ptr<Device> second;
  EXPECT_EQ(script->Open("Y", second), 2);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(script->OpenDevices(), 1);
  dev.reset();
  EXPECT_EQ(script->OpenDevices(), 0);
  EXPECT_EQ(script->Ops().back(), FakeOp::Close);
}

TEST(FakeDevice, PlaysBackBytesStatusAndErrors) {
  auto script = std::make_shared<FakeScript>();
  std::unique_ptr<Device> dev;
  ASSERT_EQ(script->Open("X", dev), 0);
  script->Receive(std::string("A\0B", 3));
  uint32_t errors = 99;
  ComStat stat;
  script->SetLineErrors(CE_FRAME);
  EXPECT_EQ(dev->ClearCommError(errors, stat), 0);
  EXPECT_EQ(errors, CE_FRAME);
  EXPECT_EQ(stat.cbInQue, 3u);
  EXPECT_EQ(dev->ClearCommError(errors, stat), 0);
  EXPECT_EQ(errors, 0u) << "line errors are reported once";

  char buf[8] = {};
  Transfer read;
  read.Buffer = buf;
  read.Count = sizeof buf;
  EXPECT_EQ(dev->StartRead(read), 0);
  EXPECT_EQ(std::string(buf, read.Done), std::string("A\0B", 3));

  Transfer write;
  write.Data = "FA;";
  write.Count = 3;
  EXPECT_EQ(dev->StartWrite(write), 0);
  EXPECT_EQ(dev->AwaitTransfer(write), 0);
  EXPECT_EQ(script->Sent(), "FA;");

  script->SetModemStatus(MS_CTS_ON | MS_RING_ON);
  uint32_t status = 0;
  EXPECT_EQ(dev->GetCommModemStatus(status), 0);
  EXPECT_EQ(status, MS_CTS_ON | MS_RING_ON);
}

TEST(FakeDevice, WaitReturnsMaskedEventsAndEndsOnStop) {
  auto script = std::make_shared<FakeScript>();
  std::unique_ptr<Device> dev;
  ASSERT_EQ(script->Open("X", dev), 0);
  ASSERT_EQ(dev->SetCommMask(EV_RXCHAR | EV_TXEMPTY), 0);
  StopSignal stop;

  script->RaiseEvents(EV_TXEMPTY | EV_RING);  // EV_RING is not in the mask
  WaitResult r = dev->WaitCommEvent(stop);
  EXPECT_EQ(r.Outcome, WaitResult::Event);
  EXPECT_EQ(r.Mask, EV_TXEMPTY);

  // A waiter on another thread wakes for a later event, and for the stop.
  WaitResult woken;
  std::thread waiter([&] { woken = dev->WaitCommEvent(stop); });
  script->Receive("x");
  waiter.join();
  EXPECT_EQ(woken.Outcome, WaitResult::Event);
  EXPECT_EQ(woken.Mask, EV_RXCHAR);

  std::thread stopped([&] { woken = dev->WaitCommEvent(stop); });
  stop.Set();
  stopped.join();
  EXPECT_EQ(woken.Outcome, WaitResult::Stopped);
  EXPECT_TRUE(stop.IsSet());
}

// Polls fd until it is readable or the deadline passes.
bool Readable(int fd, std::chrono::milliseconds deadline) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, static_cast<int>(deadline.count())) == 1;
}

TEST(PosixDevice, QueuesModemLinesAndTransfersOnAPty) {
  PtyLine pty;
  std::unique_ptr<Device> dev;
  ASSERT_EQ(OpenDevice(pty.SlavePath(), dev), 0);
  ASSERT_EQ(dev->SetCommTimeouts({MAXDWORD, 0, 0, 100, 1000}), 0);

  uint32_t status = 1;
  EXPECT_EQ(dev->GetCommModemStatus(status), 0) << "a pty has no modem lines: all off";
  EXPECT_EQ(status, 0u);

  // Far end to port.
  ASSERT_EQ(write(pty.Master(), "ID;", 3), 3);
  uint32_t errors = 0;
  ComStat stat;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  do {
    ASSERT_EQ(dev->ClearCommError(errors, stat), 0);
  } while (stat.cbInQue < 3 && std::chrono::steady_clock::now() < until &&
           (std::this_thread::yield(), true));
  EXPECT_EQ(stat.cbInQue, 3u);
  uint32_t in = 0;
  EXPECT_EQ(dev->ClearCommErrorIn(errors, in), 0);
  EXPECT_EQ(in, 3u) << "the input count alone agrees";
  char buf[16];
  Transfer read;
  read.Buffer = buf;
  read.Count = sizeof buf;
  ASSERT_EQ(dev->StartRead(read), 0);
  ASSERT_EQ(dev->AwaitTransfer(read), 0);
  EXPECT_EQ(std::string(buf, read.Done), "ID;");
  ASSERT_EQ(dev->StartRead(read), 0);
  EXPECT_EQ(read.Done, 0u) << "nothing waiting: returns at once with nothing";

  // Port to far end.
  Transfer write;
  write.Kind = TransferKind::Write;
  write.Data = "FA00014250000;";
  write.Count = 14;
  ASSERT_EQ(dev->StartWrite(write), 0);
  ASSERT_EQ(dev->AwaitTransfer(write), 0);
  EXPECT_EQ(write.Done, 14u);
  ASSERT_TRUE(Readable(pty.Master(), std::chrono::seconds(5)));
  char got[32];
  EXPECT_EQ(::read(pty.Master(), got, sizeof got), 14);

  EXPECT_EQ(dev->PurgeComm(PURGE_RXCLEAR | PURGE_TXCLEAR), 0);
  EXPECT_EQ(dev->Close(), 0);
  EXPECT_EQ(dev->Close(), 0) << "closing twice is harmless";
}

}  // namespace
