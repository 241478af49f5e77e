// Hostile input on a client line and in the configuration: the bridge keeps running,
// bounds its memory, says what is wrong, and keeps serving the other client.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "tests/robustness/bridge_under_test.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

// Sanitizer builds run the heavy cases smaller.
bool Sanitized() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#endif
#endif
  return std::getenv("CORVANE_ROBUSTNESS_LIGHT") != nullptr;
}

class BadInput : public testing::Test {
 protected:
  void Start() {
    rig.Start();
    corvane = rig.corvane.get();
  }
  void ExpectBothClientsServed() {
    ASSERT_TRUE(Running(*corvane)) << corvane->err();
    EXPECT_EQ(CorvaneRig::Ask(rig.b, "FA;"), "FA07000000;") << corvane->err();
    // A's leftover bytes without ";" would lead its next command: a lone ";" ends them.
    // Answers to commands hidden in A's noise may come first.
    rig.a.master().Send(";ID;");
    EXPECT_TRUE(rig.a.master().ReceiveUntil("ID0251;", In(kAnswerTimeout)).ends_with("ID0251;"))
        << corvane->err();
  }
  void TearDown() override {
    if (!corvane) return;
    corvane->Signal(SIGTERM);
    EXPECT_EQ(corvane->Wait(In(10s)), 0) << corvane->err();
  }

  CorvaneRig rig;
  ChildProcess* corvane = nullptr;
};

TEST_F(BadInput, RandomNulAnd8BitBytesFromOneClient) {
  Start();
  std::mt19937 random(20240611);
  std::string noise;
  for (int i = 0; i < 20000; ++i) noise += static_cast<char>(random() & 0xFF);
  noise += std::string(300, '\0') + "\x80\xFF;\xFE" + std::string(100, '\0');
  rig.a.master().Send(noise);
  // Whatever the transceiver makes of the noise, B never gets an answer it did not ask for.
  EXPECT_EQ(rig.b.master().ReceiveUntil(";", In(500ms)), "");
  ExpectBothClientsServed();
}

TEST_F(BadInput, LoneSemicolonsAndOneByteChunks) {
  Start();
  rig.a.master().Send(std::string(5000, ';'));
  for (char c : std::string("FA;ID;")) rig.a.master().Send(std::string(1, c));
  const std::string got = rig.a.master().ReceiveUntil("ID0251;", In(3s));
  EXPECT_EQ(rig.b.master().ReceiveUntil(";", In(100ms)), "");
  EXPECT_EQ(got.find("FB"), std::string::npos) << got;
  ExpectBothClientsServed();
}

TEST_F(BadInput, ALongStreamWithoutSemicolonKeepsMemoryBounded) {
  {
    NoAsanQuarantine no_quarantine;
    Start();
  }
  const int pid = corvane->pid();
  const auto before = ResidentKiB(pid);
  ASSERT_TRUE(before);
  const size_t total = (Sanitized() ? 16u : 48u) << 20;
  const std::string block(64 * 1024, 'Q');
  long peak = *before;
  for (size_t sent = 0; sent < total; sent += block.size()) {
    rig.a.master().Send(block);
    if (auto now = ResidentKiB(pid)) peak = std::max(peak, *now);
  }
  // The receive buffer is capped at 64 KiB; what passes through must not stay.
  EXPECT_LT(peak - *before, 8 * 1024) << "KiB before " << *before << ", peak " << peak;
  ExpectBothClientsServed();
  // The trace says why bytes were dropped.
  EXPECT_NE(rig.Trace().find("buffer dropped"), std::string::npos);
}

TEST(BadConfiguration, BinaryGarbageEnormousLinesAndDuplicatesAroundTheSettings) {
  CorvaneRig rig;
  std::mt19937 random(7);
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>(random() & 0xFF);
  for (char& c : garbage) {
    if (c == '[' || c == '\n' || c == '\r') c = ' ';
  }
  // The first section and the first key win; later duplicates are ignored.
  const std::string ini = garbage + "\n" + std::string(1 << 20, '#') + "\n" + rig.Configuration() +
                          "PORTA=/dev/nonexistent\n" + "[SETTINGS]\nPORTB=/dev/nonexistent\n" +
                          "[OTHER]\n" + garbage + "\n";
  WriteWholeFile(rig.dir.File("Corvane.INI"), ini);
  rig.Start();
  EXPECT_EQ(CorvaneRig::Ask(rig.b, "ID;"), "ID0251;") << rig.corvane->err();
  rig.corvane->Signal(SIGTERM);
  EXPECT_EQ(rig.corvane->Wait(In(10s)), 0) << rig.corvane->err();
  // The write-back leaves everything it does not own byte for byte.
  const std::string after = ReadWholeFile(rig.dir.File("Corvane.INI"));
  EXPECT_EQ(after.substr(0, garbage.size()), garbage);
  EXPECT_NE(after.find("[OTHER]\n" + garbage + "\n"), std::string::npos);
  EXPECT_NE(after.find(std::string(1 << 20, '#')), std::string::npos);
}

