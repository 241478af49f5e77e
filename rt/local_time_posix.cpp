#include <langinfo.h>
#include <locale.h>

#include <array>

#include "rt/local_time.h"

namespace corvane {
namespace {

// A LC_TIME locale from the environment, released with the object.
class TimeLocale {
 public:
  TimeLocale() : locale_(newlocale(LC_TIME_MASK, "", locale_t{})) {
    if (locale_ == locale_t{}) locale_ = newlocale(LC_TIME_MASK, "C", locale_t{});
  }
  ~TimeLocale() {
    if (locale_ != locale_t{}) freelocale(locale_);
  }
  TimeLocale(const TimeLocale&) = delete;
  TimeLocale& operator=(const TimeLocale&) = delete;

  std::string Format(nl_item item, const char* fallback, const std::tm& time) const {
    const char* format = fallback;
    if (locale_ != locale_t{}) {
      const char* fromLocale = nl_langinfo_l(item, locale_);
      if (fromLocale != nullptr && *fromLocale != '\0') format = fromLocale;
    }
    std::array<char, 256> buffer{};
    const std::size_t length =
        locale_ != locale_t{} ? strftime_l(buffer.data(), buffer.size(), format, &time, locale_)
                              : std::strftime(buffer.data(), buffer.size(), format, &time);
    return std::string(buffer.data(), length);
  }

 private:
  locale_t locale_;
};

}  // namespace

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

std::string ShortDateText(const std::tm& time) {
  return TimeLocale().Format(D_FMT, "%m/%d/%y", time);
}

std::string LongTimeText(const std::tm& time) {
  return TimeLocale().Format(T_FMT, "%H:%M:%S", time);
}

}  // namespace corvane
