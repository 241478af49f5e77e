#pragma once
// The bridge's window: three port lamps with their names, the Reset button and the ring's
// read and write positions, at their design places. Its context menu is the command menu.
// The controls carry their design names as object names.
#include <QWidget>
#include <cstdint>
#include <functional>

#include "app/corvane_view.h"

class QLabel;
class QMenu;
class QPushButton;
class TLed;

namespace corvane {

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  TLed* LEDPortA;
  QLabel* Label2;
  QLabel* COMPortLabel;
  TLed* LEDPortB;
  QLabel* Label3;
  QLabel* RigNameLabel;
  TLed* LEDOut;
  QLabel* Label4;
  QLabel* RigFreqLabel;
  QPushButton* ResetButton;
  QLabel* QueueRead;
  QLabel* Label5;
  QLabel* QueueWrite;

  QLabel* LabelOf(TCorvaneView::Label label) const;
  TLed* LedOf(TCorvaneView::Led led) const;
  // Sets a caption; the label grows or shrinks with its text, and the window widens as far
  // as a caption needs (never narrower than its design width).
  void SetCaption(TCorvaneView::Label label, const QString& caption);
  void SetHint(TCorvaneView::Label label, const QString& hint);
  // The lamp of the port whose client keys the transmitter turns red and names that client
  // in its hint; every other lamp shows its design colours (all of them for null).
  void ShowKeying(TLed* lamp, const QString& who);

  QMenu& CommandMenu() const { return *commandMenu_; }

  // Carries out a command of the command menu: the window's own commands (minimise,
  // close) first, then the program's through OnSysCommand, which sees every id.
  void SysCommand(uint32_t id);

  const std::function<void(uint32_t)>& OnSysCommand() const { return OnSysCommand_; }
  void SetOnSysCommand(std::function<void(uint32_t)> Value) { OnSysCommand_ = std::move(Value); }
  const std::function<void()>& OnResetClick() const { return OnResetClick_; }
  void SetOnResetClick(std::function<void()> Value) { OnResetClick_ = std::move(Value); }
  // Called once the window has been closed, by any path.
  const std::function<void()>& OnClose() const { return OnClose_; }
  void SetOnClose(std::function<void()> Value) { OnClose_ = std::move(Value); }

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FitWidth();

  QMenu* commandMenu_;
  std::function<void(uint32_t)> OnSysCommand_;
  std::function<void()> OnResetClick_;
  std::function<void()> OnClose_;
};

}  // namespace corvane
