#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "widgets/about_dlg.h"
#include "widgets/about_form.h"

namespace {

using namespace std::chrono_literals;

// Long enough never to be reached in a passing run.
constexpr int kDeadlineMs = 10000;

QPixmap Filled(QColor color) {
  QPixmap pixmap(48, 48);
  pixmap.fill(color);
  return pixmap;
}

QRgb CentreOf(const QPixmap& pixmap) {
  return pixmap.toImage().pixel(pixmap.width() / 2, pixmap.height() / 2);
}

int AboutBoxesAlive() {
  int count = 0;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (qobject_cast<TAboutBox*>(widget) != nullptr) ++count;
  }
  return count;
}

TAboutBox* ShownBox() {
  return qobject_cast<TAboutBox*>(QApplication::activeModalWidget());
}

// Runs ShowAbout with `whileShown` called once the box is on screen (after `afterMs`). A box
// still open at the deadline is closed, so a failing test cannot hang.
struct Showing {
  bool shownModal = false;
  bool hitDeadline = false;
  qint64 elapsedMs = 0;
};

Showing Show(TAboutDlg& dialog, int afterMs, const std::function<void(TAboutBox*)>& whileShown) {
  Showing showing;
  QObject scope;
  if (whileShown) {
    QTimer::singleShot(afterMs, &scope, [&] {
      TAboutBox* box = ShownBox();
      showing.shownModal = box != nullptr && box->isVisible() && box->isModal();
      whileShown(box);
    });
  }
  QTimer::singleShot(kDeadlineMs, &scope, [&] {
    showing.hitDeadline = true;
    if (TAboutBox* box = ShownBox()) box->close();
  });
  QElapsedTimer clock;
  clock.start();
  dialog.ShowAbout();
  showing.elapsedMs = clock.elapsed();
  return showing;
}

void ClickOk(TAboutBox* box) {
  ASSERT_NE(box, nullptr);
  QTest::mouseClick(box->OKButton, Qt::LeftButton);
}

void FillTexts(TAboutDlg& dialog) {
  dialog.SetTitle("OmniRig to FT2K CAT Bridge");
  dialog.SetProductName("Corvane 2.0.000-0010");
  dialog.SetCopyRight("Copyright (c) 2026 the Corvane developers");
  dialog.SetProgrammer("The Corvane developers");
  dialog.SetWebSite("https://corvane.example.org");
}

TEST(AboutBox, DesignCaptionsAndLayout) {
  TAboutBox box;
  EXPECT_EQ(box.windowTitle(), "About");
  EXPECT_EQ(box.size(), QSize(296, 182));
  EXPECT_EQ(box.minimumSize(), box.maximumSize());
  EXPECT_EQ(box.font().family(), "MS Sans Serif");
  EXPECT_EQ(box.font().pixelSize(), 11);

  EXPECT_EQ(box.Panel1->geometry(), QRect(8, 8, 281, 137));
  EXPECT_EQ(box.Panel2->parentWidget(), box.Panel1);
  EXPECT_EQ(box.Panel2->geometry(), QRect(8, 8, 50, 50));
  EXPECT_EQ(box.Image1->parentWidget(), box.Panel2);
  EXPECT_EQ(box.Image1->geometry(), QRect(1, 1, 48, 48));
  EXPECT_EQ(box.Image1->alignment(), Qt::AlignCenter);

  const struct {
    QLabel* label;
    const char* caption;
    int top;
    bool wraps;
  } labels[] = {{box.ProductName, "Product Name", 8, false},
                {box.Copyright, "Copyright", 40, false},
                {box.Programmer, "Programmer:", 72, true},
                {box.Website, "WebSite:", 104, true}};
  for (const auto& l : labels) {
    SCOPED_TRACE(l.caption);
    EXPECT_EQ(l.label->parentWidget(), box.Panel1);
    EXPECT_EQ(l.label->text(), l.caption);
    EXPECT_EQ(l.label->pos(), QPoint(64, l.top));
    EXPECT_EQ(l.label->wordWrap(), l.wraps);
    EXPECT_EQ(l.label->textFormat(), Qt::PlainText);
  }

  EXPECT_EQ(box.OKButton->text(), "OK");
  EXPECT_EQ(box.OKButton->geometry(), QRect(111, 152, 75, 25));
  EXPECT_TRUE(box.OKButton->isDefault());
}

