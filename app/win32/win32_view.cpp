#include "app/win32/win32_view.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "app/bridge_constants.h"
#include "app/win32/about_box.h"
#include "app/win32/dialog_layout.h"
#include "app/win32/gdi_canvas.h"
#include "app/win32/resource_ids.h"
#include "app/win32/setup_dialog.h"
#include "rt/main_thread.h"
#include "widgets/color.h"
#include "widgets/led_painter.h"

namespace corvane {
namespace {

constexpr char kWindowClass[] = "CorvaneForm";
constexpr POINT kDesignPosition{1052, 155};
constexpr SIZE kDesignSize{180, 202};
constexpr int kMargin = 8;  // the window's own margin, on the right as on the left
constexpr UINT_PTR kWatchdogTimer = 1;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

struct LampPlace {
  int top;
  TColor color2;
};
// Port A, port B, out: lime shading to lime, yellow, yellow; off: black to white.
constexpr LampPlace kLamps[] = {{8, clLime}, {32, clYellow}, {56, clYellow}};
constexpr int kLampLeft = 8, kLampWidth = 9, kLampHeight = 17;

struct LabelDesign {
  const char* caption;
  int left, top, width, height;  // width 0: as wide as its caption
  bool bold;
};
// Label2, COMPortLabel, Label3, RigNameLabel, Label4, RigFreqLabel, QueueRead, Label5,
// QueueWrite.
constexpr LabelDesign kLabels[] = {
    {"Port (A)", 24, 8, 0, 0, true},     {"---", 104, 8, 49, 13, false},
    {"Port (B)", 24, 32, 0, 0, true},    {"---", 104, 32, 57, 13, false},
    {"Out", 24, 56, 0, 0, true},         {"---", 104, 56, 57, 13, false},
    {"QueueRead", 8, 112, 0, 0, false},  {"<->", 72, 112, 0, 0, false},
    {"QueueWrite", 96, 112, 0, 0, false}};
// Where each Label of the view stands in kLabels.
constexpr int kLabelIndex[] = {1, 3, 5, 6, 8};

HFONT DesignFont(int height, bool bold) {
  return CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
}

// The window's outer rectangle for a client area of this size at this place, kept where it
// can be seen: the design place lies right of a 1024-pixel screen.
RECT PlaceOnScreen(POINT at, SIZE client) {
  RECT r{0, 0, client.cx, client.cy};
  AdjustWindowRectEx(&r, kStyle, FALSE, 0);
  const int w = r.right - r.left, h = r.bottom - r.top;
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  int x = std::max<int>(work.left, std::min<int>(at.x, work.right - w));
  int y = std::max<int>(work.top, std::min<int>(at.y, work.bottom - h));
  return RECT{x, y, x + w, y + h};
}

}  // namespace

Win32View::Win32View() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  icon_ = LoadIconA(instance, MAKEINTRESOURCEA(kAppIconId));
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = icon_;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  RegisterClassExA(&wc);

  font_ = DesignFont(-11, false);
  boldFont_ = DesignFont(-13, true);
  const RECT r = PlaceOnScreen(kDesignPosition, kDesignSize);
  window_ = CreateWindowExA(0, kWindowClass, "Corvane", kStyle, r.left, r.top, r.right - r.left,
                            r.bottom - r.top, nullptr, nullptr, instance, this);

  std::vector<HWND> made;
  for (const LabelDesign& d : kLabels) {
    HWND label = CreateWindowExA(0, "STATIC", d.caption, WS_CHILD | WS_VISIBLE | SS_LEFT, d.left,
                                 d.top, 1, 1, window_, nullptr, instance, nullptr);
    HFONT font = d.bold ? boldFont_ : font_;
    SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    const SIZE text = TextExtent(label, font, d.caption);
    SetWindowPos(label, nullptr, 0, 0, std::max<int>(d.width, text.cx),
                 std::max<int>(d.height, text.cy), SWP_NOMOVE | SWP_NOZORDER);
    made.push_back(label);
  }
  for (size_t i = 0; i < labels_.size(); ++i) labels_[i] = made[kLabelIndex[i]];
  HWND reset = CreateWindowExA(
      0, "BUTTON", "Reset", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 40, 80, 89, 25, window_,
      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kResetButtonId)), instance, nullptr);
  SendMessageA(reset, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  FitWidth();
}

