#pragma once
// A pick-only drop-down list bound to one property of one port. It shows the port's value
// when bound or asked to read it again, keeps the user's pick as a pending value, and
// writes it to the port at once (AutoApply) or on ApplyToPort. Only a pick by the user
// raises OnChange; selecting from code never does. When the bound port is destroyed the
// box unbinds itself and selects its first item.
#include <QComboBox>
#include <memory>
#include <string>

#include "cport/component.h"
#include "cport_ui/com_select.h"
#include "cport_ui/destroy_watch.h"
#include "rt/tobject.h"

enum TOperation : uint8_t { opInsert, opRemove };

class TComComboBox : public QComboBox, public TObject {
  Q_OBJECT

 public:
  explicit TComComboBox(QWidget* Parent = nullptr);
  ~TComComboBox() override;

  TCustomComPort* ComPort() const { return FComSelect->ComPort(); }
  // Binding reads the port's value; unbinding (nullptr) keeps items and selection.
  void SetComPort(TCustomComPort* Value);
  TComProperty ComProperty() const { return FComSelect->ComProperty(); }
  // Rebuilds the items and selects the port's value, or the first item when unbound.
  void SetComProperty(TComProperty Value);
  bool AutoApply() const { return FComSelect->AutoApply(); }
  void SetAutoApply(bool Value) { FComSelect->SetAutoApply(Value); }
  // The selected item's text; empty with no selection.
  std::string Text() const;
  // Selects the first item equal to Value regardless of letter case; an unknown text
  // leaves the selection.
  void SetText(const std::string& Value);
  int ItemIndex() const { return currentIndex(); }
  void SetItemIndex(int Value) { setCurrentIndex(Value); }

  // Sender is the box.
  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }

  void ApplyToPort() { FComSelect->ApplyToPort(); }
  // Selects the item of the port's current value (none when it has no item).
  void ReadFromPort();

  // The pending values.
  const TComSelect& ComSelect() const { return *FComSelect; }

 protected:
  // The user picked an item.
  virtual void Change();
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 private:
  class ItemList;

  std::unique_ptr<ItemList> FItemList;
  std::unique_ptr<TComSelect> FComSelect;
  // The bound port as a component, taken while it was alive: the removal notice comes
  // after the port's own destructor has run.
  TComponent* FBoundComponent = nullptr;
  corvane::DestroyWatch FPortWatch;
  TNotifyEvent FOnChange;
};
