#pragma once
// The about dialog's texts and icon, and the modal showing of a fresh about box built from
// them. With Timer set, the box closes by itself AutoCloseInterval() after it is shown
// (15000 ms unless changed); the timer lives only while its box does.
#include <QIcon>
#include <chrono>
#include <memory>
#include <string>

#include "rt/tobject.h"

class QTimer;
class TAboutBox;

class TAboutDlg : public TObject {
 public:
  TAboutDlg();
  ~TAboutDlg() override;
  TAboutDlg(const TAboutDlg&) = delete;
  TAboutDlg& operator=(const TAboutDlg&) = delete;

  const std::string& Title() const { return Title_; }
  void SetTitle(const std::string& Value) { Title_ = Value; }
  const std::string& ProductName() const { return ProductName_; }
  void SetProductName(const std::string& Value) { ProductName_ = Value; }
  const std::string& CopyRight() const { return CopyRight_; }
  void SetCopyRight(const std::string& Value) { CopyRight_ = Value; }
  const std::string& Programmer() const { return Programmer_; }
  void SetProgrammer(const std::string& Value) { Programmer_ = Value; }
  const std::string& WebSite() const { return WebSite_; }
  void SetWebSite(const std::string& Value) { WebSite_ = Value; }
  // The dialog keeps its own copy; the caller's icon may change or go afterwards.
  const QIcon& Icon() const { return Icon_; }
  void SetIcon(const QIcon& Value);
  bool Timer() const { return Timer_; }
  void SetTimer(bool Value) { Timer_ = Value; }

  std::chrono::milliseconds AutoCloseInterval() const { return AutoCloseInterval_; }
  void SetAutoCloseInterval(std::chrono::milliseconds Value) { AutoCloseInterval_ = Value; }

  // A new box filled from the current properties, not yet shown.
  std::unique_ptr<TAboutBox> CreateBox() const;

  // Shows a fresh box modally and returns when it has closed. While a box is already being
  // shown, that one is brought to the front instead of stacking a second.
  void ShowAbout();

  // True while an auto-close timer waits for the box on screen.
  bool AutoClosePending() const;

 private:
  void AutoClose();

  std::string Title_;
  std::string ProductName_;
  std::string CopyRight_;
  std::string Programmer_;
  std::string WebSite_;
  QIcon Icon_;
  bool Timer_ = false;
  std::chrono::milliseconds AutoCloseInterval_{15000};

  TAboutBox* box_ = nullptr;
  std::unique_ptr<QTimer> timer_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
