// The port on real pseudo-terminals: what it puts on the line is read back from the far
// side, and bad names or a vanished device end in clear errors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "cport/cport.h"
#include "cport/platform/posix_path.h"
#include "tests/cport/support/port_on_pty.h"
#include "tests/cport/support/pty_line.h"

namespace {

using corvane::test::LineState;
using corvane::test::PtyLine;
using corvane::test::RaisedBy;

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
  return s;
}

TEST(PtyOpen, ByPathAndByUpperCasedPath) {
  PtyLine pty;
  TComPort port;
  port.SetPort(pty.SlavePath());
  port.OpenPort();
  EXPECT_TRUE(port.Connected());
  EXPECT_TRUE(pty.Line().raw);
  EXPECT_EQ(pty.Line().ospeed, 9600u);
  port.ClosePort();

  port.SetPort(Upper(pty.SlavePath()));  // "/DEV/PTS/N"
  ASSERT_NE(port.Port(), pty.SlavePath());
  port.OpenPort();
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(corvane::platform::ResolveDevicePath(port.Port()), pty.SlavePath());
}

TEST(PtyOpen, NamesWithoutASlashLiveUnderDev) {
  EXPECT_EQ(corvane::platform::ResolveDevicePath("null"), "/dev/null");
  EXPECT_EQ(corvane::platform::ResolveDevicePath("NULL"), "/dev/null");
  EXPECT_EQ(corvane::platform::ResolveDevicePath("/DEV/NULL"), "/dev/null");
  EXPECT_EQ(corvane::platform::ResolveDevicePath("COM1"), "/dev/COM1");
}

struct LineCase {
  const char* name;
  std::function<void(TCustomComPort&)> change;
  std::function<void(const LineState&)> check;
};

// A pseudo-terminal frames nothing: its driver forces 8 data bits and clears the parity
// enable bit whatever is asked, so data size and parity are seen here through the bits it
// keeps (odd, mark/space, parity check); the fake device pins the full control block.
TEST(PtySettings, ReachTheLine) {
  const std::vector<LineCase> cases = {
      {"standard rate", [](auto& p) { p.SetBaudRate(br115200); },
       [](const LineState& s) {
         EXPECT_EQ(s.ospeed, 115200u);
         EXPECT_EQ(s.ispeed, 115200u);
       }},
      {"rate termios has no name for", [](auto& p) { p.SetBaudRate(br14400); },
       [](const LineState& s) { EXPECT_EQ(s.ospeed, 14400u); }},
      {"256000", [](auto& p) { p.SetBaudRate(br256000); },
       [](const LineState& s) { EXPECT_EQ(s.ospeed, 256000u); }},
      {"custom rate",
       [](auto& p) {
         p.SetCustomBaudRate(31250);
         p.SetBaudRate(brCustom);
       },
       [](const LineState& s) { EXPECT_EQ(s.ospeed, 31250u); }},
      {"7E2",
       [](auto& p) {
         p.SetDataBits(dbSeven);
         p.Parity().SetBits(prEven);
         p.SetStopBits(sbTwoStopBits);
       },
       [](const LineState& s) {
         EXPECT_FALSE(s.parityOdd);
         EXPECT_FALSE(s.markSpace);
         EXPECT_TRUE(s.twoStopBits);
       }},
      {"odd parity checked",
       [](auto& p) {
         p.Parity().SetBits(prOdd);
         p.Parity().SetCheck(true);
       },
       [](const LineState& s) {
         EXPECT_TRUE(s.parityOdd && !s.markSpace);
         EXPECT_TRUE(s.parityCheck);
       }},
      {"mark parity", [](auto& p) { p.Parity().SetBits(prMark); },
       [](const LineState& s) { EXPECT_TRUE(s.parityOdd && s.markSpace); }},
      {"space parity", [](auto& p) { p.Parity().SetBits(prSpace); },
       [](const LineState& s) { EXPECT_TRUE(!s.parityOdd && s.markSpace); }},
      {"5 data bits with 1.5 stop bits",
       [](auto& p) {
         p.SetDataBits(dbFive);
         p.SetStopBits(sbOne5StopBits);
       },
       [](const LineState& s) { EXPECT_TRUE(s.twoStopBits); }},
      {"hardware flow", [](auto& p) { p.FlowControl().SetFlowControl(fcHardware); },
       [](const LineState& s) {
         EXPECT_TRUE(s.rtsCts);
         EXPECT_FALSE(s.xonOut || s.xoffIn);
       }},
      {"software flow with its characters",
       [](auto& p) {
         p.FlowControl().SetFlowControl(fcSoftware);
         p.FlowControl().SetXonChar(0x11 + 2);
         p.FlowControl().SetXoffChar(0x13 + 2);
       },
       [](const LineState& s) {
         EXPECT_FALSE(s.rtsCts);
         EXPECT_TRUE(s.xonOut && s.xoffIn);
         EXPECT_EQ(s.startChar, 0x13);
         EXPECT_EQ(s.stopChar, 0x15);
       }},
      {"DTR and RTS held on: a pty has no modem lines, which is no error",
       [](auto& p) {
         p.FlowControl().SetControlDTR(dtrEnable);
         p.FlowControl().SetControlRTS(rtsEnable);
       },
       [](const LineState& s) { EXPECT_EQ(s.dataBits, 8); }},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    PtyLine pty;
    TComPort port;
    port.SetPort(pty.SlavePath());
    // Settled before opening: opening applies them.
    c.change(port);
    port.OpenPort();
    ASSERT_TRUE(port.Connected());
    c.check(pty.Line());
    port.ClosePort();

    // Changed on the open port: each setter applies at once.
    PtyLine pty2;
    TComPort open;
    open.SetPort(pty2.SlavePath());
    open.OpenPort();
    c.change(open);
    c.check(pty2.Line());
  }
}

