#include "app/window/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "app/window/app_icon.h"
#include "app/window/command_menu.h"
#include "widgets/design_font.h"
#include "widgets/led1.h"

namespace corvane {
namespace {

constexpr QPoint kDesignPosition{1052, 155};
constexpr QSize kDesignSize{180, 202};

// What port A's and port B's lamps shade to from lime.
constexpr TColor kDesignColor2[] = {clLime, clYellow};

// The window's own margin, on the right as on the left of the lamps.
constexpr int kMargin = 8;

QFont BoldCaptionFont() {
  QFont font = DesignFont();
  font.setPixelSize(13);
  font.setBold(true);
  return font;
}

TLed* MakeLed(QWidget* parent, const char* name, int top, TColor color2) {
  auto* led = new TLed(parent);
  led->setObjectName(QString::fromLatin1(name));
  led->setGeometry(8, top, 9, 17);
  led->SetStyle(lsGradient2);
  led->SetColor1(clLime);
  led->SetColor2(color2);
  led->SetOffColor1(clBlack);
  led->SetOffColor2(clWhite);
  led->SetRadius(1);
  led->SetOn(false);
  led->SetDiagShining(false);
  led->SetClickAction(false);
  led->SetDblClickAction(false);
  return led;
}

// size empty: the label takes the size of its caption.
QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, QPoint at,
                  QSize size = {}) {
  auto* label = new QLabel(QString::fromLatin1(caption), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->move(at);
  if (size.isEmpty()) {
    label->adjustSize();
  } else {
    label->resize(size);
  }
  return label;
}

QLabel* MakeBoldLabel(QWidget* parent, const char* name, const char* caption, QPoint at) {
  auto* label = new QLabel(QString::fromLatin1(caption), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setFont(BoldCaptionFont());
  label->move(at);
  label->adjustSize();
  return label;
}

// The design place lies right of a 1024-pixel screen, and a window widened for a long
// port name may reach past the screen's edge; keep the window where it can be seen.
QPoint PlaceOnScreen(QPoint wanted, QSize size) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return wanted;
  QRect free = screen->availableGeometry();
  QRect window(wanted, size);
  if (window.right() > free.right()) window.moveRight(free.right());
  if (window.bottom() > free.bottom()) window.moveBottom(free.bottom());
  if (window.left() < free.left()) window.moveLeft(free.left());
  if (window.top() < free.top()) window.moveTop(free.top());
  return window.topLeft();
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("CorvaneForm"));
  setWindowTitle(QStringLiteral("Corvane"));
  setWindowIcon(AppIcon());
  setFont(DesignFont());
  setFixedSize(kDesignSize);
  move(PlaceOnScreen(kDesignPosition, kDesignSize));

  LEDPortA = MakeLed(this, "LEDPortA", 8, kDesignColor2[0]);
  Label2 = MakeBoldLabel(this, "Label2", "Port (A)", {24, 8});
  COMPortLabel = MakeLabel(this, "COMPortLabel", "---", {104, 8}, {49, 13});
  LEDPortB = MakeLed(this, "LEDPortB", 32, kDesignColor2[1]);
  Label3 = MakeBoldLabel(this, "Label3", "Port (B)", {24, 32});
  RigNameLabel = MakeLabel(this, "RigNameLabel", "---", {104, 32}, {57, 13});
  LEDOut = MakeLed(this, "LEDOut", 56, clYellow);
  Label4 = MakeBoldLabel(this, "Label4", "Out", {24, 56});
  RigFreqLabel = MakeLabel(this, "RigFreqLabel", "---", {104, 56}, {57, 13});

  ResetButton = new QPushButton(QStringLiteral("Reset"), this);
  ResetButton->setObjectName(QStringLiteral("ResetButton"));
  ResetButton->setGeometry(40, 80, 89, 25);
  connect(ResetButton, &QPushButton::clicked, this, [this] {
    if (OnResetClick_) OnResetClick_();
  });

  QueueRead = MakeLabel(this, "QueueRead", "QueueRead", {8, 112});
  Label5 = MakeLabel(this, "Label5", "<->", {72, 112});
  QueueWrite = MakeLabel(this, "QueueWrite", "QueueWrite", {96, 112});

  commandMenu_ = new QMenu(this);
  commandMenu_->setObjectName(QStringLiteral("CommandMenu"));
  AddStandardCommands(*commandMenu_);
  connect(commandMenu_, &QMenu::triggered, this,
          [this](QAction* action) { SysCommand(CommandIdOf(action)); });
}

MainWindow::~MainWindow() = default;

QLabel* MainWindow::LabelOf(TCorvaneView::Label label) const {
  switch (label) {
    case TCorvaneView::Label::COMPortLabel:
      return COMPortLabel;
    case TCorvaneView::Label::RigNameLabel:
      return RigNameLabel;
    case TCorvaneView::Label::RigFreqLabel:
      return RigFreqLabel;
    case TCorvaneView::Label::QueueRead:
      return QueueRead;
    case TCorvaneView::Label::QueueWrite:
      return QueueWrite;
  }
  return nullptr;
}

TLed* MainWindow::LedOf(TCorvaneView::Led led) const {
  switch (led) {
    case TCorvaneView::Led::LEDPortA:
      return LEDPortA;
    case TCorvaneView::Led::LEDPortB:
      return LEDPortB;
    case TCorvaneView::Led::LEDOut:
      return LEDOut;
  }
  return nullptr;
}

void MainWindow::SetCaption(TCorvaneView::Label label, const QString& caption) {
  QLabel* target = LabelOf(label);
  if (target == nullptr) return;
  target->setText(caption);
  // A port path is longer than the design's "COM11"; it must not be cut off.
  target->adjustSize();
  FitWidth();
}

void MainWindow::SetHint(TCorvaneView::Label label, const QString& hint) {
  if (QLabel* target = LabelOf(label)) target->setToolTip(hint);
}

void MainWindow::ShowKeying(TLed* lamp, const QString& who) {
  TLed* const ports[] = {LEDPortA, LEDPortB};
  for (int i = 0; i < 2; ++i) {
    TLed* led = ports[i];
    const bool keyed = led == lamp;
    led->SetColor1(keyed ? kKeyedLampColor : clLime);
    led->SetColor2(keyed ? kKeyedLampColor : kDesignColor2[i]);
    led->setToolTip(keyed ? QStringLiteral("Transmitter keyed by ") + who : QString());
  }
}

void MainWindow::FitWidth() {
  // Names are read whole: the window widens for the longest caption and narrows back to
  // its design width when no caption needs more.
  int width = kDesignSize.width();
  for (const QLabel* label : {Label2, COMPortLabel, Label3, RigNameLabel, Label4, RigFreqLabel,
                              QueueRead, Label5, QueueWrite})
    width = std::max(width, label->geometry().right() + 1 + kMargin);
  if (width == this->width()) return;
  setFixedSize(width, kDesignSize.height());
  move(PlaceOnScreen(pos(), size()));
}

void MainWindow::SysCommand(uint32_t id) {
  if (id == kScMinimize) showMinimized();
  if (id == kScClose) close();
  if (OnSysCommand_) OnSysCommand_(id);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  commandMenu_->popup(event->globalPos());
  event->accept();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  if (OnClose_) OnClose_();
}

}  // namespace corvane
