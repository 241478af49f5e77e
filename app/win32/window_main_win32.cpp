#include "app/win32/win32_app.h"
#include "app/window/window_main.h"

namespace corvane {

int RunWindow(int /*argc*/, char** /*argv*/, const std::vector<std::string>& args) {
  Win32App app(args);
  app.Start();
  app.RunLoop();
  app.Finish();
  return 0;
}

}  // namespace corvane
