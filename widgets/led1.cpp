#include "widgets/led1.h"

#include <QMouseEvent>
#include <QPainter>

#include "widgets/qt_canvas.h"

TLed::TLed(QWidget* parent) : QWidget(parent) {
  resize(10, 33);
}

template <typename T>
void TLed::Change(T& field, T value) {
  if (field == value) return;
  field = value;
  repaint();
}

void TLed::SetStyle(tLedStyle Value) {
  Change(Style_, Value);
}
void TLed::SetColor1(TColor Value) {
  Change(Color1_, Value);
}
void TLed::SetColor2(TColor Value) {
  Change(Color2_, Value);
}
void TLed::SetOffColor1(TColor Value) {
  Change(OffColor1_, Value);
}
void TLed::SetOffColor2(TColor Value) {
  Change(OffColor2_, Value);
}
void TLed::SetRadius(std::uint8_t Value) {
  Change(Radius_, Value);
}
void TLed::SetOn(bool Value) {
  Change(On_, Value);
}
void TLed::SetDiagShining(bool Value) {
  Change(DiagShining_, Value);
}

void TLed::Paint(corvane::Canvas& canvas) const {
  corvane::LedLook look;
  look.style = Style_;
  look.c1 = On_ ? Color1_ : OffColor1_;
  look.c2 = On_ ? Color2_ : OffColor2_;
  look.radius = Radius_;
  look.diagShining = DiagShining_;
  look.width = width();
  look.height = height();
  corvane::PaintLed(canvas, look);
}

void TLed::Click() {
  if (ClickAction_) SetOn(!On_);
}

void TLed::DblClick() {
  if (DblClickAction_) SetOn(!On_);
}

void TLed::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  corvane::QtCanvas canvas(painter);
  Paint(canvas);
}

void TLed::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressed_ = true;
}

// A click is a left press and release over the lamp; the release that ends a double click
// is not a second click.
void TLed::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !pressed_) return;
  pressed_ = false;
  if (rect().contains(event->position().toPoint())) Click();
}

void TLed::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) DblClick();
}
