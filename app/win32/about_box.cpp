#include "app/win32/about_box.h"

#include <algorithm>
#include <string>

#include "app/win32/dialog_layout.h"
#include "app/win32/resource_ids.h"

namespace corvane {
namespace {

constexpr UINT_PTR kAutoCloseTimer = 1;
constexpr SIZE kClientSize{296, 182};
constexpr int kTextLeft = 72;     // the labels' left edge: the panel's 8 and the design's 64
constexpr LONG kTextWidth = 209;  // from there to the panel's inner edge
constexpr int kLineGap = 4;

struct AboutState {
  const TCorvaneView::AboutTexts* texts;
  HICON icon;
  UINT autoCloseMs;
};

INT_PTR CALLBACK AboutProc(HWND box, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto& state = *reinterpret_cast<AboutState*>(l);
      const TCorvaneView::AboutTexts& t = *state.texts;
      SetWindowTextA(box, t.Title.c_str());
      HFONT font = DialogFont(box);
      // The design's lines stand at 16, 48, 80 and 112 beside the picture; a line that needs
      // more room pushes the ones below it down, and the panel and the box grow with them:
      // nothing is cut. Product name and copyright are one line each, the other two wrap.
      struct Line {
        const std::string* text;
        int top;
        bool wraps;
      };
      const Line lines[] = {{&t.ProductName, 16, false},
                            {&t.CopyRight, 48, false},
                            {&t.Programmer, 80, true},
                            {&t.WebSite, 112, true}};
      LONG width = kTextWidth;
      for (const Line& line : lines)
        if (!line.wraps) width = std::max(width, TextExtent(box, font, *line.text).cx);
      int bottom = 0;
      for (const Line& line : lines) {
        const int top = std::max(line.top, bottom + kLineGap);
        const SIZE size = TextBlock(box, font, *line.text, width, line.wraps);
        AddControl(box, "STATIC", *line.text,
                   SS_LEFT | SS_NOPREFIX | (line.wraps ? 0 : SS_LEFTNOWORDWRAP),
                   {kTextLeft, top, width, size.cy}, font);
        bottom = top + size.cy;
      }
      const int panelWidth = std::max<int>(281, kTextLeft - 8 + width + 8);
      const int panelBottom = std::max(8 + 137, bottom + 8);
      // Panel1 with its bevels, Panel2 around the picture.
      AddControl(box, "STATIC", "", SS_ETCHEDFRAME, {8, 8, panelWidth, panelBottom - 8}, font);
      AddControl(box, "STATIC", "", SS_SUNKEN, {16, 16, 50, 50}, font);
      HWND image = AddControl(box, "STATIC", "", SS_ICON | SS_CENTERIMAGE, {17, 17, 48, 48}, font);
      if (state.icon) {
        HICON copy = CopyIcon(state.icon);
        SetPropA(box, "CorvaneIcon", copy);
        SendMessageA(image, STM_SETICON, reinterpret_cast<WPARAM>(copy), 0);
      }
      const int clientWidth = std::max<int>(kClientSize.cx, 8 + panelWidth + 7);
      const int buttonTop = panelBottom + 7;
      HWND ok = AddControl(box, "BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP,
                           {(clientWidth - 75) / 2, buttonTop, 75, 25}, font, IDOK);
      SetClientSize(box, {clientWidth, std::max<int>(kClientSize.cy, buttonTop + 25 + 5)});
      CenterOnScreen(box);
      if (state.autoCloseMs > 0) SetTimer(box, kAutoCloseTimer, state.autoCloseMs, nullptr);
      SetFocus(ok);
      return FALSE;
    }
    case WM_TIMER:
      if (w != kAutoCloseTimer) return FALSE;
      KillTimer(box, kAutoCloseTimer);
      EndDialog(box, IDCANCEL);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL) {
        EndDialog(box, LOWORD(w));
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      // The timer never outlives its box, nor the icon's copy.
      KillTimer(box, kAutoCloseTimer);
      if (HANDLE copy = RemovePropA(box, "CorvaneIcon")) DestroyIcon(static_cast<HICON>(copy));
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void ShowAboutBox(HWND owner, const TCorvaneView::AboutTexts& texts, HICON icon, UINT autoCloseMs) {
  AboutState state{&texts, icon, autoCloseMs};
  DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kAboutDialogId), owner, AboutProc,
                  reinterpret_cast<LPARAM>(&state));
}

}  // namespace corvane
