// The Win32 backend on a real COM port pair under the driver's own rules: Windows error
// codes, line settings, reads and writes byte for byte, timeouts, purges.
#include "cport/platform/win32_device.h"

#include <string>
#include <vector>

#include "cport/platform/device_trace.h"
#include "tests/win32/com_pair.h"

// After the seam's vocabulary, which windows.h would otherwise turn into macros.
#include <windows.h>

namespace corvane::platform {
namespace {

TEST_F(ComPair, OpenReportsWindowsCodes) {
  const struct {
    std::string name;
    int code;
  } cases[] = {
      {"COM199", ERROR_FILE_NOT_FOUND},
      {"", ERROR_FILE_NOT_FOUND},
      {"PTY:C:\\line", ERROR_NOT_SUPPORTED},
  };
  for (const auto& c : cases) {
    std::unique_ptr<Device> d;
    EXPECT_EQ(c.code, OpenDevice(c.name, d)) << c.name;
    EXPECT_FALSE(d) << c.name;
  }
}

TEST_F(ComPair, LineSettingsTheBridgeUsesAreTaken) {
  const Dcb cases[] = {
      LineSettings(4800),
      LineSettings(38400, 8, EVENPARITY, TWOSTOPBITS),
      LineSettings(115200, 7, ODDPARITY),
  };
  for (const Dcb& dcb : cases) EXPECT_EQ(0, a_->SetCommState(dcb)) << dcb.BaudRate;
  EXPECT_EQ(0, a_->SetupComm(4096, 2048));
  EXPECT_EQ(0, a_->SetCommMask(EV_RXCHAR | EV_TXEMPTY));
}

TEST_F(ComPair, BytesCrossBothWaysUnchanged) {
  const std::string query = "FA;";
  const std::string answer("FA\0\xff\r\n00014074000;", 19);
  ASSERT_EQ(0, Write(*a_, query));
  ASSERT_EQ(query.size(), WaitForInput(*b_, query.size()));
  int err = -1;
  EXPECT_EQ(query, Read(*b_, 64, err));
  EXPECT_EQ(0, err);

  ASSERT_EQ(0, Write(*b_, answer));
  ASSERT_EQ(answer.size(), WaitForInput(*a_, answer.size()));
  EXPECT_EQ(answer, Read(*a_, 64, err));
  EXPECT_EQ(0, err);
}

TEST_F(ComPair, PurgeClearDropsWaitingInput) {
  ASSERT_EQ(0, Write(*a_, "stale;"));
  ASSERT_EQ(6u, WaitForInput(*b_, 6));
  ASSERT_EQ(0, b_->PurgeComm(PURGE_RXCLEAR));
  uint32_t errors = 0;
  ComStat stat;
  ASSERT_EQ(0, b_->ClearCommError(errors, stat));
  EXPECT_EQ(0u, stat.cbInQue);

  ASSERT_EQ(0, Write(*a_, "ID;"));
  ASSERT_EQ(3u, WaitForInput(*b_, 3));
  int err = -1;
  EXPECT_EQ("ID;", Read(*b_, 16, err));
}

TEST_F(ComPair, OperationsOnAClosedDeviceFail) {
  ASSERT_EQ(0, b_->Close());
  uint32_t errors = 0;
  ComStat stat;
  EXPECT_EQ(ERROR_INVALID_HANDLE, b_->ClearCommError(errors, stat));
  EXPECT_EQ(ERROR_INVALID_HANDLE, b_->SetCommTimeouts(kReturnAtOnce));
  b_.reset();
}

// Reads that wait for bytes that never come: each is pending until cancelled.
struct PendingReads {
  explicit PendingReads(Device& dev, int n) : buffers(n, std::string(8, '\0')), reads(n) {
    for (int i = 0; i < n; ++i) {
      reads[i].Buffer = buffers[i].data();
      reads[i].Count = 8;
      started.push_back(dev.StartRead(reads[i]));
    }
  }
  std::vector<std::string> buffers;
  std::vector<Transfer> reads;
  std::vector<int> started;
};

constexpr CommTimeouts kWaitForever{0, 0, 0, 0, 0};

TEST_F(ComPair, CloseCancelsAndAwaitsPendingReadsAndLeaksNoHandle) {
  ASSERT_EQ(0, b_->Close());
  b_.reset();
  DWORD handlesBefore = 0;
  ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handlesBefore));
  ASSERT_EQ(0, OpenDevice(nameB_, b_));
  ASSERT_EQ(0, b_->SetCommTimeouts(kWaitForever));
  auto& device = dynamic_cast<Win32Device&>(*b_);
  PendingReads idle(device, 2);
  for (size_t i = 0; i < idle.reads.size(); ++i) {
    EXPECT_EQ(0, idle.started[i]);
    EXPECT_TRUE(idle.reads[i].Pending) << "read " << i;
  }
  EXPECT_EQ(2u, device.PendingTransfers()) << "each read has a record of its own";
  EXPECT_EQ(ERROR_BUSY, device.StartRead(idle.reads[0])) << "a record still in the driver";

