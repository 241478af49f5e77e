#include "cport_ui/port_list_source.h"

#include <utility>

namespace corvane {
namespace {

PortListSource& Stored() {
  static PortListSource source;
  return source;
}

}  // namespace

const PortListSource& PortListSourceInUse() {
  return Stored();
}

void SetPortListSource(PortListSource Source) {
  Stored() = std::move(Source);
}

}  // namespace corvane
