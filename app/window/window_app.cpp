#include "app/window/window_app.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <cstdio>

#include "app/window/guarded_call.h"
#include "rt/main_thread.h"

namespace corvane {

WindowApp::WindowApp(std::vector<std::string> args)
    : form_(view_, std::move(args)),
      errors_([this](const std::string& message) { ShowError(message); }) {
  MainThread& main = MainThread::Instance();
  main.Attach();
  SetMainLoopWatcher(&fd_watcher_);
  // Port events queue their calls from the event threads; the Qt loop serves them.
  main.SetWakeHook([] {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] { RunGuarded([] { MainThread::Instance().ServePending(); }); }, Qt::QueuedConnection);
  });
  main.SetExceptionHandler([this](std::exception_ptr e) { errors_.Report(e); });
  form_.OnPortRecovered = [this](const std::string& line) { errors_.Forget(line); };

  view_.SetTrace([this](const std::string& line) { form_.TraceLog.WriteLine(1, line); });
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
  view_.Window().SetOnClose([this] { Finish(); });

  view_.SetApplicationTitle("Bridge between CW-Skimmer and Yaesu FT2000 CAT");
}

WindowApp::~WindowApp() {
  Finish();
  view_.Timer().stop();
  MainThread& main = MainThread::Instance();
  main.SetWakeHook(nullptr);
  SetMainLoopWatcher(nullptr);
  main.SetExceptionHandler(
      [](std::exception_ptr e) { std::fprintf(stderr, "corvane: %s\n", MessageOf(e).c_str()); });
}

void WindowApp::Start() {
  RunGuarded([this] { form_.FormCreate(&form_); });
  // The window is visible by design, so a start-up that stopped half-way still shows it.
  view_.ShowWindow();
}

void WindowApp::Finish() {
  if (finished_) return;
  finished_ = true;
  view_.Timer().stop();
  RunGuarded([this] { form_.FormDestroy(&form_); });
  if (OnFinished_) OnFinished_();
}

void WindowApp::ShowError(const std::string& message) {
  form_.TraceLog.WriteLine(1, message);
  QWidget* parent = &view_.Window();
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(view_.ApplicationTitle()),
                  QString::fromStdString(message), QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace corvane
