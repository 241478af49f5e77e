// The real corvane binary, headless, between two scripted clients and the simulated
// transceiver.
#include <gtest/gtest.h>
#include <signal.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "tests/app/corvane_process.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

std::string Answer(const std::string& token, const std::string& value) {
  return token + value + ";";
}

size_t Threads(pid_t pid) {
  size_t n = 0;
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
    n += task.is_directory();
  }
  return n;
}

// The bridge as it ships, its main loop watching the three lines, and with an event thread
// per line.
class CorvaneDelivery : public testing::TestWithParam<bool> {};

TEST_P(CorvaneDelivery, AnswersReachTheClientThatAsked) {
  const bool event_threads = GetParam();
  CorvaneRig rig;
  rig.Start(event_threads ? std::vector<std::string>{"--event-threads"}
                          : std::vector<std::string>{});
  EXPECT_EQ(rig.Ask(rig.a, "ID;"), "ID0251;");
  EXPECT_EQ(rig.Ask(rig.b, "ID;"), "ID0251;");
  EXPECT_EQ(rig.Ask(rig.a, "FA;"), Answer("FA", "14070000"));
  // Pseudo-terminals have no driver-wait helper: loop delivery runs on the main thread alone.
  EXPECT_EQ(Threads(rig.corvane->pid()), event_threads ? 4u : 1u);
}

INSTANTIATE_TEST_SUITE_P(LoopAndThreads, CorvaneDelivery, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "EventThreads" : "MainLoop";
                         });

TEST(CorvaneEndToEnd, PortBSeesTheVfosExchangedBothWays) {
  CorvaneRig rig;
  rig.Start();
  // The transceiver starts with VFO A on 14.070 and VFO B on 7.000 MHz; B sees them swapped.
  EXPECT_EQ(rig.Ask(rig.b, "FB;"), "FB14070000;");
  EXPECT_EQ(rig.Ask(rig.b, "FA;"), "FA07000000;");
  // B tunes its VFO A, which is the transceiver's VFO B.
  rig.b.master().Send("FA21074000;");
  EXPECT_EQ(rig.Ask(rig.b, "FA;"), "FA21074000;");
  EXPECT_EQ(rig.Ask(rig.a, "FB;"), "FB21074000;");
  EXPECT_EQ(rig.Ask(rig.a, "FA;"), "FA14070000;");
}

TEST(CorvaneEndToEnd, ThreeCommandsInOneChunkAreAnsweredInOrder) {
  CorvaneRig rig;
  rig.Start();
  rig.a.master().Send("FA;FB;ID;");
  EXPECT_EQ(rig.a.master().ReceiveUntil("ID0251;", In(kAnswerTimeout)),
            "FA14070000;FB07000000;ID0251;");
}

TEST(CorvaneEndToEnd, ACommandSplitOverChunksIsSentWhenComplete) {
  CorvaneRig rig;
  rig.Start();
  rig.a.master().Send("I");
  // Nothing can come back for half a command.
  EXPECT_EQ(rig.a.master().ReceiveUntil(";", In(100ms)), "");
  rig.a.master().Send("D;");
  EXPECT_EQ(rig.a.master().ReceiveUntil(";", In(kAnswerTimeout)), "ID0251;");
}

TEST(CorvaneEndToEnd, AReportReachesOnlyTheClientThatAskedForReports) {
  CorvaneRig rig;
  rig.Start();
  // With auto-information on, the mode change makes the transceiver report IF unasked: A
  // wants reports and gets it, B does not.
  rig.a.master().Send("AI1;MD03;");
  const std::string report = rig.a.master().ReceiveUntil(";", In(kAnswerTimeout));
  EXPECT_EQ(report.substr(0, 2), "IF") << report;
  EXPECT_EQ(report.size(), 27u) << report;
  EXPECT_EQ(rig.b.master().ReceiveUntil(";", In(100ms)), "");
  EXPECT_EQ(rig.Ask(rig.a, "MD0;"), "MD03;");
}

TEST(CorvaneEndToEnd, TraceStartsWithTheVersionAndParameterBlock) {
  CorvaneRig rig;
  rig.Start();
  const std::string trace = rig.Trace();
  const std::string expected[] = {
      "Corvane Ver.2.0 Build 000-0010",
      "--------------Parameters ----------------",
      "Configuration File " + rig.dir.File("Corvane.INI"),
      "MODEL=",
      "TRACE=TRUE",
      "PORTA=" + rig.a.slave_path(),
      "PORTB=" + rig.b.slave_path(),
      "PORTO=" + rig.rig_path,
  };
  size_t at = 0;
  for (const auto& line : expected) {
    size_t found = trace.find(" " + line + "\n", at);
    ASSERT_NE(found, std::string::npos) << "missing: " << line << "\n" << trace;
    at = found;
  }
}

struct TraceSwitch {
  std::string ini_value;
  std::string written_back;
};

void PrintTo(const TraceSwitch& t, std::ostream* os) {
  *os << "TRACE=" << t.ini_value;
}

class CorvaneShutdown : public testing::TestWithParam<TraceSwitch> {};

TEST_P(CorvaneShutdown, SigtermWritesTheConfigurationBack) {
  CorvaneRig rig({}, GetParam().ini_value);
  // A key the bridge does not write must survive the write-back.
  WriteWholeFile(rig.dir.File("Corvane.INI"),
                 ReadWholeFile(rig.dir.File("Corvane.INI")) + "LOGFILE=Other.LOG\n");
  rig.Start();
  rig.corvane->Signal(SIGTERM);
  EXPECT_EQ(rig.corvane->Wait(In(10s)), 0) << rig.corvane->err();
  const std::string ini = ReadWholeFile(rig.dir.File("Corvane.INI"));
  EXPECT_NE(ini.find("TRACE=" + GetParam().written_back + "\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("LOGFILE=Other.LOG\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("PORTO=" + rig.rig_path + "\n"), std::string::npos) << ini;
}

TEST(CorvaneWindowProcess, SigtermClosesTheWindowAndWritesTheConfigurationBack) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) GTEST_SKIP() << "needs a Qt platform";
  CorvaneRig rig({}, "no");
  rig.Start({}, /*headless=*/false);
  EXPECT_EQ(rig.Ask(rig.b, "ID;"), "ID0251;");
  rig.corvane->Signal(SIGTERM);
  EXPECT_EQ(rig.corvane->Wait(In(10s)), 0) << rig.corvane->err();
  EXPECT_NE(ReadWholeFile(rig.dir.File("Corvane.INI")).find("TRACE=NOT\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(TraceOnAndOff, CorvaneShutdown,
                         testing::Values(TraceSwitch{"YES", "YES"}, TraceSwitch{"no", "NOT"}));

}  // namespace
}  // namespace corvane::test
