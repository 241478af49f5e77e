#include "cport_ui/cport_setup.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "cport_ui/setup_apply.h"
#include "widgets/design_font.h"

namespace {

// The design's rows, in pixels of the design font: captions at 8 and boxes at 80 inside
// the group box, one row every 24 pixels from 16 down. Each caption stands level with the
// middle of its box.
constexpr std::array<int, 6> kBoxTops = {16, 40, 64, 88, 112, 136};
constexpr int kCaptionLeft = 8;
constexpr int kCaptionHeight = 13;
// "Flow control", the widest caption, fills this much of the room before the boxes.
constexpr int kCaptionRoom = 57;
constexpr int kBoxLeft = 80;
constexpr int kBoxWidth = 129;
constexpr int kBoxHeight = 21;
constexpr QSize kClientSize{231, 216};
constexpr QRect kGroupBox{8, 8, 217, 169};
constexpr QRect kOkButton{70, 184, 75, 25};
constexpr QRect kCancelButton{150, 184, 75, 25};

TComComboBox* MakeBox(QWidget* parent, const char* name, TComProperty property) {
  auto* box = new TComComboBox(parent);
  box->setObjectName(QString::fromLatin1(name));
  // The size hint then covers the longest item, which the layout makes room for.
  box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  box->SetComProperty(property);
  return box;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

}  // namespace

TComSetupFrm::TComSetupFrm(QWidget* Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("ComSetupFrm"));
  setWindowTitle(QStringLiteral("Setup"));
  setFont(corvane::DesignFont());

  GroupBox1 = new QGroupBox(QStringLiteral(" Settings "), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  Label1 = MakeLabel(GroupBox1, "Label1", "Port");
  Label2 = MakeLabel(GroupBox1, "Label2", "Baud rate");
  Label3 = MakeLabel(GroupBox1, "Label3", "Data bits");
  Label4 = MakeLabel(GroupBox1, "Label4", "Stop bits");
  Label5 = MakeLabel(GroupBox1, "Label5", "Parity");
  Label6 = MakeLabel(GroupBox1, "Label6", "Flow control");
  Combo1 = MakeBox(GroupBox1, "Combo1", cpPort);
  Combo2 = MakeBox(GroupBox1, "Combo2", cpBaudRate);
  Combo3 = MakeBox(GroupBox1, "Combo3", cpDataBits);
  Combo4 = MakeBox(GroupBox1, "Combo4", cpStopBits);
  Combo5 = MakeBox(GroupBox1, "Combo5", cpParity);
  Combo6 = MakeBox(GroupBox1, "Combo6", cpFlowControl);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);
  Button2 = new QPushButton(QStringLiteral("Cancel"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

  const std::array<QWidget*, 8> tabOrder = {Combo1, Combo2, Combo3,  Combo4,
                                            Combo5, Combo6, Button1, Button2};
  for (size_t i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
  FitToContents();
}

void TComSetupFrm::FitToContents() {
  const std::array<QLabel*, 6> labels = {Label1, Label2, Label3, Label4, Label5, Label6};
  const std::array<TComComboBox*, 6> boxes = {Combo1, Combo2, Combo3, Combo4, Combo5, Combo6};

  // The design grows as a whole, by one factor, until the widest caption fits before the
  // boxes and every control is as tall and the buttons as wide as their texts need.
  double scale = 1.0;
  auto atLeast = [&scale](int needed, int designed) {
    scale = std::max(scale, static_cast<double>(needed) / designed);
  };
  for (QLabel* label : labels) {
    atLeast(label->sizeHint().width(), kCaptionRoom);
    atLeast(label->sizeHint().height(), kCaptionHeight);
  }
  for (TComComboBox* box : boxes) atLeast(box->sizeHint().height(), kBoxHeight);
  for (QPushButton* button : {Button1, Button2}) {
    atLeast(button->sizeHint().width(), kOkButton.width());
    atLeast(button->sizeHint().height(), kOkButton.height());
  }
  auto scaled = [scale](int designed) { return static_cast<int>(std::ceil(designed * scale)); };

  // A port name can be far longer than any design text (a by-id link): the column of
  // boxes widens for the longest item, and the group box, the dialog and the buttons follow.
  int wider = 0;
  for (TComComboBox* box : boxes)
    wider = std::max(wider, box->sizeHint().width() - scaled(kBoxWidth));

  setFixedSize(scaled(kClientSize.width()) + wider, scaled(kClientSize.height()));
  GroupBox1->setGeometry(scaled(kGroupBox.x()), scaled(kGroupBox.y()),
                         scaled(kGroupBox.width()) + wider, scaled(kGroupBox.height()));
  for (size_t i = 0; i < kBoxTops.size(); ++i) {
    boxes[i]->setGeometry(scaled(kBoxLeft), scaled(kBoxTops[i]), scaled(kBoxWidth) + wider,
                          scaled(kBoxHeight));
    labels[i]->adjustSize();
    labels[i]->move(scaled(kCaptionLeft),
                    boxes[i]->geometry().center().y() - labels[i]->height() / 2);
  }
  Button1->setGeometry(scaled(kOkButton.x()) + wider, scaled(kOkButton.y()),
                       scaled(kOkButton.width()), scaled(kOkButton.height()));
  Button2->setGeometry(scaled(kCancelButton.x()) + wider, scaled(kCancelButton.y()),
                       scaled(kCancelButton.width()), scaled(kCancelButton.height()));
}

void ShowPortSettingsDialog(TCustomComPort& Port) {
  const auto form = std::make_unique<TComSetupFrm>();
  const std::array<TComComboBox*, 6> boxes = {form->Combo1, form->Combo2, form->Combo3,
                                              form->Combo4, form->Combo5, form->Combo6};
  for (TComComboBox* box : boxes) box->SetComPort(&Port);
  for (TComComboBox* box : boxes) box->ReadFromPort();
  form->FitToContents();

  if (form->exec() != QDialog::Accepted) return;
  std::array<std::function<void()>, 6> apply;
  for (size_t i = 0; i < boxes.size(); ++i) apply[i] = [box = boxes[i]] { box->ApplyToPort(); };
  corvane::ApplySetupChoices(Port, apply, form->Combo1->ItemIndex() >= 0);
}

void ShowSettingsDialog(TCustomComPort& Port) {
  ShowPortSettingsDialog(Port);
}
