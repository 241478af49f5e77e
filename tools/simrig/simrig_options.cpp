#include "tools/simrig/simrig_options.h"

#include <charconv>

namespace corvane {

std::optional<SimrigOptions> ParseSimrigOptions(const std::vector<std::string>& args,
                                                std::string& error) {
  SimrigOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string* {
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return nullptr;
      }
      return &args[++i];
    };
    if (arg == "--ai") {
      options.auto_info = true;
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else if (arg == "--link" || arg == "--device") {
      const std::string* path = value();
      if (!path) return std::nullopt;
      if (path->empty()) {
        error = arg + " needs a path";
        return std::nullopt;
      }
      (arg == "--link" ? options.link : options.device) = *path;
    } else if (arg == "--delay-ms" || arg == "--refuse" || arg == "--report-every") {
      const std::string* text = value();
      if (!text) return std::nullopt;
      const bool count = arg == "--refuse";
      int& number = count ? options.refuse_every
                          : arg == "--delay-ms" ? options.delay_ms : options.report_every_ms;
      const char* end = text->data() + text->size();
      auto [ptr, ec] = std::from_chars(text->data(), end, number);
      if (ec != std::errc() || ptr != end || number < 0 || text->empty()) {
        error = arg + (count ? " needs a count" : " needs a number of milliseconds") + ", not '" +
                *text + "'";
        return std::nullopt;
      }
    } else {
      error = "unknown argument '" + arg + "'";
      return std::nullopt;
    }
  }
  if (!options.link.empty() && !options.device.empty()) {
    error = "--link applies only to the pseudo-terminal, not to --device";
    return std::nullopt;
  }
  return options;
}

}  // namespace corvane
