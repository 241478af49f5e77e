#pragma once
// Laying out a dialog in pixels, as the program's forms are designed, on a dialog that the
// resource script gives only its frame, caption and font.
#include <string>

#include "app/win32/windows_api.h"

namespace corvane {

// Resizes the dialog so that its client area has this size.
void SetClientSize(HWND dialog, SIZE client);
void CenterOnScreen(HWND dialog);
// The dialog's font, for the controls made in code.
HFONT DialogFont(HWND dialog);
// A visible child control at r (left, top, width, height) with the given id and font.
HWND AddControl(HWND parent, const char* cls, const std::string& text, DWORD style, RECT r,
                HFONT font, int id = -1);
// The width and height of text in font.
SIZE TextExtent(HWND window, HFONT font, const std::string& text);
// The room text takes in font when it wraps at width (or stays one line).
SIZE TextBlock(HWND window, HFONT font, const std::string& text, LONG width, bool wraps);

}  // namespace corvane