TEST(AboutDialog, NewDialogIsEmptyWithoutTimer) {
  TAboutDlg dialog;
  EXPECT_EQ(dialog.Title(), "");
  EXPECT_EQ(dialog.ProductName(), "");
  EXPECT_EQ(dialog.CopyRight(), "");
  EXPECT_EQ(dialog.Programmer(), "");
  EXPECT_EQ(dialog.WebSite(), "");
  EXPECT_TRUE(dialog.Icon().isNull());
  EXPECT_FALSE(dialog.Timer());
  EXPECT_EQ(dialog.AutoCloseInterval(), 15000ms);
}

TEST(AboutDialog, BoxShowsTheProperties) {
  TAboutDlg dialog;
  FillTexts(dialog);
  dialog.SetIcon(QIcon(Filled(Qt::green)));
  const std::unique_ptr<TAboutBox> box = dialog.CreateBox();
  EXPECT_EQ(box->windowTitle(), "OmniRig to FT2K CAT Bridge");
  EXPECT_EQ(box->ProductName->text(), "Corvane 2.0.000-0010");
  EXPECT_EQ(box->Copyright->text(), "Copyright (c) 2026 the Corvane developers");
  EXPECT_EQ(box->Programmer->text(), "The Corvane developers");
  EXPECT_EQ(box->Website->text(), "https://corvane.example.org");
  EXPECT_EQ(CentreOf(box->Image1->pixmap()), QColor(Qt::green).rgb());
  // The one-line labels fit their text; the wrapping ones stay inside the panel.
  EXPECT_GE(box->ProductName->width(),
            box->ProductName->fontMetrics().horizontalAdvance("Corvane 2.0.000-0010"));
  EXPECT_LE(box->Programmer->geometry().right(), box->Panel1->width());
}

TEST(AboutDialog, EmptyPropertiesShowEmptyLabelsNotDesignCaptions) {
  TAboutDlg dialog;
  const std::unique_ptr<TAboutBox> box = dialog.CreateBox();
  EXPECT_EQ(box->windowTitle(), "");
  for (QLabel* label : {box->ProductName, box->Copyright, box->Programmer, box->Website}) {
    EXPECT_EQ(label->text(), "") << label->objectName().toStdString();
  }
  EXPECT_TRUE(box->Image1->pixmap().isNull());
}

TEST(AboutDialog, MarkupInTextsIsShownAsIs) {
  TAboutDlg dialog;
  dialog.SetProductName("<b>Corvane</b> & co");
  const std::unique_ptr<TAboutBox> box = dialog.CreateBox();
  EXPECT_EQ(box->ProductName->text(), "<b>Corvane</b> & co");
  EXPECT_EQ(box->ProductName->textFormat(), Qt::PlainText);
}

TEST(AboutDialog, IconIsCopiedNotShared) {
  TAboutDlg dialog;
  {
    QIcon source(Filled(Qt::red));
    dialog.SetIcon(source);
    source.addPixmap(Filled(Qt::blue));
    source = QIcon(Filled(Qt::blue));
  }
  EXPECT_EQ(CentreOf(dialog.Icon().pixmap(48, 48)), QColor(Qt::red).rgb());
  EXPECT_EQ(CentreOf(dialog.CreateBox()->Image1->pixmap()), QColor(Qt::red).rgb());
}

