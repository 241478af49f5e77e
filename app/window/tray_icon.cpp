#include "app/window/tray_icon.h"

#include <QCursor>
#include <QMenu>
#include <QWidget>

namespace corvane {

TrayIcon::TrayIcon(QWidget& window) : window_(window) {}

TrayIcon::~TrayIcon() {
  Remove();
}

void TrayIcon::BuildMenu(const std::vector<Entry>& entries) {
  menu_ = std::make_unique<QMenu>();
  menu_->setObjectName(QStringLiteral("TrayMenu"));
  for (const Entry& entry : entries) {
    QAction* action = menu_->addAction(entry.text);
    QObject::connect(action, &QAction::triggered, menu_.get(),
                     [action = entry.action] { action(); });
  }
}

bool TrayIcon::Add(const QIcon& icon, const QString& tip) {
  icon_ = std::make_unique<QSystemTrayIcon>(icon);
  icon_->setToolTip(tip);
  QObject::connect(icon_.get(), &QSystemTrayIcon::activated, icon_.get(),
                   [this](QSystemTrayIcon::ActivationReason reason) { Activated(reason); });
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
  icon_->show();
  return true;
}

void TrayIcon::Remove() {
  if (!icon_) return;
  icon_->hide();
  icon_.reset();
}

bool TrayIcon::Shown() const {
  return icon_ != nullptr && icon_->isVisible();
}

QString TrayIcon::Tip() const {
  return icon_ ? icon_->toolTip() : QString();
}

void TrayIcon::Activated(QSystemTrayIcon::ActivationReason reason) {
  if (reason != QSystemTrayIcon::Context) return;
  QPoint at = QCursor::pos();
  if (window_.isMinimized()) window_.showNormal();
  window_.raise();
  window_.activateWindow();
  if (menu_) menu_->popup(at);
}

}  // namespace corvane
