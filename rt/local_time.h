#pragma once
// Local date and time as the user has chosen to see them: the short date and long time
// formats of the LC_TIME locale named by the environment (LC_ALL, LC_TIME, LANG), read
// afresh on every call. A locale that is named but not installed falls back to "C".
#include <ctime>
#include <string>

namespace corvane {

// The current local calendar time, read once.
std::tm LocalNow();

// The date in the locale's short date format (nl_langinfo D_FMT), "01/31/26" under "C".
std::string ShortDateText(const std::tm& time);

// The time of day in the locale's long time format (nl_langinfo T_FMT), "13:04:05" under "C".
std::string LongTimeText(const std::tm& time);

}  // namespace corvane
