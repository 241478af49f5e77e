#pragma once
// The floor relay's three lines as the router writes to them: plain non-blocking tty
// descriptors, written with no thread, no event and no record in between.
#include <array>
#include <string>

#include "app/router/router.h"
#include "tools/simrig/cat_line.h"

namespace corvane {

class FloorLines : public RouterLines {
 public:
  // Client paths in the router's client order, then the transceiver's. Throws
  // std::system_error when a line cannot be opened.
  FloorLines(const std::string& a, const std::string& b, const std::string& rig);

  static constexpr size_t kRig = 2;
  int fd(size_t line) const { return lines_[line].io.get(); }

  // Waits for room as the bridge's transceiver line does, up to its write timeout.
  void WriteToRig(const std::string& command) override;
  size_t OfferToClient(size_t client, const std::string& bytes) override;

 private:
  std::array<CatLine, 3> lines_;
};

}  // namespace corvane
