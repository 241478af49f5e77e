#pragma once
// Pictures of the program's windows for its manual: where CORVANE_SHOT_DIR names a folder,
// Shoot() saves the window as it is on screen, frame included, as NAME.bmp there.
#include <string>

#include "app/win32/windows_api.h"

namespace corvane {

void Shoot(HWND window, const std::string& name);

}  // namespace corvane
