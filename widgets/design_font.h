#pragma once
// The font the program's windows were designed with: MS Sans Serif at 8 points, 11 pixels
// high. Where it is not installed the platform substitutes its own sans-serif face, which
// is usually wider; the windows size their captions by the font they actually get.
#include <QFont>

namespace corvane {

QFont DesignFont();

}  // namespace corvane
