#include "widgets/about_dlg.h"

#include <QLabel>
#include <QTimer>

#include "widgets/about_form.h"

namespace {

QString FromText(const std::string& text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TAboutDlg::TAboutDlg() = default;

// Gone while its box is on screen (the owner closed from a nested loop): the box ends its
// modal showing, and ShowAbout, returning later, no longer touches this object.
TAboutDlg::~TAboutDlg() {
  *alive_ = false;
  timer_.reset();
  if (box_ != nullptr) box_->done(QDialog::Rejected);
}

void TAboutDlg::SetIcon(const QIcon& Value) {
  // QIcon shares its data until one side changes; a deep copy of its pixmaps keeps ours
  // apart from whatever the caller's icon engine does later.
  QIcon copy;
  for (const QSize& size : Value.availableSizes()) copy.addPixmap(Value.pixmap(size));
  if (copy.isNull() && !Value.isNull()) copy.addPixmap(Value.pixmap(48, 48));
  Icon_ = copy;
}

std::unique_ptr<TAboutBox> TAboutDlg::CreateBox() const {
  auto box = std::make_unique<TAboutBox>();
  box->setWindowTitle(FromText(Title_));
  TAboutBox::SetCaption(box->ProductName, FromText(ProductName_));
  TAboutBox::SetCaption(box->Copyright, FromText(CopyRight_));
  TAboutBox::SetCaption(box->Programmer, FromText(Programmer_));
  TAboutBox::SetCaption(box->Website, FromText(WebSite_));
  box->Image1->setPixmap(Icon_.isNull() ? QPixmap() : Icon_.pixmap(box->Image1->size()));
  return box;
}

void TAboutDlg::ShowAbout() {
  if (box_ != nullptr) {
    box_->raise();
    box_->activateWindow();
    return;
  }
  std::unique_ptr<TAboutBox> box = CreateBox();
  // Whatever ends the showing, the timer goes before the box, so it never acts on a box
  // that is gone.
  struct Release {
    TAboutDlg& dialog;
    std::shared_ptr<bool> alive;
    ~Release() {
      if (!*alive) return;
      dialog.timer_.reset();
      dialog.box_ = nullptr;
    }
  } release{*this, alive_};
  box_ = box.get();
  if (Timer_) {
    timer_ = std::make_unique<QTimer>();
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(AutoCloseInterval_);
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { AutoClose(); });
    timer_->start();
  }
  box->exec();
}

bool TAboutDlg::AutoClosePending() const {
  return timer_ != nullptr && timer_->isActive();
}

void TAboutDlg::AutoClose() {
  // The timer is inside its own signal here; it is stopped now and released when the
  // showing ends.
  if (timer_) timer_->stop();
  if (box_ != nullptr) box_->close();
}
