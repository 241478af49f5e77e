// The native window with the real bridge behind it, under Wine with a display (Xvfb in CI).
// The transceiver's and clients' ports do not exist here: start-up reports that in a box,
// which a watcher thread answers as an operator would, along with every other box the case
// expects; the watcher records what it saw.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/win32/about_box.h"
#include "app/win32/win32_app.h"
#include "app/win32/windows_api.h"
#include "rt/file_io.h"
#include "tests/win32/window_shot.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string TextOf(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// Answers the boxes the program shows: each is handed to `answer` with its caption; the
// watcher keeps the captions in the order they appeared.
class BoxWatcher {
 public:
  using Answer = std::function<void(HWND box, const std::string& caption)>;
  explicit BoxWatcher(Answer answer) : answer_(std::move(answer)) {
    thread_ = std::thread([this] {
      while (!stop_) {
        EnumWindows(&BoxWatcher::Visit, reinterpret_cast<LPARAM>(this));
        std::this_thread::sleep_for(20ms);
      }
    });
  }
  ~BoxWatcher() {
    stop_ = true;
    thread_.join();
  }
  std::vector<std::string> Seen() {
    std::lock_guard lock(m_);
    return seen_;
  }

 private:
  static BOOL CALLBACK Visit(HWND window, LPARAM self) {
    auto* w = reinterpret_cast<BoxWatcher*>(self);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[64] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (pid != GetCurrentProcessId() || std::string(cls) != "#32770" || !IsWindowVisible(window) ||
        w->answered_ == window)
      return TRUE;
    w->answered_ = window;
    const std::string caption = TextOf(window);
    {
      std::lock_guard lock(w->m_);
      w->seen_.push_back(caption);
    }
    w->answer_(window, caption);
    return TRUE;
  }

  Answer answer_;
  std::atomic<bool> stop_{false};
  HWND answered_ = nullptr;
  std::mutex m_;
  std::vector<std::string> seen_;
  std::thread thread_;
};

