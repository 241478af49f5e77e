#include "app/window/qt_view.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

#include "app/window/app_icon.h"
#include "app/window/command_menu.h"
#include "app/window/guarded_call.h"
#include "cport_ui/cport_setup.h"
#include "rt/main_thread.h"
#include "widgets/about_dlg.h"
#include "widgets/led1.h"

namespace corvane {

QtView::QtView() : tray_(window_) {
  timer_.setInterval(kWatchdogInterval);
  QObject::connect(&timer_, &QTimer::timeout, &window_, [this] { RunGuardedReportLater(commands_.Timer, timer_); });
  window_.SetOnResetClick(Guarded(&WindowCommands::Reset));
  window_.SetOnSysCommand([this](uint32_t id) {
    RunGuarded([&] {
      if (commands_.SysCommand) commands_.SysCommand(id);
    });
  });
}

QtView::~QtView() {
  timer_.stop();
}

void QtView::SetCommands(WindowCommands commands) {
  commands_ = std::move(commands);
}

// The command is looked up when it runs, so commands set later still apply.
std::function<void()> QtView::Guarded(std::function<void()> WindowCommands::*command) {
  return [this, command] { RunGuarded(commands_.*command); };
}

void QtView::SetLabelCaption(Label label, const std::string& caption) {
  window_.SetCaption(label, QString::fromStdString(caption));
}

void QtView::SetLabelHint(Label label, const std::string& hint) {
  window_.SetHint(label, QString::fromStdString(hint));
}

void QtView::SetLedOn(Led led, bool on) {
  if (TLed* lamp = window_.LedOf(led)) lamp->SetOn(on);
}

void QtView::ShowTransmitter(std::optional<Led> led, const std::string& who) {
  window_.ShowKeying(led ? window_.LedOf(*led) : nullptr, QString::fromStdString(who));
}

int QtView::MessageBox(const std::string& text, const std::string& caption, Buttons buttons) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::NoButton, &window_);
  QPushButton* ok = box.addButton(QMessageBox::Ok);
  if (buttons == Buttons::OKCancel) box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(ok);
  box.exec();
  return box.clickedButton() == ok ? idOK : idCancel;
}

void QtView::SetApplicationTitle(const std::string& title) {
  title_ = title;
  QCoreApplication::setApplicationName(QString::fromStdString(title));
}

void QtView::BuildSystemMenu() {
  ExtendCommandMenu(window_.CommandMenu());
}

void QtView::BuildTrayMenu() {
  tray_.BuildMenu({
      {QStringLiteral("PORTA Settings"), Guarded(&WindowCommands::SettingsA)},
      {QStringLiteral("PORTB Settings"), Guarded(&WindowCommands::SettingsB)},
      {QStringLiteral("OUT Settings"), Guarded(&WindowCommands::SettingsOut)},
      {QStringLiteral("Reset Sync"), Guarded(&WindowCommands::Reset)},
      {QStringLiteral("About"), Guarded(&WindowCommands::About)},
      {QStringLiteral("Exit"), Guarded(&WindowCommands::Exit)},
  });
}

void QtView::AddTrayIcon(const std::string& tip) {
  if (!tray_.Add(AppIcon(), QString::fromStdString(tip)) && trace_) {
    trace_("<AddTrayIcon> no system tray on this desktop, the icon is not shown");
  }
}

void QtView::RemoveTrayIcon() {
  tray_.Remove();
}

void QtView::PrepareAboutDialog(const AboutTexts& texts) {
  about_ = std::make_unique<TAboutDlg>();
  about_->SetTitle(texts.Title);
  about_->SetProductName(texts.ProductName);
  about_->SetCopyRight(texts.CopyRight);
  about_->SetProgrammer(texts.Programmer);
  about_->SetWebSite(texts.WebSite);
  // A missing icon leaves the about box without a picture, nothing more.
  try {
    about_->SetIcon(AppIcon());
  } catch (...) {
  }
}

void QtView::ShowAbout() {
  // Before start-up has prepared the box there is nothing to show.
  if (about_) about_->ShowAbout();
}

void QtView::ShowSettingsDialog(TComPort& port) {
  ::ShowSettingsDialog(port);
}

void QtView::ShowWindow() {
  window_.show();
}

void QtView::SetTimerEnabled(bool enabled) {
  if (enabled) {
    timer_.start();
  } else {
    timer_.stop();
  }
}

void QtView::ProcessMessages() {
  QCoreApplication::processEvents();
  MainThread::Instance().ServePending();
}

void QtView::CloseWindow() {
  window_.close();
}

}  // namespace corvane
