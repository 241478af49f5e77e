#pragma once
// The about box: a fixed 296 x 182 dialog with the picture, four text lines and an OK button.
// Its labels show the design captions until the owner fills them; all texts are plain.
#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  QFrame* Panel1;
  QFrame* Panel2;
  QLabel* Image1;
  QLabel* ProductName;
  QLabel* Copyright;
  QLabel* Programmer;
  QLabel* Website;
  QPushButton* OKButton;

  // Ends the modal showing with the result OK.
  void OKButtonClick();

  // A label's text after a change, sized as the box's layout wants it.
  static void SetCaption(QLabel* label, const QString& text);
};
