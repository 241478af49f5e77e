#include "rt/local_time.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

namespace {

std::tm At(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

class LocalTimeTest : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv("LC_ALL"); }
};

TEST_F(LocalTimeTest, CLocaleGivesMonthDayYearAndTwentyFourHourClock) {
  setenv("LC_ALL", "C", 1);
  struct Case {
    std::tm time;
    const char* date;
    const char* clock;
  };
  const Case cases[] = {
      {At(2026, 1, 31, 13, 4, 5), "01/31/26", "13:04:05"},
      {At(1999, 12, 1, 0, 0, 0), "12/01/99", "00:00:00"},
      {At(2000, 2, 29, 23, 59, 59), "02/29/00", "23:59:59"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(corvane::ShortDateText(c.time), c.date);
    EXPECT_EQ(corvane::LongTimeText(c.time), c.clock);
  }
}

TEST_F(LocalTimeTest, LocaleIsReadFromTheEnvironmentOnEveryCall) {
  // An uninstalled locale cannot be loaded; the texts fall back to "C" instead of failing.
  setenv("LC_ALL", "xx_XX.NOT-INSTALLED", 1);
  EXPECT_EQ(corvane::ShortDateText(At(2026, 3, 4, 5, 6, 7)), "03/04/26");
  EXPECT_EQ(corvane::LongTimeText(At(2026, 3, 4, 5, 6, 7)), "05:06:07");
}

}  // namespace
