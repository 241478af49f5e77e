#include "app/window/window_main.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/window/app_icon.h"
#include "app/window/window_app.h"

namespace corvane {
namespace {

// SIGINT and SIGTERM end the program as closing the window does; the handler only
// writes to a pipe that the Qt loop watches.
int g_quit_pipe[2] = {-1, -1};

void OnQuitSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t ignored = ::write(g_quit_pipe[1], &byte, 1);
}

// Whether Qt has anywhere to put a window: a display server, or a platform chosen by hand
// (offscreen, a framebuffer).
bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace

int RunWindow(int argc, char** argv, const std::vector<std::string>& args) {
  if (!HasDisplay()) {
    // Qt would abort with a page about platform plugins; say what to run instead.
    std::fputs("corvane: no display here for the window; run corvane --headless, or corvaned\n",
               stderr);
    return 1;
  }
  QApplication app(argc, argv);
  // The program ends when its window closes, not when the last of its boxes does.
  app.setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(AppIcon());
  std::signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<QSocketNotifier> quit_notifier;
  if (::pipe2(g_quit_pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    quit_notifier = std::make_unique<QSocketNotifier>(g_quit_pipe[0], QSocketNotifier::Read);
    QObject::connect(quit_notifier.get(), &QSocketNotifier::activated,
                     [] { QCoreApplication::quit(); });
    struct sigaction quit {};
    quit.sa_handler = OnQuitSignal;
    sigemptyset(&quit.sa_mask);
    sigaction(SIGINT, &quit, nullptr);
    sigaction(SIGTERM, &quit, nullptr);
  }

  WindowApp window(args);
  window.SetOnFinished([] { QCoreApplication::quit(); });
  window.Start();
  if (!window.Finished()) app.exec();
  window.Finish();
  return 0;
}

}  // namespace corvane
