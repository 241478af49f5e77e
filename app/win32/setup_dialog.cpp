#include "app/win32/setup_dialog.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <functional>
#include <string>

#include "app/win32/dialog_layout.h"
#include "app/win32/resource_ids.h"
#include "cport_ui/com_select.h"
#include "cport_ui/setup_apply.h"

namespace corvane {
namespace {

// The design, in pixels of the design font: captions at 8 and boxes at 80 inside the group
// box, one row every 24 pixels from 16 down.
constexpr std::array<int, 6> kBoxTops = {16, 40, 64, 88, 112, 136};
constexpr int kCaptionLeft = 8, kCaptionHeight = 13, kCaptionRoom = 57;
constexpr int kBoxLeft = 80, kBoxWidth = 129, kBoxHeight = 21;
constexpr int kListHeight = 200;  // the opened list below a box
constexpr SIZE kClientSize{231, 216};
constexpr RECT kGroupBox{8, 8, 217, 169};  // left, top, width, height
constexpr RECT kOkButton{70, 184, 75, 25};
constexpr RECT kCancelButton{150, 184, 75, 25};
constexpr int kFirstBoxId = 1001;

constexpr std::array<const char*, 6> kCaptions = {"Port",      "Baud rate", "Data bits",
                                                  "Stop bits", "Parity",    "Flow control"};
constexpr std::array<TComProperty, 6> kProperties = {cpPort,     cpBaudRate, cpDataBits,
                                                     cpStopBits, cpParity,   cpFlowControl};

// The item list of one drop-down list box.
class ComboItems : public TComItems {
 public:
  void Attach(HWND box) { box_ = box; }
  void Clear() override { SendMessageA(box_, CB_RESETCONTENT, 0, 0); }
  void Add(const std::string& text) override {
    SendMessageA(box_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  int Count() const override { return static_cast<int>(SendMessageA(box_, CB_GETCOUNT, 0, 0)); }
  std::string Item(int index) const override {
    const LRESULT n = SendMessageA(box_, CB_GETLBTEXTLEN, index, 0);
    if (n == CB_ERR) return {};
    std::string text(static_cast<size_t>(n) + 1, '\0');
    SendMessageA(box_, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(n));
    return text;
  }

 private:
  HWND box_ = nullptr;
};

struct SetupState {
  TCustomComPort* port;
  std::array<ComboItems, 6> items;
  std::array<TComSelect, 6> selects;
  std::array<HWND, 6> boxes{};
};

// The design grows as a whole until the widest caption fits before the boxes and the
// text height fits the rows; the boxes widen for their longest item.
void LayOut(HWND dialog, SetupState& s, HFONT font) {
  double scale = 1.0;
  int widest = 0;
  for (const char* caption : kCaptions) {
    const SIZE text = TextExtent(dialog, font, caption);
    scale = std::max({scale, text.cx / double(kCaptionRoom), text.cy / double(kCaptionHeight)});
  }
  for (size_t i = 0; i < s.boxes.size(); ++i)
    for (int k = 0; k < s.items[i].Count(); ++k)
      widest = std::max<int>(widest, TextExtent(dialog, font, s.items[i].Item(k)).cx);
  auto scaled = [scale](LONG designed) { return static_cast<int>(std::ceil(designed * scale)); };
  // Room for the arrow and the edges beside the longest item.
  const int wider = std::max(0, widest + GetSystemMetrics(SM_CXVSCROLL) + 8 - scaled(kBoxWidth));

  SetClientSize(dialog, {scaled(kClientSize.cx) + wider, scaled(kClientSize.cy)});
  const int gx = scaled(kGroupBox.left), gy = scaled(kGroupBox.top);
  MoveWindow(GetDlgItem(dialog, kFirstBoxId - 1), gx, gy, scaled(kGroupBox.right) + wider,
             scaled(kGroupBox.bottom), FALSE);
  for (size_t i = 0; i < s.boxes.size(); ++i) {
    const int top = gy + scaled(kBoxTops[i]);
    MoveWindow(s.boxes[i], gx + scaled(kBoxLeft), top, scaled(kBoxWidth) + wider,
               scaled(kListHeight), FALSE);
    RECT box;
    GetWindowRect(s.boxes[i], &box);
    const int boxHeight = box.bottom - box.top;
    const SIZE text = TextExtent(dialog, font, kCaptions[i]);
    MoveWindow(GetDlgItem(dialog, kFirstBoxId + 10 + static_cast<int>(i)),
               gx + scaled(kCaptionLeft), top + (boxHeight - text.cy) / 2, text.cx, text.cy, FALSE);
  }
  for (auto [id, r] : {std::pair{IDOK, kOkButton}, std::pair{IDCANCEL, kCancelButton}})
    MoveWindow(GetDlgItem(dialog, id), scaled(r.left) + wider, scaled(r.top), scaled(r.right),
               scaled(r.bottom), FALSE);
}

INT_PTR CALLBACK SetupProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
  auto* s = reinterpret_cast<SetupState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      s = reinterpret_cast<SetupState*>(l);
      SetWindowLongPtrA(dialog, DWLP_USER, l);
      HFONT font = DialogFont(dialog);
      AddControl(dialog, "BUTTON", " Settings ", BS_GROUPBOX, {0, 0, 1, 1}, font, kFirstBoxId - 1);
      for (size_t i = 0; i < s->boxes.size(); ++i) {
        AddControl(dialog, "STATIC", kCaptions[i], SS_LEFT, {0, 0, 1, 1}, font,
                   kFirstBoxId + 10 + static_cast<int>(i));
        s->boxes[i] = AddControl(dialog, "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                                 {0, 0, 1, 1}, font, kFirstBoxId + static_cast<int>(i));
        s->items[i].Attach(s->boxes[i]);
        s->selects[i].SetItems(&s->items[i]);
        s->selects[i].SetComProperty(kProperties[i]);
        s->selects[i].SetComPort(s->port);
        int index = 0;
        s->selects[i].ReadFromPort(index);
        SendMessageA(s->boxes[i], CB_SETCURSEL, index, 0);
      }
      AddControl(dialog, "BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, {0, 0, 1, 1}, font, IDOK);
      AddControl(dialog, "BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, {0, 0, 1, 1}, font,
                 IDCANCEL);
      LayOut(dialog, *s, font);
      CenterOnScreen(dialog);
      SetFocus(s->boxes[0]);
      return FALSE;
    }
    case WM_COMMAND: {
      const int id = LOWORD(w);
      if (id == IDOK || id == IDCANCEL) {
        EndDialog(dialog, id);
        return TRUE;
      }
      // Only the operator's pick changes a pending value.
      if (HIWORD(w) == CBN_SELCHANGE && id >= kFirstBoxId && id < kFirstBoxId + 6) {
        const size_t i = static_cast<size_t>(id - kFirstBoxId);
        const int picked = static_cast<int>(SendMessageA(s->boxes[i], CB_GETCURSEL, 0, 0));
        if (picked >= 0) s->selects[i].TakeText(s->items[i].Item(picked));
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

void ShowSetupDialog(HWND owner, TCustomComPort& port) {
  SetupState state;
  state.port = &port;
  const INT_PTR result =
      DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kSetupDialogId), owner, SetupProc,
                      reinterpret_cast<LPARAM>(&state));
  if (result != IDOK) return;
  // The boxes are gone; their pending values are what OK applies.
  std::array<std::function<void()>, 6> apply;
  for (size_t i = 0; i < apply.size(); ++i)
    apply[i] = [&state, i] { state.selects[i].ApplyToPort(); };
  ApplySetupChoices(port, apply, !state.selects[0].Port().empty());
}

}  // namespace corvane
