#pragma once
// The two ways a LED lamp is painted: nested rings shading from one colour to the other,
// or rings alternating between the two.
#include <cstdint>

#include "widgets/canvas.h"

enum tLedStyle : std::uint8_t { lsGradient1 = 0, lsGradient2 = 1, lsAlternative = 2 };

namespace corvane {

// Everything a paint depends on; c1 and c2 are the pair in use (on or off).
struct LedLook {
  tLedStyle style = lsGradient2;
  TColor c1;
  TColor c2;
  std::uint8_t radius = 1;
  bool diagShining = false;
  int width = 0;
  int height = 0;
};

// A port's lamp while a client of the port keys the transmitter: red shading to red.
inline constexpr TColor kKeyedLampColor{0x0000FF};

// Dispatches on the style. A lamp without area (width or height 0 or less) draws nothing.
void PaintLed(Canvas& canvas, const LedLook& look);

void PaintAlternativeLed(Canvas& canvas, const LedLook& look);
// A governing side of 1 or 2 pixels leaves no room to shade: one ring in c1.
void PaintGradientLed(Canvas& canvas, const LedLook& look);

}  // namespace corvane