TEST(BadConfiguration, PortNamesThatCannotBeOpenedAreReportedClearly) {
  CorvaneRig rig(CorvaneRig::RigLineLater{});
  std::mt19937 random(11);
  std::string garbage;
  for (int i = 0; i < 2048; ++i) garbage += static_cast<char>(random() & 0xFF);
  WriteWholeFile(rig.dir.File("Corvane.INI"),
                 "[SETTINGS]\nPORTA=" + std::string(100000, 'x') + "\n" + garbage);
  rig.Launch();
  ChildProcess* corvane = rig.corvane.get();
  // The enormous name cannot be a device; start-up says so and the program stays up.
  EXPECT_TRUE(StderrShows(*corvane, "Unable to open com port (Error: ", In(5s))) << corvane->err();
  EXPECT_TRUE(Running(*corvane)) << corvane->err();
  corvane->Signal(SIGTERM);
  EXPECT_EQ(corvane->Wait(In(10s)), 0) << corvane->err();
}

TEST(BadConfiguration, AVanishedCurrentDirectoryIsReportedAndNothingCrashes) {
  ScratchDir parent;
  const std::string gone = parent.File("gone");
  // The directory goes away after the shell entered it and before corvane starts.
  auto corvane = std::make_unique<ChildProcess>(
      std::vector<std::string>{"/bin/sh", "-c",
                               "mkdir '" + gone + "' && cd '" + gone + "' && rmdir '" + gone +
                                   "' && exec '" + kCorvane + "' --headless"});
  EXPECT_TRUE(StderrShows(*corvane, "Unable to open com port (Error: ", In(5s))) << corvane->err();
  EXPECT_TRUE(Running(*corvane)) << corvane->err();
  corvane->Signal(SIGTERM);
  EXPECT_EQ(corvane->Wait(In(10s)), 0) << corvane->err();
  // The configuration cannot be written back, and the operator is told so.
  EXPECT_NE(corvane->err().find("Unable to write to"), std::string::npos) << corvane->err();
}

TEST(BadConfiguration, AReadOnlyCurrentDirectoryLosesOnlyTheFilesNotTheRouting) {
  ScratchDir dir;
  PtyPair a, b, rig;
  const bool root = ::geteuid() == 0;
  // Root writes anywhere; the program runs as an ordinary user then, who needs the lines.
  if (root) {
    for (PtyPair* line : {&a, &b, &rig}) {
      ASSERT_EQ(::chmod(line->slave_path().c_str(), 0666), 0);
    }
  }
  WriteWholeFile(dir.File("Corvane.INI"), "[SETTINGS]\nPORTA=" + a.slave_path() +
                                              "\nPORTB=" + b.slave_path() +
                                              "\nPORTO=" + rig.slave_path() + "\nTRACE=YES\n");
  const std::string before = ReadWholeFile(dir.File("Corvane.INI"));
  ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
  std::string command = "cd '" + dir.path() + "' && exec ";
  if (root) command += "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  command += "'" + kCorvane + "' --headless";
  ChildProcess corvane({"/bin/sh", "-c", command});

  // No trace file can be made, and routing goes on all the same.
  for (const PtyPair* line : {&a, &rig}) {
    ASSERT_TRUE(AwaitHoldsOpen(corvane, line->slave_path(), In(5s))) << corvane.err();
  }
  a.master().Send("ID;");
  EXPECT_EQ(rig.master().ReceiveUntil("ID;", In(kAnswerTimeout)), "ID;") << corvane.err();
  rig.master().Send("ID0251;");
  EXPECT_EQ(a.master().ReceiveUntil(";", In(3s)), "ID0251;");

  corvane.Signal(SIGTERM);
  EXPECT_EQ(corvane.Wait(In(10s)), 0) << corvane.err();
  EXPECT_NE(corvane.err().find("Unable to write to " + dir.File("Corvane.INI")), std::string::npos)
      << corvane.err();
  EXPECT_EQ(ReadWholeFile(dir.File("Corvane.INI")), before);
  EXPECT_FALSE(std::filesystem::exists(dir.File("Corvane.Log")));
  ::chmod(dir.path().c_str(), 0755);
}

}  // namespace
}  // namespace corvane::test
