#include <windows.h>

#include <string>

#include "rt/local_time.h"

namespace corvane {
namespace {

SYSTEMTIME ToSystemTime(const std::tm& time) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(time.tm_year + 1900);
  st.wMonth = static_cast<WORD>(time.tm_mon + 1);
  st.wDayOfWeek = static_cast<WORD>(time.tm_wday);
  st.wDay = static_cast<WORD>(time.tm_mday);
  st.wHour = static_cast<WORD>(time.tm_hour);
  st.wMinute = static_cast<WORD>(time.tm_min);
  st.wSecond = static_cast<WORD>(time.tm_sec);
  return st;
}

}  // namespace

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_s(&local, &now);
  return local;
}

// The user's short date format, as set in the regional settings.
std::string ShortDateText(const std::tm& time) {
  const SYSTEMTIME st = ToSystemTime(time);
  char buffer[128];
  const int n =
      GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, n - 1) : std::string();
}

// The user's long time format: with no flags GetTimeFormat uses it.
std::string LongTimeText(const std::tm& time) {
  const SYSTEMTIME st = ToSystemTime(time);
  char buffer[128];
  const int n = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, n - 1) : std::string();
}

}  // namespace corvane
