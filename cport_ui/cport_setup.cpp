#include "cport_ui/cport_setup.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <array>
#include <memory>

namespace {

TComComboBox* MakeBox(QWidget* parent, const char* name, int top, TComProperty property) {
  auto* box = new TComComboBox(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setGeometry(80, top, 129, 21);
  box->SetComProperty(property);
  return box;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, int top, int width) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(8, top, width, 13);
  return label;
}

}  // namespace

TComSetupFrm::TComSetupFrm(QWidget* Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("ComSetupFrm"));
  setWindowTitle(QStringLiteral("Setup"));
  setFixedSize(231, 216);

  GroupBox1 = new QGroupBox(QStringLiteral(" Settings "), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(8, 8, 217, 169);
  Label1 = MakeLabel(GroupBox1, "Label1", "Port", 24, 19);
  Label2 = MakeLabel(GroupBox1, "Label2", "Baud rate", 48, 46);
  Label3 = MakeLabel(GroupBox1, "Label3", "Data bits", 72, 42);
  Label4 = MakeLabel(GroupBox1, "Label4", "Stop bits", 96, 41);
  Label5 = MakeLabel(GroupBox1, "Label5", "Parity", 120, 26);
  Label6 = MakeLabel(GroupBox1, "Label6", "Flow control", 144, 57);
  Combo1 = MakeBox(GroupBox1, "Combo1", 16, cpPort);
  Combo2 = MakeBox(GroupBox1, "Combo2", 40, cpBaudRate);
  Combo3 = MakeBox(GroupBox1, "Combo3", 64, cpDataBits);
  Combo4 = MakeBox(GroupBox1, "Combo4", 88, cpStopBits);
  Combo5 = MakeBox(GroupBox1, "Combo5", 112, cpParity);
  Combo6 = MakeBox(GroupBox1, "Combo6", 136, cpFlowControl);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(70, 184, 75, 25);
  Button1->setDefault(true);
  Button2 = new QPushButton(QStringLiteral("Cancel"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setGeometry(150, 184, 75, 25);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

  const std::array<QWidget*, 8> tabOrder = {Combo1, Combo2, Combo3,  Combo4,
                                            Combo5, Combo6, Button1, Button2};
  for (size_t i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void ShowPortSettingsDialog(TCustomComPort& Port) {
  const auto form = std::make_unique<TComSetupFrm>();
  const std::array<TComComboBox*, 6> boxes = {form->Combo1, form->Combo2, form->Combo3,
                                              form->Combo4, form->Combo5, form->Combo6};
  for (TComComboBox* box : boxes) box->SetComPort(&Port);
  for (TComComboBox* box : boxes) box->ReadFromPort();

  if (form->exec() != QDialog::Accepted) return;

  Port.BeginSettingsUpdate();
  try {
    for (TComComboBox* box : boxes) {
      // A name that is not in the system's list shows no selection; OK keeps it rather
      // than renaming the port to nothing.
      if (box == form->Combo1 && box->ItemIndex() < 0) continue;
      box->ApplyToPort();
    }
  } catch (...) {
    // An open bracket would keep every later change of this port from its device. The
    // first error is the one the caller hears of.
    try {
      Port.EndSettingsUpdate();
    } catch (...) {
    }
    throw;
  }
  Port.EndSettingsUpdate();
}

void ShowSettingsDialog(TCustomComPort& Port) {
  ShowPortSettingsDialog(Port);
}