  EXPECT_EQ(0, b_->Close());
  EXPECT_EQ(0u, device.PendingTransfers());
  for (Transfer& t : idle.reads) EXPECT_EQ(ERROR_OPERATION_ABORTED, b_->AwaitTransfer(t));
  b_.reset();
  DWORD handlesAfter = 0;
  ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handlesAfter));
  EXPECT_EQ(handlesBefore, handlesAfter);
}

// The driver's answers to a purge and a mask, as a removed adapter or an older driver gives
// them.
struct Refusals {
  int purgeCalls = 0;
  std::vector<DWORD> masks;
  DWORD refuseMask = 0;  // masks with any of these bits are refused
} g_refusals;

BOOL WINAPI RefusingPurge(HANDLE, DWORD) {
  ++g_refusals.purgeCalls;
  SetLastError(ERROR_BAD_COMMAND);
  return FALSE;
}

BOOL WINAPI MaskWithRefusals(HANDLE port, DWORD mask) {
  g_refusals.masks.push_back(mask);
  if (mask & g_refusals.refuseMask) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return ::SetCommMask(port, mask);
}

TEST_F(ComPair, ARefusedPurgeStillAbortsTheDevicesOwnTransfers) {
  const struct {
    uint32_t flags;
    int code;
    int readError;  // what the pending read ends with; -1: it is left pending
  } cases[] = {
      {PURGE_RXABORT | PURGE_TXABORT, 0, ERROR_OPERATION_ABORTED},
      {PURGE_RXABORT | PURGE_RXCLEAR, ERROR_BAD_COMMAND, ERROR_OPERATION_ABORTED},
      {PURGE_RXCLEAR, ERROR_BAD_COMMAND, -1},
  };
  ASSERT_EQ(0, b_->SetCommTimeouts(kWaitForever));
  auto& device = dynamic_cast<Win32Device&>(*b_);
  DriverCalls calls;
  calls.purgeComm = RefusingPurge;
  device.SetDriverCalls(calls);
  for (const auto& c : cases) {
    g_refusals = {};
    PendingReads idle(device, 1);
    ASSERT_TRUE(idle.reads[0].Pending);
    EXPECT_EQ(c.code, device.PurgeComm(c.flags)) << c.flags;
    EXPECT_EQ(1, g_refusals.purgeCalls) << c.flags;
    if (c.readError < 0) {
      EXPECT_EQ(1u, device.PendingTransfers()) << "a clear leaves transfers alone";
      EXPECT_EQ(0, device.Close());
      EXPECT_EQ(ERROR_OPERATION_ABORTED, device.AwaitTransfer(idle.reads[0]));
    } else {
      EXPECT_EQ(c.readError, device.AwaitTransfer(idle.reads[0])) << c.flags;
    }
  }
  device.SetDriverCalls({});
}

TEST_F(ComPair, ARefusedMaskFallsBackToTheEventsSomethingActsOn) {
  const struct {
    DWORD refuse;
    int code;
    std::vector<DWORD> tried;
    bool traced;
  } cases[] = {
      {0, 0, {1535}, false},
      {EV_RING, 0, {1535, EV_RXCHAR | EV_TXEMPTY}, true},
      {EV_RXCHAR, ERROR_INVALID_PARAMETER, {1535, EV_RXCHAR | EV_TXEMPTY}, false},
  };
  auto& device = dynamic_cast<Win32Device&>(*a_);
  DriverCalls calls;
  calls.setCommMask = MaskWithRefusals;
  device.SetDriverCalls(calls);
  device.SetQuietEvents(1535 & ~(EV_RXCHAR | EV_TXEMPTY));
  std::vector<std::string> trace;
  SetDeviceTrace([&trace](const std::string& line) { trace.push_back(line); });
  for (const auto& c : cases) {
    g_refusals = {};
    g_refusals.refuseMask = c.refuse;
    trace.clear();
    EXPECT_EQ(c.code, device.SetCommMask(1535)) << c.refuse;
    EXPECT_EQ(c.tried, g_refusals.masks) << c.refuse;
    ASSERT_EQ(c.traced ? 1u : 0u, trace.size()) << c.refuse;
    if (c.traced) {
      EXPECT_EQ("Serial driver refused event mask 1535 (Error: 87), waiting for 5 instead",
                trace[0]);
    }
  }
  SetDeviceTrace(nullptr);
  device.SetDriverCalls({});
}

}  // namespace
}  // namespace corvane::platform