Win32View::~Win32View() {
  RemoveTrayIcon();
  if (window_) DestroyWindow(window_);
  if (trayMenu_) DestroyMenu(trayMenu_);
  DeleteObject(font_);
  DeleteObject(boldFont_);
}

LRESULT CALLBACK Win32View::WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(l);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* view = reinterpret_cast<Win32View*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (view == nullptr || view->window_ != window) return DefWindowProcA(window, message, w, l);
  return view->Handle(message, w, l);
}

// Every command runs guarded: what it raises goes to the error display.
void Win32View::Run(const std::function<void()>& command) {
  if (!command) return;
  try {
    command();
  } catch (...) {
    MainThread::Instance().HandleException(std::current_exception());
  }
}

LRESULT Win32View::Handle(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_CTLCOLORSTATIC:
      // Labels on the window's own face.
      SetBkMode(reinterpret_cast<HDC>(w), TRANSPARENT);
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_TIMER:
      if (w == kWatchdogTimer) Run(commands_.Timer);
      return 0;
    case WM_COMMAND: {
      const UINT id = LOWORD(w);
      if (id == kResetButtonId) Run(commands_.Reset);
      const std::function<void()>* tray[] = {&commands_.SettingsA,   &commands_.SettingsB,
                                             &commands_.SettingsOut, &commands_.Reset,
                                             &commands_.About,       &commands_.Exit};
      if (id >= kTrayFirstCommand && id < kTrayFirstCommand + 6) Run(*tray[id - kTrayFirstCommand]);
      return 0;
    }
    case WM_SYSCOMMAND: {
      // The system's own handling first (move, minimise, close), then the program's ids.
      const LRESULT r = DefWindowProcA(window_, message, w, l);
      const auto id = static_cast<uint32_t>(w);
      if (commands_.SysCommand && IsWindow(window_)) Run([&] { commands_.SysCommand(id); });
      return r;
    }
    case kTrayMessage:
      OnTrayMouse(l);
      return 0;
    case kServeMessage:
      Run([] { MainThread::Instance().ServePending(); });
      return 0;
    case WM_CLOSE:
      DestroyWindow(window_);
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      // The session ends with this message: the configuration is written back first.
      if (w && onDestroy_) std::exchange(onDestroy_, nullptr)();
      return 0;
    case WM_DESTROY:
      KillTimer(window_, kWatchdogTimer);
      if (onDestroy_) std::exchange(onDestroy_, nullptr)();
      window_ = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window_, message, w, l);
  }
}

void Win32View::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_, &ps);
  for (size_t i = 0; i < ledsOn_.size(); ++i) {
    LedLook look;
    look.style = lsGradient2;
    const bool keyed = keying_ && static_cast<size_t>(*keying_) == i;
    look.c1 = !ledsOn_[i] ? clBlack : keyed ? kKeyedLampColor : clLime;
    look.c2 = !ledsOn_[i] ? clWhite : keyed ? kKeyedLampColor : kLamps[i].color2;
    look.radius = 1;
    look.width = kLampWidth;
    look.height = kLampHeight;
    GdiCanvas canvas(dc, kLampLeft, kLamps[i].top);
    PaintLed(canvas, look);
  }
  EndPaint(window_, &ps);
}

void Win32View::SetLabelCaption(Label label, const std::string& caption) {
  HWND control = labels_[static_cast<size_t>(label)];
  SetWindowTextA(control, caption.c_str());
  const LabelDesign& d = kLabels[kLabelIndex[static_cast<size_t>(label)]];
  // A port path is longer than the design's "COM11"; it must not be cut off.
  const SIZE text = TextExtent(control, font_, caption);
  SetWindowPos(control, nullptr, 0, 0, std::max<int>(d.width, text.cx),
               std::max<int>(d.height, text.cy), SWP_NOMOVE | SWP_NOZORDER);
  InvalidateRect(control, nullptr, TRUE);
  FitWidth();
}

