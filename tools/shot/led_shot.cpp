#include <QGridLayout>
#include <QLabel>

#include "tools/shot/shot_table.h"
#include "widgets/led1.h"

namespace corvane::shot {
namespace {

struct LedSample {
  const char* caption;
  int width;
  int height;
  tLedStyle style;
  TColor color2;
  bool on;
  bool diagShining;
};

// The main window's three port LEDs off and on, then the styles at the default size.
constexpr LedSample kSamples[] = {
    {"A off", 9, 17, lsGradient2, clLime, false, false},
    {"B off", 9, 17, lsGradient2, clYellow, false, false},
    {"Out off", 9, 17, lsGradient2, clYellow, false, false},
    {"A on", 9, 17, lsGradient2, clLime, true, false},
    {"B on", 9, 17, lsGradient2, clYellow, true, false},
    {"Out on", 9, 17, lsGradient2, clYellow, true, false},
    {"Gradient1", 10, 33, lsGradient1, clYellow, true, false},
    {"Gradient2", 10, 33, lsGradient2, clYellow, true, false},
    {"Alternative", 10, 33, lsAlternative, clYellow, true, false},
    {"Diag", 10, 33, lsGradient2, clYellow, true, true},
};

}  // namespace

std::unique_ptr<QWidget> MakeLedGallery() {
  auto gallery = std::make_unique<QWidget>();
  auto* grid = new QGridLayout(gallery.get());
  grid->setContentsMargins(8, 8, 8, 8);
  grid->setHorizontalSpacing(12);
  int column = 0;
  for (const LedSample& sample : kSamples) {
    auto* led = new TLed(gallery.get());
    led->setFixedSize(sample.width, sample.height);
    led->SetStyle(sample.style);
    led->SetColor1(clLime);
    led->SetColor2(sample.color2);
    led->SetOn(sample.on);
    led->SetDiagShining(sample.diagShining);
    auto* caption = new QLabel(sample.caption, gallery.get());
    QFont font = caption->font();
    font.setPixelSize(9);
    caption->setFont(font);
    grid->addWidget(led, 0, column, Qt::AlignHCenter | Qt::AlignBottom);
    grid->addWidget(caption, 1, column, Qt::AlignHCenter);
    ++column;
  }
  gallery->adjustSize();
  return gallery;
}

}  // namespace corvane::shot
