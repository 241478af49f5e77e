#include "app/window/guarded_call.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include "rt/main_thread.h"

namespace corvane {

void RunGuarded(const std::function<void()>& fn) {
  if (!fn) return;
  try {
    fn();
  } catch (...) {
    MainThread::Instance().HandleException(std::current_exception());
  }
}

void RunGuardedReportLater(const std::function<void()>& fn, const QTimer& tick) {
  if (!fn) return;
  try {
    fn();
  } catch (...) {
    QPointer<const QTimer> timer(&tick);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [error = std::current_exception(), timer] {
          if (timer && timer->isActive()) MainThread::Instance().HandleException(error);
        },
        Qt::QueuedConnection);
  }
}

}  // namespace corvane
