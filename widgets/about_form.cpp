#include "widgets/about_form.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "widgets/design_font.h"

namespace {

constexpr int kTextLeft = 64;
// Wrapping labels keep their width and grow downwards, inside the outer panel.
constexpr int kWrapWidth = 281 - kTextLeft - 8;

QLabel* MakeLabel(QWidget* parent, int top, const char* caption, bool wordWrap) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(wordWrap);
  label->move(kTextLeft, top);
  if (wordWrap) label->setFixedWidth(kWrapWidth);
  TAboutBox::SetCaption(label, QString::fromLatin1(caption));
  return label;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle("About");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFont(corvane::DesignFont());
  setFixedSize(296, 182);

  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setGeometry(8, 8, 281, 137);
  // Lowered outside, raised inside: an etched frame.
  Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
  Panel1->setLineWidth(1);

  Panel2 = new QFrame(Panel1);
  Panel2->setObjectName("Panel2");
  Panel2->setGeometry(8, 8, 50, 50);
  Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel2->setLineWidth(1);

  Image1 = new QLabel(Panel2);
  Image1->setObjectName("Image1");
  Image1->setGeometry(1, 1, 48, 48);
  Image1->setAlignment(Qt::AlignCenter);

  ProductName = MakeLabel(Panel1, 8, "Product Name", false);
  ProductName->setObjectName("ProductName");
  Copyright = MakeLabel(Panel1, 40, "Copyright", false);
  Copyright->setObjectName("Copyright");
  Programmer = MakeLabel(Panel1, 72, "Programmer:", true);
  Programmer->setObjectName("Programmer");
  Website = MakeLabel(Panel1, 104, "WebSite:", true);
  Website->setObjectName("Website");

  OKButton = new QPushButton("OK", this);
  OKButton->setObjectName("OKButton");
  OKButton->setGeometry(111, 152, 75, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &TAboutBox::OKButtonClick);
}

void TAboutBox::OKButtonClick() {
  done(QDialog::Accepted);
}

void TAboutBox::SetCaption(QLabel* label, const QString& text) {
  label->setText(text);
  if (label->wordWrap()) {
    label->setFixedHeight(label->heightForWidth(label->width()));
  } else {
    label->adjustSize();
  }
}