void Win32View::FitWidth() {
  int width = kDesignSize.cx;
  for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, window_, reinterpret_cast<POINT*>(&r), 2);
    width = std::max<int>(width, r.right + kMargin);
  }
  RECT client;
  GetClientRect(window_, &client);
  if (client.right == width) return;
  RECT now;
  GetWindowRect(window_, &now);
  const RECT r = PlaceOnScreen({now.left, now.top}, {width, kDesignSize.cy});
  MoveWindow(window_, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

void Win32View::SetLedOn(Led led, bool on) {
  const auto i = static_cast<size_t>(led);
  if (ledsOn_[i] == on) return;
  ledsOn_[i] = on;
  RepaintLamp(led);
}

void Win32View::RepaintLamp(Led led) {
  const auto i = static_cast<size_t>(led);
  RECT lamp{kLampLeft, kLamps[i].top, kLampLeft + kLampWidth, kLamps[i].top + kLampHeight};
  InvalidateRect(window_, &lamp, TRUE);
}

// The window has no room for a caption more; the lamp of the keying port is enough to say
// which port keys it.
void Win32View::ShowTransmitter(std::optional<Led> led, const std::string&) {
  if (keying_) RepaintLamp(*keying_);
  keying_ = led;
  if (keying_) RepaintLamp(*keying_);
}

int Win32View::MessageBox(const std::string& text, const std::string& caption, Buttons buttons) {
  const UINT type = buttons == Buttons::OKCancel ? MB_OKCANCEL : MB_OK;
  return ::MessageBoxA(window_, text.c_str(), caption.c_str(), type) == IDOK ? idOK : idCancel;
}

void Win32View::BuildSystemMenu() {
  HMENU menu = GetSystemMenu(window_, FALSE);
  ModifyMenuA(menu, SC_CLOSE, MF_BYCOMMAND | MF_STRING, SC_CLOSE, "&Quit\tAlt+F4");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kCmdSettingsA, "COM Port A Settings");
  AppendMenuA(menu, MF_STRING, kCmdSettingsB, "COM Port B Settings");
  AppendMenuA(menu, MF_STRING, kCmdSettingsOut, "COM Port Out Settings");
  AppendMenuA(menu, MF_STRING, kCmdResetSync, "Reset Sync FT2000");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kCmdAbout, "&About...");
}

void Win32View::BuildTrayMenu() {
  if (trayMenu_) DestroyMenu(trayMenu_);
  trayMenu_ = CreatePopupMenu();
  const char* const entries[] = {"PORTA Settings", "PORTB Settings", "OUT Settings",
                                 "Reset Sync",     "About",          "Exit"};
  for (UINT i = 0; i < 6; ++i) AppendMenuA(trayMenu_, MF_STRING, kTrayFirstCommand + i, entries[i]);
}

void Win32View::AddTrayIcon(const std::string& tip) {
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = window_;
  data.uID = kTrayIconId;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayMessage;
  data.hIcon = icon_;
  // The record holds 63 characters and the terminator.
  std::strncpy(data.szTip, tip.c_str(), sizeof data.szTip - 1);
  trayAdded_ = Shell_NotifyIconA(NIM_ADD, &data) != 0;
  if (!trayAdded_ && trace_)
    trace_("<AddTrayIcon> no system tray on this desktop, the icon is not shown");
}

void Win32View::RemoveTrayIcon() {
  if (!trayAdded_) return;
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = window_;
  data.uID = kTrayIconId;
  Shell_NotifyIconA(NIM_DELETE, &data);
  trayAdded_ = false;
}

void Win32View::OnTrayMouse(LPARAM event) {
  if (event != WM_RBUTTONDOWN || trayMenu_ == nullptr) return;
  SetForegroundWindow(window_);
  POINT at{};
  GetCursorPos(&at);
  if (IsIconic(window_)) ::ShowWindow(window_, SW_RESTORE);
  TrackPopupMenu(trayMenu_, TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
  // Without a message after it the menu would not close when clicked away from.
  PostMessageA(window_, WM_NULL, 0, 0);
}

void Win32View::PrepareAboutDialog(const AboutTexts& texts) {
  about_ = texts;
  aboutPrepared_ = true;
}

void Win32View::ShowAbout() {
  // Before start-up has prepared the box there is nothing to show.
  if (aboutPrepared_) ShowAboutBox(window_, about_, icon_, 0);
}

void Win32View::ShowSettingsDialog(TComPort& port) {
  ShowSetupDialog(window_, port);
}

void Win32View::ShowWindow() {
  ::ShowWindow(window_, SW_SHOW);
  UpdateWindow(window_);
}

void Win32View::SetTimerEnabled(bool enabled) {
  if (enabled) {
    SetTimer(window_, kWatchdogTimer, static_cast<UINT>(kWatchdogInterval.count()), nullptr);
  } else {
    KillTimer(window_, kWatchdogTimer);
  }
}

void Win32View::ProcessMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  MainThread::Instance().ServePending();
}

void Win32View::CloseWindow() {
  if (window_) DestroyWindow(window_);
}

}  // namespace corvane
