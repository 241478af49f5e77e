// The real program in its window on a virtual X server, its ports on pseudo-terminals,
// closed as a window manager closes it.
#include <gtest/gtest.h>
#include <pty.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tests/app/window/x11_windows.h"
#include "tests/support/child_process.h"

namespace {

using namespace corvane::test;
using namespace std::chrono_literals;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Both ends stay open for the test's lifetime, so the line outlives the program's resets.
struct PtyLine {
  PtyLine() {
    char name[128] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
    path = name;
  }
  ~PtyLine() {
    ::close(master);
    ::close(slave);
  }
  int master = -1;
  int slave = -1;
  std::string path;
};

struct TempDir {
  TempDir() {
    char pattern[] = "/tmp/corvane-xvfb-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
    path = pattern;
  }
  ~TempDir() {
    std::string command = "rm -rf '" + path + "'";
    if (std::system(command.c_str()) != 0) return;
  }
  std::string path;
};

TEST(WindowOnXServer, ClosedByTheWindowManagerWritesTheConfigurationBack) {
  if (access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed";
  TempDir dir;
  PtyLine a, b, out;
  {
    std::ofstream ini(dir.path + "/Corvane.INI");
    ini << "[SETTINGS]\nPORTA=" << a.path << "\nPORTB=" << b.path << "\nPORTO=" << out.path
        << "\nTRACE=yes\nLOGFILE=kept.log\n";
  }

  // The server picks a free display and tells us its number.
  ChildProcess xserver(
      {"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x1024x24"});
  std::optional<std::string> number = xserver.ReadLine(In(20000ms));
  ASSERT_TRUE(number.has_value()) << xserver.err();
  const std::string display = ":" + *number;

  ChildProcess corvane({"/usr/bin/env", "-C", dir.path, "DISPLAY=" + display, "QT_QPA_PLATFORM=xcb",
                        CORVANE_BINARY});
  X11Client x(display);
  std::optional<unsigned long> window = x.WaitForWindow("Corvane", In(20000ms));
  ASSERT_TRUE(window.has_value()) << corvane.err();
  // The design size, widened when a port's name needs more than the design's room.
  const auto [width, height] = x.SizeOf(*window);
  EXPECT_GE(width, 180);
  EXPECT_EQ(height, 202);

  x.RequestClose(*window);
  std::optional<int> status = corvane.Wait(In(20000ms));
  ASSERT_TRUE(status.has_value()) << corvane.err();
  EXPECT_EQ(*status, 0) << corvane.err();

  const std::string ini = ReadFile(dir.path + "/Corvane.INI");
  // Names go back as they were written.
  EXPECT_NE(ini.find("PORTA=" + a.path + "\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("PORTB=" + b.path + "\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("PORTO=" + out.path + "\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("TRACE=YES"), std::string::npos) << ini;
  EXPECT_NE(ini.find("LOGFILE=kept.log"), std::string::npos) << ini;
  const std::string log = ReadFile(dir.path + "/Corvane.Log");
  EXPECT_NE(log.find("System Menu initialization"), std::string::npos) << log;
  EXPECT_NE(log.find("Ended with INI updated INI file"), std::string::npos) << log;
}

// On a server or over SSH there is nowhere to put the window: one line says what to run.
TEST(WindowOnXServer, WithoutADisplayTheProgramSaysSoInOneLineAndNamesWhatToRun) {
  TempDir dir;
  ChildProcess corvane({"/usr/bin/env", "-C", dir.path, "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY",
                        "-u", "QT_QPA_PLATFORM", CORVANE_BINARY});
  EXPECT_EQ(corvane.Wait(In(20000ms)), 1);
  EXPECT_EQ(corvane.err(),
            "corvane: no display here for the window; run corvane --headless, or corvaned\n");
}

}  // namespace
