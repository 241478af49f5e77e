#include "app/headless_main.h"

#include <cstdio>
#include <exception>

#include "app/corvane_form.h"
#include "app/error_display.h"
#include "app/headless_view.h"
#include "rt/console_text.h"
#include "rt/event_loop.h"
#include "rt/descriptor_watch.h"
#include "rt/main_thread.h"
#include "rt/stop_request.h"

namespace corvane {

int RunHeadless(const std::vector<std::string>& args, bool loop_delivery) {
  MainThread& main = MainThread::Instance();
  main.Attach();
  EventLoop loop;
  // Lines served from the loop (the TCP client lines) watch their descriptors here.
  if (EventLoop::WatchesDescriptors()) SetMainLoopWatcher(&loop);
  HeadlessView view(loop);
  TCorvaneForm form(view, args);
  form.LoopDelivery = loop_delivery;
  view.SetTick([&form] {
    if (form.hTimerEnabled) form.hTimerTimer(&form);
  });

  ErrorDisplay errors([&form](const std::string& message) {
    std::fprintf(stderr, "corvane: %s\n", message.c_str());
    form.TraceLog.WriteLine(1, message);
  });
  main.SetExceptionHandler([&errors](std::exception_ptr e) { errors.Report(e); });
  form.OnPortRecovered = [&errors](const std::string& line) { errors.Forget(line); };

  QuitLoopOnStopRequest(&loop);
  UseUtf8Console();

  try {
    form.FormCreate(&form);
  } catch (...) {
    main.HandleException(std::current_exception());
  }

  loop.Run();

  try {
    form.FormDestroy(&form);
  } catch (...) {
    main.HandleException(std::current_exception());
  }
  // The error display and the form end with this function, before the form's ports are
  // closed: what is raised from here on only goes to stderr.
  main.SetExceptionHandler([](std::exception_ptr e) {
    std::fprintf(stderr, "corvane: %s\n", MessageOf(e).c_str());
  });
  QuitLoopOnStopRequest(nullptr);
  return 0;
}

}  // namespace corvane
