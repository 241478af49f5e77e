#include "cport_ui/cport_ctl.h"

#include <exception>

#include "rt/main_thread.h"

// Item texts are 8-bit strings; Latin-1 carries every byte through Qt unchanged.
class TComComboBox::ItemList : public TComItems {
 public:
  explicit ItemList(QComboBox& box) : box_(box) {}

  void Clear() override { box_.clear(); }
  void Add(const std::string& Text) override {
    box_.addItem(QString::fromLatin1(Text.data(), static_cast<qsizetype>(Text.size())));
  }
  int Count() const override { return box_.count(); }
  std::string Item(int Index) const override {
    return box_.itemText(Index).toLatin1().toStdString();
  }

 private:
  QComboBox& box_;
};

TComComboBox::TComComboBox(QWidget* Parent)
    : QComboBox(Parent),
      FItemList(std::make_unique<ItemList>(*this)),
      FComSelect(std::make_unique<TComSelect>()) {
  FComSelect->SetItems(FItemList.get());
  setEditable(false);
  // activated comes only from the user's pick, never from setCurrentIndex.
  connect(this, &QComboBox::activated, this, [this](int) { Change(); });
}

TComComboBox::~TComComboBox() = default;

void TComComboBox::SetComPort(TCustomComPort* Value) {
  if (Value == FComSelect->ComPort()) return;
  FComSelect->SetComPort(Value);
  FBoundComponent = Value;
  if (Value == nullptr) {
    FPortWatch.Reset();
    return;
  }
  FPortWatch.Watch(*Value, [this](TComponent* destroyed) { Notification(destroyed, opRemove); });
  ReadFromPort();
}

void TComComboBox::SetComProperty(TComProperty Value) {
  FComSelect->SetComProperty(Value);
  if (count() == 0) return;
  if (FComSelect->ComPort() == nullptr)
    setCurrentIndex(0);
  else
    ReadFromPort();
}

std::string TComComboBox::Text() const {
  return currentIndex() < 0 ? std::string() : FItemList->Item(currentIndex());
}

void TComComboBox::SetText(const std::string& Value) {
  const int index = corvane::FindItem(*FItemList, Value);
  if (index >= 0) setCurrentIndex(index);
}

void TComComboBox::ReadFromPort() {
  int index = currentIndex();
  FComSelect->ReadFromPort(index);
  setCurrentIndex(index);
}

void TComComboBox::Change() {
  // An error must not unwind through Qt's signal delivery; it goes to the application's
  // handler, as an error in any other user action does.
  try {
    FComSelect->TakeText(Text());
    if (FOnChange) FOnChange(this);
  } catch (...) {
    corvane::MainThread::Instance().HandleException(std::current_exception());
  }
}

void TComComboBox::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation != opRemove || AComponent == nullptr) return;
  if (AComponent != FBoundComponent) return;
  FComSelect->SetComPort(nullptr);
  FBoundComponent = nullptr;
  FPortWatch.Reset();
  if (count() > 0) setCurrentIndex(0);
}
