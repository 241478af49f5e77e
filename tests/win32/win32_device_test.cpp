// The Win32 backend on a real COM port pair under the driver's own rules: Windows error
// codes, line settings, reads and writes byte for byte, timeouts, purges.
#include <string>

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

}  // namespace
}  // namespace corvane::platform
