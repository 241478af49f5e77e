#pragma once
// The modal dialog that edits a port's name, baud rate, data bits, stop bits, parity and
// flow control. Nothing reaches the port unless the user presses OK; then all six values
// go to the port inside one settings bracket, the name first, so an open device is set
// once (a new name reopens the port before that). The same port under another spelling is
// no new name. A new name that cannot be opened gives the port its old name back, opened
// again, and the other five values are not applied.
#include <QDialog>

#include "cport/cport.h"
#include "cport_ui/cport_ctl.h"

class QGroupBox;
class QLabel;
class QPushButton;

class TComSetupFrm : public QDialog {
  Q_OBJECT

 public:
  explicit TComSetupFrm(QWidget* Parent = nullptr);

  // Lays the design out for the font in use and the boxes' items: the whole layout grows
  // until no caption is cut, and the column of boxes widens for its longest item.
  void FitToContents();

  QPushButton* Button1;  // "OK"
  QPushButton* Button2;  // "Cancel"
  QGroupBox* GroupBox1;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;
  QLabel* Label6;
  TComComboBox* Combo2;  // baud rate
  TComComboBox* Combo3;  // data bits
  TComComboBox* Combo4;  // stop bits
  TComComboBox* Combo5;  // parity
  TComComboBox* Combo6;  // flow control
  TComComboBox* Combo1;  // port
};

// Runs the dialog for Port until it closes. An error while applying reaches the caller
// after the settings bracket has been closed, an unopenable new name has been undone, and
// the dialog released.
void ShowPortSettingsDialog(TCustomComPort& Port);
// The port's own "show the settings dialog" operation; the port object holds no GUI code.
void ShowSettingsDialog(TCustomComPort& Port);
