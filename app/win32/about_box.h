#pragma once
// The about box: the title as its caption, the icon, the product name, copyright,
// programmer and web site lines, and OK. Modal; returns when it has closed.
#include "app/corvane_view.h"
#include "app/win32/windows_api.h"

namespace corvane {

// autoCloseMs: 0 keeps the box until OK or its close button; otherwise it closes by itself
// that long after it appeared. The box shows a copy of icon; the caller keeps its own.
void ShowAboutBox(HWND owner, const TCorvaneView::AboutTexts& texts, HICON icon, UINT autoCloseMs);

}  // namespace corvane
