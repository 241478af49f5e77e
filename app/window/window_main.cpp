#include "app/window/window_main.h"

#include <QApplication>
#include <csignal>

#include "app/window/app_icon.h"
#include "app/window/window_app.h"

namespace corvane {

int RunWindow(int argc, char** argv, const std::vector<std::string>& args) {
  QApplication app(argc, argv);
  // The program ends when its window closes, not when the last of its boxes does.
  app.setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(AppIcon());
  std::signal(SIGPIPE, SIG_IGN);

  WindowApp window(args);
  window.SetOnFinished([] { QCoreApplication::quit(); });
  window.Start();
  if (!window.Finished()) app.exec();
  window.Finish();
  return 0;
}

}  // namespace corvane
