#pragma once
// A small lamp made of nested rounded rings, shaded or alternating, with an on and an off
// colour pair. A click or double click can switch it when enabled; that handling replaces
// the click events, so OnClick and OnDblClick are kept but never called by the lamp.
//
// Setters of the drawing properties repaint at once, and only when the value changes.
#include <QWidget>

#include "rt/tobject.h"
#include "widgets/canvas.h"
#include "widgets/color.h"
#include "widgets/led_painter.h"

class TLed : public QWidget, public TObject {
  Q_OBJECT

 public:
  explicit TLed(QWidget* parent = nullptr);

  tLedStyle Style() const { return Style_; }
  void SetStyle(tLedStyle Value);
  TColor Color1() const { return Color1_; }
  void SetColor1(TColor Value);
  TColor Color2() const { return Color2_; }
  void SetColor2(TColor Value);
  TColor OffColor1() const { return OffColor1_; }
  void SetOffColor1(TColor Value);
  TColor OffColor2() const { return OffColor2_; }
  void SetOffColor2(TColor Value);
  std::uint8_t Radius() const { return Radius_; }
  void SetRadius(std::uint8_t Value);
  bool On() const { return On_; }
  void SetOn(bool Value);
  bool DiagShining() const { return DiagShining_; }
  void SetDiagShining(bool Value);
  bool ClickAction() const { return ClickAction_; }
  void SetClickAction(bool Value) { ClickAction_ = Value; }
  bool DblClickAction() const { return DblClickAction_; }
  void SetDblClickAction(bool Value) { DblClickAction_ = Value; }

  const TNotifyEvent& OnClick() const { return OnClick_; }
  void SetOnClick(TNotifyEvent Value) { OnClick_ = std::move(Value); }
  const TNotifyEvent& OnDblClick() const { return OnDblClick_; }
  void SetOnDblClick(TNotifyEvent Value) { OnDblClick_ = std::move(Value); }

  // Paints the lamp at its current size and state onto any canvas.
  void Paint(corvane::Canvas& canvas) const;

  // What a left click and a left double click do.
  void Click();
  void DblClick();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  template <typename T>
  void Change(T& field, T value);

  tLedStyle Style_ = lsGradient2;
  TColor Color1_ = clBlack;
  TColor Color2_ = clYellow;
  TColor OffColor1_ = clBlack;
  TColor OffColor2_ = clWhite;
  std::uint8_t Radius_ = 1;
  bool On_ = false;
  bool DiagShining_ = false;
  bool ClickAction_ = false;
  bool DblClickAction_ = false;
  TNotifyEvent OnClick_;
  TNotifyEvent OnDblClick_;
  bool pressed_ = false;
};