TEST(AboutDialog, ShowAboutShowsAFreshModalBoxUntilOk) {
  TAboutDlg dialog;
  FillTexts(dialog);
  QString shownTitle;
  Showing first = Show(dialog, 0, [&](TAboutBox* box) {
    ASSERT_NE(box, nullptr);
    shownTitle = box->windowTitle();
    ClickOk(box);
  });
  EXPECT_TRUE(first.shownModal);
  EXPECT_FALSE(first.hitDeadline);
  EXPECT_EQ(shownTitle, "OmniRig to FT2K CAT Bridge");
  EXPECT_EQ(AboutBoxesAlive(), 0);

  // A changed property shows in the next box.
  dialog.SetTitle("Second");
  Show(dialog, 0, [&](TAboutBox* box) {
    ASSERT_NE(box, nullptr);
    shownTitle = box->windowTitle();
    box->close();
  });
  EXPECT_EQ(shownTitle, "Second");
  EXPECT_EQ(AboutBoxesAlive(), 0);
}

TEST(AboutDialog, WithTimerTheBoxClosesByItselfAfterTheInterval) {
  TAboutDlg dialog;
  dialog.SetTimer(true);
  dialog.SetAutoCloseInterval(80ms);
  bool pending = false;
  const Showing showing = Show(dialog, 0, [&](TAboutBox*) { pending = dialog.AutoClosePending(); });
  EXPECT_TRUE(showing.shownModal);
  EXPECT_TRUE(pending);
  EXPECT_FALSE(showing.hitDeadline);
  EXPECT_GE(showing.elapsedMs, 80);
  EXPECT_FALSE(dialog.AutoClosePending());
  EXPECT_EQ(AboutBoxesAlive(), 0);
}

TEST(AboutDialog, WithoutTimerTheBoxStaysPastTheInterval) {
  TAboutDlg dialog;
  dialog.SetAutoCloseInterval(1ms);
  bool stillShown = false;
  const Showing showing = Show(dialog, 200, [&](TAboutBox* box) {
    stillShown = box != nullptr && box->isVisible();
    EXPECT_FALSE(dialog.AutoClosePending());
    if (box != nullptr) ClickOk(box);
  });
  EXPECT_TRUE(stillShown);
  EXPECT_FALSE(showing.hitDeadline);
}

TEST(AboutDialog, ClosingFirstReleasesTheTimerAndASecondShowingStartsAfresh) {
  TAboutDlg dialog;
  dialog.SetTimer(true);
  dialog.SetAutoCloseInterval(300ms);
  const Showing first = Show(dialog, 200, [](TAboutBox* box) { ClickOk(box); });
  EXPECT_TRUE(first.shownModal);
  EXPECT_LT(first.elapsedMs, 300);
  EXPECT_FALSE(dialog.AutoClosePending());

  // A timer left over from the first showing would end this one after about 100 ms.
  const Showing second = Show(dialog, 0, {});
  EXPECT_FALSE(second.hitDeadline);
  EXPECT_GE(second.elapsedMs, 300);
}

TEST(AboutDialog, ShowAboutWhileShownRaisesTheBoxInsteadOfStacking) {
  TAboutDlg dialog;
  int boxesDuringNestedCall = 0;
  const Showing showing = Show(dialog, 0, [&](TAboutBox* box) {
    dialog.ShowAbout();
    boxesDuringNestedCall = AboutBoxesAlive();
    ClickOk(box);
  });
  EXPECT_TRUE(showing.shownModal);
  EXPECT_EQ(boxesDuringNestedCall, 1);
  EXPECT_EQ(AboutBoxesAlive(), 0);
}

TEST(AboutDialog, DialogDestroyedWhileShownEndsTheShowing) {
  auto dialog = std::make_unique<TAboutDlg>();
  dialog->SetTimer(true);
  dialog->SetAutoCloseInterval(50ms);
  TAboutDlg* raw = dialog.get();
  const Showing showing = Show(*raw, 0, [&](TAboutBox*) { dialog.reset(); });
  EXPECT_TRUE(showing.shownModal);
  EXPECT_FALSE(showing.hitDeadline);
  EXPECT_EQ(AboutBoxesAlive(), 0);
}

}  // namespace
