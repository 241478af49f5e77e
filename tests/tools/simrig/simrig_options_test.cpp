#include "tools/simrig/simrig_options.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(SimrigOptions, NoArgumentsServeAPtyWithoutReports) {
  std::string error;
  const auto options = ParseSimrigOptions({}, error);
  ASSERT_TRUE(options);
  EXPECT_TRUE(options->link.empty());
  EXPECT_TRUE(options->device.empty());
  EXPECT_FALSE(options->auto_info);
  EXPECT_EQ(options->delay_ms, 0);
  EXPECT_FALSE(options->verbose);
}

TEST(SimrigOptions, EveryOptionIsTaken) {
  std::string error;
  const auto options =
      ParseSimrigOptions({"--ai", "--delay-ms", "250", "--verbose", "--link", "/tmp/rig",
                          "--refuse", "7", "--report-every", "200"},
                         error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->link, "/tmp/rig");
  EXPECT_TRUE(options->auto_info);
  EXPECT_EQ(options->delay_ms, 250);
  EXPECT_EQ(options->refuse_every, 7);
  EXPECT_EQ(options->report_every_ms, 200);
  EXPECT_TRUE(options->verbose);

  const auto device = ParseSimrigOptions({"--device", "/dev/ttyUSB0"}, error);
  ASSERT_TRUE(device) << error;
  EXPECT_EQ(device->device, "/dev/ttyUSB0");
}

struct BadLine {
  std::vector<std::string> args;
  std::string reason;
};

TEST(SimrigOptions, BadCommandLinesAreRefusedWithAReason) {
  const BadLine cases[] = {
      {{"--delay-ms"}, "--delay-ms needs a value"},
      {{"--delay-ms", "-5"}, "--delay-ms needs a number of milliseconds, not '-5'"},
      {{"--delay-ms", "12ms"}, "--delay-ms needs a number of milliseconds, not '12ms'"},
      {{"--delay-ms", ""}, "--delay-ms needs a number of milliseconds, not ''"},
      {{"--refuse", "x"}, "--refuse needs a count, not 'x'"},
      {{"--report-every", "-1"}, "--report-every needs a number of milliseconds, not '-1'"},
      {{"--link"}, "--link needs a value"},
      {{"--device", ""}, "--device needs a path"},
      {{"--fast"}, "unknown argument '--fast'"},
      {{"--link", "/tmp/a", "--device", "/dev/ttyS0"},
       "--link applies only to the pseudo-terminal, not to --device"},
  };
  for (const BadLine& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseSimrigOptions(c.args, error)) << c.reason;
    EXPECT_EQ(error, c.reason);
  }
}

}  // namespace
}  // namespace corvane