TEST(PtySettings, BaudRateOnAnOpenPortReachesTheDeviceAtOnce) {
  PtyLine pty;
  TComPort port;
  port.SetPort(pty.SlavePath());
  port.OpenPort();
  EXPECT_EQ(pty.Line().ospeed, 9600u);
  port.SetBaudRate(br38400);
  EXPECT_EQ(pty.Line().ospeed, 38400u);
  port.BeginSettingsUpdate();
  port.SetBaudRate(br57600);
  EXPECT_EQ(pty.Line().ospeed, 38400u) << "deferred inside the bracket";
  port.EndSettingsUpdate();
  EXPECT_EQ(pty.Line().ospeed, 57600u);
}

TEST(PtySettings, ARefusedSettingRaisesCode7AndKeepsTheLine) {
  struct Case {
    const char* name;
    std::function<void(TCustomComPort&)> change;
  } cases[] = {
      {"1.5 stop bits with 8 data bits", [](auto& p) { p.SetStopBits(sbOne5StopBits); }},
      {"2 stop bits with 5 data bits",
       [](auto& p) {
         p.BeginSettingsUpdate();
         p.SetDataBits(dbFive);
         p.SetStopBits(sbTwoStopBits);
         p.EndSettingsUpdate();
       }},
      {"custom rate 0 would hang the line up",
       [](auto& p) {
         p.SetCustomBaudRate(0);
         p.SetBaudRate(brCustom);
       }},
      {"negative custom rate",
       [](auto& p) {
         p.SetCustomBaudRate(-9600);
         p.SetBaudRate(brCustom);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PtyLine pty;
    TComPort port;
    port.SetPort(pty.SlavePath());
    port.SetBaudRate(br19200);
    port.OpenPort();
    const LineState before = pty.Line();
    const EComPort e = RaisedBy([&] { c.change(port); });
    EXPECT_EQ(e.ComErrorCode(), 7);
    EXPECT_STREQ(e.what(), "SetCommState function failed (Error: 22)");
    EXPECT_TRUE(port.Connected());
    const LineState after = pty.Line();
    EXPECT_EQ(after.ospeed, before.ospeed);
    EXPECT_EQ(after.dataBits, before.dataBits);
    EXPECT_EQ(after.twoStopBits, before.twoStopBits);
  }
}

TEST(PtySettings, ARefusedSettingWhileOpeningLeavesThePortClosed) {
  PtyLine pty;
  TComPort port;
  port.SetPort(pty.SlavePath());
  port.SetStopBits(sbOne5StopBits);
  const EComPort e = RaisedBy([&] { port.OpenPort(); });
  EXPECT_EQ(e.ComErrorCode(), 7);
  EXPECT_FALSE(port.Connected());
  // The device was released: it can be opened again at once.
  port.SetStopBits(sbOneStopBit);
  port.OpenPort();
  EXPECT_TRUE(port.Connected());
}

TEST(PtyErrors, MissingDevice) {
  std::vector<std::string> seen;
  TComPort port;
  port.SetOnBeforeOpen([&](TObject*) { seen.push_back("BeforeOpen"); });
  port.SetOnAfterOpen([&](TObject*) { seen.push_back("AfterOpen"); });
  port.SetPort("/dev/ttyCorvaneNoSuchDevice");
  const EComPort e = RaisedBy([&] { port.OpenPort(); });
  EXPECT_STREQ(e.what(), "Unable to open com port (Error: 2)");
  EXPECT_EQ(e.ComErrorCode(), 1);
  EXPECT_EQ(e.SystemError(), 2);
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(seen, std::vector<std::string>{"BeforeOpen"});
}

TEST(PtyErrors, NamesThatAreNoSerialDevice) {
  char dirTemplate[] = "/tmp/corvane-cport-XXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  const std::string dir = dirTemplate;
  const std::string file = dir + "/plain.txt";
  const int fd = open(file.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  close(fd);

  struct Case {
    std::string name;
    const char* message;
  } cases[] = {
      {"", "Unable to open com port (Error: 2)"},
      {dir, "Unable to open com port (Error: 21)"},   // EISDIR
      {file, "Unable to open com port (Error: 25)"},  // ENOTTY
      {"/dev/null", "Unable to open com port (Error: 25)"},
      {dir + "/missing/deeper", "Unable to open com port (Error: 2)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TComPort port;
    port.SetPort(c.name);
    const EComPort e = RaisedBy([&] { port.OpenPort(); });
    EXPECT_STREQ(e.what(), c.message);
    EXPECT_FALSE(port.Connected());
  }
  unlink(file.c_str());
  rmdir(dir.c_str());
}

TEST(PtyErrors, ASecondPortOnTheSameDeviceIsBusy) {
  PtyLine pty;
  TComPort first, second;
  first.SetPort(pty.SlavePath());
  second.SetPort(pty.SlavePath());
  first.OpenPort();
  const EComPort e = RaisedBy([&] { second.OpenPort(); });
  EXPECT_STREQ(e.what(), "Unable to open com port (Error: 16)");
  EXPECT_FALSE(second.Connected());
  EXPECT_TRUE(first.Connected());
  // The refused attempt must not have lifted the first port's hold on the device.
  EXPECT_EQ(RaisedBy([&] { second.OpenPort(); }).SystemError(), 16);

  first.ClosePort();
  second.OpenPort();
  EXPECT_TRUE(second.Connected());
}

// Opening as an unprivileged user in a child process; returns the child's errno, 0 when
// the open succeeded, -1 when the child could not become unprivileged.
int OpenAsNobody(const std::string& path) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(255);
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    _exit(fd >= 0 ? 0 : errno);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 255;
  return code == 255 ? -1 : code;
}

TEST(PtyErrors, OtherProgramsAreKeptOutOnlyWhileOpen) {
  PtyLine pty;
  ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0666), 0);
  if (OpenAsNobody(pty.SlavePath()) != 0) GTEST_SKIP() << "cannot open the pty as another user";
  TComPort port;
  port.SetPort(pty.SlavePath());
  port.OpenPort();
  EXPECT_EQ(OpenAsNobody(pty.SlavePath()), EBUSY);
  port.ClosePort();
  // The tty's exclusive flag outlives our descriptor while the peer holds the tty open;
  // closing lifts it, so a reopen (ours or anyone's) is not refused.
  EXPECT_EQ(OpenAsNobody(pty.SlavePath()), 0);
}

TEST(PtyErrors, ADeviceThatVanishesWhileOpen) {
  PtyLine pty;
  TComPort port;
  port.SetPort(pty.SlavePath());
  port.OpenPort();
  pty.CloseMaster();

  const EComPort e = RaisedBy([&] { port.SetBaudRate(br4800); });
  EXPECT_EQ(e.ComErrorCode(), 7);
  EXPECT_STREQ(e.what(), "SetCommState function failed (Error: 5)");  // EIO
  EXPECT_EQ(RaisedBy([&] { port.Timeouts().SetReadInterval(5); }).ComErrorCode(), 8);
  EXPECT_EQ(RaisedBy([&] { port.Buffer().SetInputSize(64); }).ComErrorCode(), 9);

  port.ClosePort();  // a vanished device still closes
  EXPECT_FALSE(port.Connected());
  const EComPort reopen = RaisedBy([&] { port.OpenPort(); });
  EXPECT_EQ(reopen.ComErrorCode(), 1);
  EXPECT_FALSE(port.Connected());
}

}  // namespace
