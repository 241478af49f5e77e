#include "app/win32/win32_app.h"

#include <cstdio>

#include "rt/main_thread.h"

namespace corvane {

Win32App::Win32App(std::vector<std::string> args)
    : form_(view_, std::move(args)), errors_([this](const std::string& message) {
        form_.TraceLog.WriteLine(1, message);
        ::MessageBoxA(view_.Window(), message.c_str(), view_.ApplicationTitle().c_str(),
                      MB_OK | MB_ICONERROR);
      }) {
  MainThread& main = MainThread::Instance();
  main.Attach();
  // Port events queue their calls from the event threads; a message posted to the window
  // has them served, also while a box or a menu runs a loop of its own.
  HWND window = view_.Window();
  main.SetWakeHook([window] { PostMessageA(window, kServeMessage, 0, 0); });
  main.SetExceptionHandler([this](std::exception_ptr e) { errors_.Report(MessageOf(e)); });
  form_.OnPortRecovered = [this](const std::string& line) { errors_.Forget(line); };

  view_.SetTrace([this](const std::string& line) { form_.TraceLog.WriteLine(1, line); });
  view_.SetOnDestroy([this] { Finish(); });
  view_.SetCommands({
      [this](uint32_t id) { form_.WMSysCommand(id); },
      [this] { form_.ResetButtonClick(&form_); },
      [this] { form_.ComSettingsButtonClickA(&form_); },
      [this] { form_.ComSettingsButtonClickB(&form_); },
      [this] { form_.ComSettingsButtonClickOUT(&form_); },
      [this] { form_.AboutMenuClick(&form_); },
      [this] { form_.ExitMenuClick(&form_); },
      [this] {
        if (form_.hTimerEnabled) form_.hTimerTimer(&form_);
      },
  });
  view_.SetApplicationTitle("Bridge between CW-Skimmer and Yaesu FT2000 CAT");
}

Win32App::~Win32App() {
  Finish();
  MainThread& main = MainThread::Instance();
  main.SetWakeHook(nullptr);
  main.SetExceptionHandler(
      [](std::exception_ptr e) { std::fprintf(stderr, "corvane: %s\n", MessageOf(e).c_str()); });
}

void Win32App::Guarded(const std::function<void()>& fn) {
  try {
    fn();
  } catch (...) {
    MainThread::Instance().HandleException(std::current_exception());
  }
}

void Win32App::Start() {
  Guarded([this] { form_.FormCreate(&form_); });
  // The window is visible by design, so a start-up that stopped half-way still shows it.
  view_.ShowWindow();
}

void Win32App::RunLoop() {
  MSG msg;
  while (!finished_ && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void Win32App::Finish() {
  if (finished_) return;
  finished_ = true;
  view_.SetTimerEnabled(false);
  Guarded([this] { form_.FormDestroy(&form_); });
}

}  // namespace corvane
