// The real corvane binary at start-up: the README's sample configuration as a user copies
// it, the messages for lines that cannot be opened, and the trace of the run before.
#include <gtest/gtest.h>
#include <signal.h>

#include <sstream>

#include "tests/app/corvane_process.h"
#include "tests/app/pluggable_line.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

// The indented block of README.md that starts with "[SETTINGS]", without its indentation.
std::string ReadmeSample() {
  std::istringstream readme(ReadWholeFile(CORVANE_SOURCE_DIR "/README.md"));
  const std::string indent = "    ";
  std::string sample, line;
  bool inside = false;
  while (std::getline(readme, line)) {
    if (!inside && line != indent + "[SETTINGS]") continue;
    if (line.rfind(indent, 0) != 0) break;
    inside = true;
    sample += line.substr(indent.size()) + "\n";
  }
  return sample;
}

// Puts `name` in place of the port name of `key`'s line: the text after "=" up to the first
// blank, so whatever else the line holds stays as the README has it.
bool ReplacePortName(std::string& ini, const std::string& key, const std::string& name) {
  const size_t line = ini.find("\n" + key + "=");
  if (line == std::string::npos) return false;
  const size_t start = line + key.size() + 2;
  const size_t end = ini.find_first_of(" \t\n", start);
  ini.replace(start, end - start, name);
  return true;
}

TEST(StartUp, TheReadmeSampleStartsAndRoutesAsItIsWritten) {
  CorvaneRig rig;
  std::string ini = ReadmeSample();
  ASSERT_FALSE(ini.empty()) << "README.md has no [SETTINGS] sample";
  ASSERT_TRUE(ReplacePortName(ini, "PORTA", rig.a.slave_path())) << ini;
  ASSERT_TRUE(ReplacePortName(ini, "PORTB", rig.b.slave_path())) << ini;
  ASSERT_TRUE(ReplacePortName(ini, "PORTO", rig.rig_path)) << ini;
  WriteWholeFile(rig.dir.File("Corvane.INI"), ini);

  rig.Start();
  EXPECT_EQ(CorvaneRig::Ask(rig.b, "FA;"), "FA07000000;");
  EXPECT_EQ(CorvaneRig::Ask(rig.a, "FA;"), "FA14070000;");
}

TEST(StartUp, ALineThatCannotBeOpenedIsNamedAsTheConfigurationWritesIt) {
  CorvaneRig rig(CorvaneRig::RigLineLater{});
  // A comment after the value is part of the value; the message shows what was read.
  const std::string written = rig.rig_path + "     ; the transceiver";
  WriteWholeFile(rig.dir.File("Corvane.INI"), "[SETTINGS]\nPORTA=" + rig.a.slave_path() +
                                                  "\nPORTB=" + rig.b.slave_path() +
                                                  "\nPORTO=" + written + "\n");
  rig.Launch();
  EXPECT_TRUE(StderrShows(
      *rig.corvane, "Serial port \"" + written + "\" (PORTO): Unable to open com port (Error: 2)\n",
      In(5s)))
      << rig.corvane->err();
  rig.corvane->Signal(SIGTERM);
  EXPECT_EQ(rig.corvane->Wait(In(10s)), 0) << rig.corvane->err();
}

TEST(StartUp, EveryMissingLineIsReportedOnceAndOneLinesReturnBringsBackNoOthersError) {
  CorvaneRig rig(CorvaneRig::RigLineLater{});
  PluggableLine line_a(rig.dir.File("Port-A")), line_b(rig.dir.File("Port-B"));
  rig.port_a = line_a.path();
  rig.port_b = line_b.path();
  rig.WriteConfiguration();
  const auto missing = [&](const std::string& path, const char* key) {
    return "Serial port \"" + path + "\" (" + key + "): " + kLineMissing + "\n";
  };
  const std::string a = missing(line_a.path(), "PORTA"), b = missing(line_b.path(), "PORTB"),
                    o = missing(rig.rig_path, "PORTO");
  rig.Launch();
  for (const std::string& message : {a, b, o}) {
    EXPECT_TRUE(StderrShows(*rig.corvane, message, In(5s))) << rig.corvane->err();
  }
  // B comes back, then the transceiver: ticks pass after B's return while A is still away.
  PtyPair& b_line = line_b.Plug();
  ASSERT_TRUE(AwaitHoldsOpen(*rig.corvane, line_b.path(), In(kAnswerTimeout)));
  rig.PlugSimrig();
  ASSERT_TRUE(AwaitHoldsOpen(*rig.corvane, rig.rig_path, In(kAnswerTimeout)));
  EXPECT_EQ(CorvaneRig::Ask(b_line, "ID;"), "ID0251;");
  const std::string& err = StderrNow(*rig.corvane);
  for (const std::string& message : {a, b, o}) {
    EXPECT_EQ(Occurrences(err, message), 1u) << message << "in\n" << err;
    EXPECT_EQ(Occurrences(rig.Trace(), message.substr(0, message.size() - 1)), 1u) << rig.Trace();
  }
  rig.corvane->Signal(SIGTERM);
  EXPECT_EQ(rig.corvane->Wait(In(10s)), 0) << rig.corvane->err();
}

TEST(StartUp, TheNextStartKeepsThisRunsTraceAsTheBackup) {
  CorvaneRig rig;
  rig.Start();
  rig.corvane->Signal(SIGTERM);
  ASSERT_EQ(rig.corvane->Wait(In(10s)), 0) << rig.corvane->err();
  const std::string first = rig.Trace();
  ASSERT_NE(first.find("Ended with INI updated INI file"), std::string::npos) << first;

  rig.Start();
  EXPECT_EQ(ReadWholeFile(rig.dir.File("Corvane.Log.1")), first);
  const std::string second = rig.Trace();
  EXPECT_EQ(second.find("Ended with INI updated INI file"), std::string::npos) << second;
  EXPECT_NE(second.find("Corvane Ver.2.0 Build 000-0010"), std::string::npos) << second;
}

}  // namespace
}  // namespace corvane::test
