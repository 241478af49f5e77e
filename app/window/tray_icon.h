#pragma once
// The tray icon and its menu. The record (icon and tip) is kept whether or not the desktop
// has a tray to show it in, so the program behaves the same with and without one.
#include <QIcon>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <vector>

class QMenu;
class QWidget;

namespace corvane {

class TrayIcon {
 public:
  struct Entry {
    QString text;
    std::function<void()> action;
  };

  explicit TrayIcon(QWidget& window);
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  void BuildMenu(const std::vector<Entry>& entries);
  // Null until BuildMenu.
  QMenu* Menu() const { return menu_.get(); }

  // Adds the icon; false when there is no system tray, in which case nothing is shown.
  bool Add(const QIcon& icon, const QString& tip);
  // Removing an icon that is not there does nothing.
  void Remove();
  bool Added() const { return icon_ != nullptr; }
  bool Shown() const;
  QString Tip() const;

  // The icon's mouse callback: a right click brings the window back from the minimised
  // state and opens the menu at the cursor; anything else is ignored.
  void Activated(QSystemTrayIcon::ActivationReason reason);

 private:
  QWidget& window_;
  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<QSystemTrayIcon> icon_;
};

}  // namespace corvane