void Press(HWND box, int id) {
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

class NativeWindow : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("corvane-window-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(dir_);
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    ASSERT_TRUE(WriteWholeFile("Corvane.INI",
                               "[SETTINGS]\r\nPORTA=COM71\r\nPORTB=COM72\r\n"
                               "PORTO=COM73\r\nLOGFILE=Mine.LOG\r\n"));
  }
  void TearDown() override {
    // A window destroyed with the bridge leaves the end of its loop behind: the next case's
    // boxes would take it and close at once.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    std::filesystem::current_path(old_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  // Runs the message loop until cond holds or the deadline has passed.
  static bool PumpUntil(const std::function<bool()>& cond, std::chrono::milliseconds deadline) {
    const auto until = Clock::now() + deadline;
    while (!cond() && Clock::now() < until) {
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return cond();
  }
  static std::string Ini() { return ReadWholeFile("Corvane.INI").value_or(""); }

  std::filesystem::path dir_, old_;
};

TEST_F(NativeWindow, IsFoundByItsTitleWithItsDesignedSizeAndSystemMenu) {
  BoxWatcher watcher([](HWND box, const std::string&) { Press(box, IDOK); });
  Win32App app({});
  app.Start();
  HWND window = FindWindowA(nullptr, "Corvane");
  ASSERT_EQ(app.View().Window(), window);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(180, client.right);
  EXPECT_EQ(202, client.bottom);

  HMENU menu = GetSystemMenu(window, FALSE);
  std::vector<std::pair<UINT, std::string>> entries;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    char text[128] = {};
    GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
    entries.emplace_back(GetMenuItemID(menu, i), text);
  }
  char close[64] = {};
  GetMenuStringA(menu, SC_CLOSE, close, sizeof close, MF_BYCOMMAND);
  EXPECT_STREQ("&Quit\tAlt+F4", close);
  const std::vector<std::pair<UINT, std::string>> ours = {{0, ""},
                                                          {444, "COM Port A Settings"},
                                                          {445, "COM Port B Settings"},
                                                          {446, "COM Port Out Settings"},
                                                          {447, "Reset Sync FT2000"},
                                                          {0, ""},
                                                          {666, "&About..."}};
  ASSERT_GE(entries.size(), ours.size());
  EXPECT_EQ(ours, std::vector(entries.end() - ours.size(), entries.end()));
  // The missing ports' error, shown once under the program's title.
  EXPECT_TRUE(PumpUntil([&] { return !watcher.Seen().empty(); }, 5s));
  EXPECT_EQ(std::vector<std::string>{"Corvane"}, watcher.Seen());
  PumpUntil([] { return false; }, 200ms);
  Shoot(window, "window");

  // The lamp of the port whose client keys the transmitter is drawn red, and back after.
  const auto lamp_b = [&] {
    UpdateWindow(window);
    HDC dc = GetDC(window);
    const COLORREF centre = GetPixel(dc, 12, 40);
    ReleaseDC(window, dc);
    return centre;
  };
  app.View().SetLedOn(TCorvaneView::Led::LEDPortB, true);
  app.View().ShowTransmitter(TCorvaneView::Led::LEDPortB, "Port B");
  EXPECT_EQ(RGB(255, 0, 0), lamp_b());
  PumpUntil([] { return false; }, 200ms);
  Shoot(window, "keyed");
  app.View().ShowTransmitter(std::nullopt, "");
  EXPECT_NE(RGB(255, 0, 0), lamp_b());
}

TEST_F(NativeWindow, SystemCommandsResetAndShowTheAboutBoxAndClosingWritesBack) {
  BoxWatcher watcher([](HWND box, const std::string& caption) {
    if (caption == "OmniRig to FT2K CAT Bridge") Shoot(box, "about");
    Press(box, IDOK);
  });
  Win32App app({});
  app.Start();
  app.Form().TraceLog.SetLevel(2);
  HWND window = app.View().Window();
  SendMessageA(window, WM_SYSCOMMAND, 447, 0);
  const std::string trace = ReadWholeFile("Corvane.Log").value_or("");
  EXPECT_NE(trace.find("<ResetButtonClick> Reset COM ports"), std::string::npos) << trace;

  // Returns once the watcher has closed the box.
  SendMessageA(window, WM_SYSCOMMAND, 666, 0);
  const std::vector<std::string> seen = watcher.Seen();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ("OmniRig to FT2K CAT Bridge", seen.back());

  EXPECT_EQ(std::string::npos, Ini().find("TRACE=")) << Ini();
  PostMessageA(window, WM_CLOSE, 0, 0);
  app.RunLoop();
  EXPECT_TRUE(app.Finished());
  EXPECT_EQ(nullptr, FindWindowA(nullptr, "Corvane"));
  EXPECT_NE(std::string::npos, Ini().find("TRACE=YES\r\n")) << Ini();
  EXPECT_NE(std::string::npos, Ini().find("LOGFILE=Mine.LOG\r\n")) << Ini();
}

TEST_F(NativeWindow, TheTrayMenusSettingsDialogAppliesANewPortName) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                            REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegSetValueExA(key, "\\Device\\CorvaneWindowTest", 0, REG_SZ,
                 reinterpret_cast<const BYTE*>("COM77"), 6);
  BoxWatcher watcher([](HWND box, const std::string& caption) {
    if (caption != "Setup") return Press(box, IDOK);
    Shoot(box, "setup");
    HWND portBox = GetDlgItem(box, 1001);
    const LRESULT item = SendMessageA(portBox, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>("COM77"));
    SendMessageA(portBox, CB_SETCURSEL, item, 0);
    SendMessageA(box, WM_COMMAND, MAKEWPARAM(1001, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(portBox));
    Press(box, IDOK);
  });
  Win32App app({});
  app.Start();
  // The first entry of the tray menu, as the menu delivers it.
  PostMessageA(app.View().Window(), WM_COMMAND, kTrayFirstCommand, 0);
  EXPECT_TRUE(PumpUntil([] { return Ini().find("PORTA=COM77\r\n") != std::string::npos; }, 10s))
      << Ini();
  const std::vector<std::string> seen = watcher.Seen();
  EXPECT_NE(std::find(seen.begin(), seen.end(), "Setup"), seen.end());
  RegDeleteValueA(key, "\\Device\\CorvaneWindowTest");
  RegCloseKey(key);
}

TEST(AboutBox, ClosesByItselfWhenAskedTo) {
  const TCorvaneView::AboutTexts texts{"Title", "Product", "Copyright", "Programmer", "Site"};
  const auto start = Clock::now();
  ShowAboutBox(nullptr, texts, nullptr, 100);
  const auto shown = Clock::now() - start;
  EXPECT_GE(shown, 100ms) << "the box never showed";
  EXPECT_LT(shown, 5s);
}

}  // namespace
}  // namespace corvane
