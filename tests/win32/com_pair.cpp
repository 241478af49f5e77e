#include "tests/win32/com_pair.h"

#include <cstdlib>
#include <thread>

namespace corvane::platform {

namespace {

std::string FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

Dcb LineSettings(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits) {
  Dcb dcb;
  dcb.DCBlength = kDcbSize;
  dcb.BaudRate = baud;
  dcb.Flags = kDcbBinary | DTR_CONTROL_ENABLE | RTS_CONTROL_ENABLE;
  dcb.ByteSize = byteSize;
  dcb.Parity = parity;
  dcb.StopBits = stopBits;
  dcb.XonLim = 256;
  dcb.XoffLim = 256;
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  return dcb;
}

void ComPair::SetUp() {
  nameA_ = FromEnvironment("CORVANE_TEST_COM_A");
  nameB_ = FromEnvironment("CORVANE_TEST_COM_B");
  if (nameA_.empty() || nameB_.empty()) {
    GTEST_SKIP() << "no COM pair; run through with_com_pair.sh";
  }
  ASSERT_EQ(0, OpenDevice(nameA_, a_));
  ASSERT_EQ(0, OpenDevice(nameB_, b_));
  for (Device* d : {a_.get(), b_.get()}) {
    ASSERT_EQ(0, d->SetCommState(LineSettings(38400)));
    ASSERT_EQ(0, d->SetCommTimeouts(kReturnAtOnce));
    ASSERT_EQ(0, d->PurgeComm(PURGE_RXCLEAR | PURGE_TXCLEAR));
  }
}

void ComPair::TearDown() {
  for (auto* d : {&a_, &b_}) {
    if (*d) {
      EXPECT_EQ(0, (*d)->Close());
    }
  }
}

uint32_t ComPair::WaitForInput(Device& dev, uint32_t n, std::chrono::milliseconds deadline) {
  const auto until = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    uint32_t errors = 0;
    ComStat stat;
    if (dev.ClearCommError(errors, stat) != 0) return 0;
    if (stat.cbInQue >= n || std::chrono::steady_clock::now() >= until) return stat.cbInQue;
    std::this_thread::yield();
  }
}

std::string ComPair::Read(Device& dev, uint32_t n, int& err) {
  std::string buffer(n, '\0');
  Transfer t;
  t.Kind = TransferKind::Read;
  t.Buffer = buffer.data();
  t.Count = n;
  err = dev.StartRead(t);
  if (err == 0) err = dev.AwaitTransfer(t);
  buffer.resize(t.Done);
  return buffer;
}

int ComPair::Write(Device& dev, const std::string& bytes) {
  Transfer t;
  t.Kind = TransferKind::Write;
  t.Data = bytes.data();
  t.Count = static_cast<uint32_t>(bytes.size());
  int err = dev.StartWrite(t);
  if (err == 0) err = dev.AwaitTransfer(t);
  if (err == 0 && t.Done != bytes.size()) return -1;
  return err;
}

}  // namespace corvane::platform
