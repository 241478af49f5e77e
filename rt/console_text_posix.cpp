#include "rt/console_text.h"

namespace corvane {

void UseUtf8Console() {}

}  // namespace corvane
