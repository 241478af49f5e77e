// The port settings dialog: its layout, Cancel, and what OK does to open and closed ports,
// driven through the modal dialog as a user drives it.
#include "cport_ui/cport_setup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "cport/com_error.h"
#include "tests/cport/support/scripted_port.h"
#include "tests/cport_ui/port_list_tree.h"

namespace {

using corvane::platform::FakeOp;
using corvane::test::PortListTree;
using corvane::test::ScriptedPort;

// Long enough never to be reached in a passing run.
constexpr int kDeadlineMs = 10000;

struct DialogRun {
  bool shown = false;
  bool hitDeadline = false;
  QPointer<TComSetupFrm> form;  // null again once the dialog has been released
};

// Shows the dialog for port and runs `whileShown` on it once it is the active modal
// window. A dialog still open at the deadline is closed, so a failing test cannot hang.
DialogRun RunDialog(TCustomComPort& port, const std::function<void(TComSetupFrm&)>& whileShown,
                    void (*show)(TCustomComPort&) = ShowPortSettingsDialog) {
  DialogRun run;
  QObject scope;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, &scope, [&] {
    auto* form = qobject_cast<TComSetupFrm*>(QApplication::activeModalWidget());
    if (form == nullptr || !form->isVisible()) return;
    poll.stop();
    run.shown = true;
    run.form = form;
    whileShown(*form);
  });
  poll.start();
  QTimer::singleShot(kDeadlineMs, &scope, [&] {
    run.hitDeadline = true;
    if (auto* form = qobject_cast<TComSetupFrm*>(QApplication::activeModalWidget())) form->reject();
  });
  show(port);
  return run;
}

void Pick(TComComboBox& box, const std::string& text) {
  const int target = box.findText(QString::fromStdString(text));
  ASSERT_GE(target, 0) << text;
  ASSERT_NE(target, box.currentIndex()) << "already selected: " << text;
  while (box.currentIndex() != target)
    QTest::keyClick(&box, box.currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
}

void PressOk(TComSetupFrm& form) {
  QTest::mouseClick(form.Button1, Qt::LeftButton);
}

// Picks a value different from the port's defaults in every box.
void ChangeEveryBox(TComSetupFrm& form) {
  Pick(*form.Combo1, "COM7");
  Pick(*form.Combo2, "19200");
  Pick(*form.Combo3, "7");
  Pick(*form.Combo4, "2");
  Pick(*form.Combo5, "Even");
  Pick(*form.Combo6, "Hardware");
}

int Applies(const ScriptedPort& port) {
  return port.Script->Count(FakeOp::SetupComm) + port.Script->Count(FakeOp::SetCommState) +
         port.Script->Count(FakeOp::SetCommTimeouts);
}

class SettingsDialog : public ::testing::Test {
 protected:
  SettingsDialog() {
    port.SetPort("COM3");
    port.Script->ClearCalls();
  }

  void OpenPort() {
    port.OpenPort();
    ASSERT_TRUE(port.Connected());
    port.Script->ClearCalls();
  }

  PortListTree ports{{"COM1", "COM3", "COM7"}};
  ScriptedPort port;
};

TEST_F(SettingsDialog, LayoutCaptionsAndTabOrder) {
  std::vector<std::string> labels, focusOrder;
  std::vector<TComProperty> properties;
  std::string caption, group, ok, cancel;
  bool okIsDefault = false, autoApply = false, editable = false;
  RunDialog(port, [&](TComSetupFrm& form) {
    caption = form.windowTitle().toStdString();
    group = form.GroupBox1->title().toStdString();
    for (QLabel* l : {form.Label1, form.Label2, form.Label3, form.Label4, form.Label5, form.Label6})
      labels.push_back(l->text().toStdString());
    for (TComComboBox* b :
         {form.Combo1, form.Combo2, form.Combo3, form.Combo4, form.Combo5, form.Combo6}) {
      properties.push_back(b->ComProperty());
      autoApply = autoApply || b->AutoApply();
      editable = editable || b->isEditable();
    }
    ok = form.Button1->text().toStdString();
    cancel = form.Button2->text().toStdString();
    okIsDefault = form.Button1->isDefault() && !form.Button2->isDefault();
    // Walk the tab chain from the port box.
    QWidget* w = form.Combo1;
    do {
      if (w->focusPolicy() & Qt::TabFocus) focusOrder.push_back(w->objectName().toStdString());
      w = w->nextInFocusChain();
    } while (w != form.Combo1 && focusOrder.size() < 20);
    form.reject();
  });
  EXPECT_EQ(caption, "Setup");
  EXPECT_EQ(group, " Settings ");
  EXPECT_EQ(labels, (std::vector<std::string>{"Port", "Baud rate", "Data bits", "Stop bits",
                                              "Parity", "Flow control"}));
  EXPECT_EQ(properties, (std::vector<TComProperty>{cpPort, cpBaudRate, cpDataBits, cpStopBits,
                                                   cpParity, cpFlowControl}));
  EXPECT_FALSE(autoApply);
  EXPECT_FALSE(editable);
  EXPECT_EQ(ok, "OK");
  EXPECT_EQ(cancel, "Cancel");
  EXPECT_TRUE(okIsDefault);
  EXPECT_EQ(focusOrder, (std::vector<std::string>{"Combo1", "Combo2", "Combo3", "Combo4", "Combo5",
                                                  "Combo6", "Button1", "Button2"}));
}

// Whatever font the platform substitutes for the design's, every caption and every item
// is drawn whole: the text's width in the control's font fits the room the control gives it.
TEST_F(SettingsDialog, NoCaptionOrPortNameIsCut) {
  const std::string link = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  PortListTree longNames({"ttyS0"}, {{link, "/dev/null"}});
  port.SetPort(longNames.ById(link));
  std::vector<std::string> cut;
  RunDialog(port, [&](TComSetupFrm& form) {
    auto check = [&](const QWidget& owner, const QString& text, int room) {
      if (QFontMetrics(owner.font()).horizontalAdvance(text) > room)
        cut.push_back(owner.objectName().toStdString() + ": " + text.toStdString());
    };
    const QList<QLabel*> labels = {form.Label1, form.Label2, form.Label3,
                                   form.Label4, form.Label5, form.Label6};
    const QList<TComComboBox*> boxes = {form.Combo1, form.Combo2, form.Combo3,
                                        form.Combo4, form.Combo5, form.Combo6};
    for (int i = 0; i < labels.size(); ++i) {
      check(*labels[i], labels[i]->text(), labels[i]->contentsRect().width());
      // A caption ends before its box, and the rows keep their order.
      EXPECT_LT(labels[i]->geometry().right(), boxes[i]->geometry().left()) << i;
      if (i > 0) {
        EXPECT_GT(labels[i]->y(), labels[i - 1]->y()) << i;
      }
      EXPECT_LE(labels[i]->height(), boxes[i]->height()) << i;
    }
    for (TComComboBox* box : boxes) {
      QStyleOptionComboBox option;
      option.initFrom(box);
      const int room =
          box->style()
              ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box)
              .width();
      for (int i = 0; i < box->count(); ++i) check(*box, box->itemText(i), room);
      EXPECT_LE(box->geometry().right(), form.GroupBox1->contentsRect().right());
    }
    for (QPushButton* button : {form.Button1, form.Button2}) {
      EXPECT_GE(button->width(), button->sizeHint().width()) << button->text().toStdString();
      EXPECT_LE(button->geometry().right(), form.width());
    }
    EXPECT_LE(form.GroupBox1->geometry().right(), form.width());
    EXPECT_EQ(form.Combo1->Text(), longNames.ById(link));
    form.reject();
  });
  EXPECT_EQ(cut, std::vector<std::string>{});
}

TEST_F(SettingsDialog, ShowsThePortsValues) {
  port.SetBaudRate(br38400);
  port.SetDataBits(dbSeven);
  port.SetStopBits(sbOne5StopBits);
  port.Parity().SetBits(prSpace);
  port.FlowControl().SetFlowControl(fcSoftware);
  std::vector<std::string> shown;
  RunDialog(port, [&](TComSetupFrm& form) {
    for (TComComboBox* b :
         {form.Combo1, form.Combo2, form.Combo3, form.Combo4, form.Combo5, form.Combo6})
      shown.push_back(b->Text());
    form.reject();
  });
  EXPECT_EQ(shown, (std::vector<std::string>{"COM3", "38400", "7", "1.5", "Space", "Software"}));
}

TEST_F(SettingsDialog, CancelAfterChangingEveryBoxChangesNothing) {
  OpenPort();
  const DialogRun run = RunDialog(port, [](TComSetupFrm& form) {
    ChangeEveryBox(form);
    QTest::mouseClick(form.Button2, Qt::LeftButton);
  });
  ASSERT_TRUE(run.shown);
  EXPECT_FALSE(run.hitDeadline);
  EXPECT_TRUE(run.form.isNull());
  EXPECT_EQ(port.Port(), "COM3");
  EXPECT_EQ(port.BaudRate(), br9600);
  EXPECT_EQ(port.DataBits(), dbEight);
  EXPECT_EQ(port.StopBits(), sbOneStopBit);
  EXPECT_EQ(port.Parity().Bits(), prNone);
  EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);
  EXPECT_EQ(Applies(port), 0);
  EXPECT_EQ(port.Script->Count(FakeOp::Close), 0);
}

TEST_F(SettingsDialog, ClosingTheWindowIsCancel) {
  RunDialog(port, [](TComSetupFrm& form) {
    Pick(*form.Combo2, "300");
    form.close();
  });
  EXPECT_EQ(port.BaudRate(), br9600);
}

TEST_F(SettingsDialog, OkWithoutChangeOnAnOpenPortAppliesTheDeviceOnce) {
  OpenPort();
  const DialogRun run = RunDialog(port, PressOk);
  ASSERT_TRUE(run.shown);
  EXPECT_TRUE(run.form.isNull());
  EXPECT_EQ(port.Script->Count(FakeOp::SetupComm), 1);
  EXPECT_EQ(port.Script->Count(FakeOp::SetCommState), 1);
  EXPECT_EQ(port.Script->Count(FakeOp::SetCommTimeouts), 1);
  EXPECT_EQ(port.Script->Count(FakeOp::Close), 0);
  EXPECT_EQ(port.Script->Count(FakeOp::Open), 0);
  EXPECT_TRUE(port.Connected());
}

TEST_F(SettingsDialog, OkWithANewNameReopensFirstThenAppliesOnce) {
  OpenPort();
  RunDialog(port, [](TComSetupFrm& form) {
    ChangeEveryBox(form);
    PressOk(form);
  });
  EXPECT_EQ(port.Port(), "COM7");
  EXPECT_TRUE(port.Connected());

  // The bracket keeps the reopening from applying; its end applies the new values once.
  std::vector<FakeOp> ops;
  for (FakeOp op : port.Script->Ops())
    if (op == FakeOp::Close || op == FakeOp::Open || op == FakeOp::SetupComm ||
        op == FakeOp::SetCommState || op == FakeOp::SetCommTimeouts)
      ops.push_back(op);
  EXPECT_EQ(ops, (std::vector<FakeOp>{FakeOp::Close, FakeOp::Open, FakeOp::SetupComm,
                                      FakeOp::SetCommState, FakeOp::SetCommTimeouts}));
  EXPECT_EQ(port.Script->Last(FakeOp::Open).Name, "COM7");
  const auto state = port.Script->Last(FakeOp::SetCommState).State;
  EXPECT_EQ(state.BaudRate, 19200u);
  EXPECT_EQ(state.ByteSize, 7);
  EXPECT_EQ(state.StopBits, corvane::platform::TWOSTOPBITS);
  EXPECT_EQ(state.Parity, corvane::platform::EVENPARITY);
}

TEST_F(SettingsDialog, OkOnAClosedPortStoresAndStaysClosed) {
  RunDialog(
      port,
      [](TComSetupFrm& form) {
        ChangeEveryBox(form);
        PressOk(form);
      },
      ShowSettingsDialog);
  EXPECT_EQ(port.Port(), "COM7");
  EXPECT_EQ(port.BaudRate(), br19200);
  EXPECT_EQ(port.DataBits(), dbSeven);
  EXPECT_EQ(port.StopBits(), sbTwoStopBits);
  EXPECT_EQ(port.Parity().Bits(), prEven);
  EXPECT_EQ(port.FlowControl().FlowControl(), fcHardware);
  EXPECT_FALSE(port.Connected());
  EXPECT_TRUE(port.Script->Calls().empty());
}

TEST_F(SettingsDialog, CustomChoicesKeepTheDetailedSettings) {
  port.SetCustomBaudRate(31250);
  port.FlowControl().SetOutDSRFlow(true);
  port.FlowControl().SetXonXoffIn(true);
  RunDialog(port, [](TComSetupFrm& form) {
    Pick(*form.Combo2, "Custom");
    PressOk(form);  // the flow box shows "Custom" already
  });
  EXPECT_EQ(port.BaudRate(), brCustom);
  EXPECT_EQ(port.CustomBaudRate(), 31250);
  EXPECT_EQ(port.FlowControl().FlowControl(), fcCustom);
  EXPECT_TRUE(port.FlowControl().OutDSRFlow());
  EXPECT_TRUE(port.FlowControl().XonXoffIn());
}

TEST_F(SettingsDialog, NameMissingFromTheListIsShownAndSurvivesOk) {
  port.SetPort("/dev/pts/5");
  OpenPort();
  std::string shownName = "unset";
  RunDialog(port, [&](TComSetupFrm& form) {
    shownName = form.Combo1->Text();
    Pick(*form.Combo3, "6");
    PressOk(form);
  });
  EXPECT_EQ(shownName, "/dev/pts/5");
  EXPECT_EQ(port.Port(), "/dev/pts/5");
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(port.Script->Count(FakeOp::Open), 0);
  EXPECT_EQ(port.DataBits(), dbSix);
  EXPECT_EQ(port.Script->Count(FakeOp::SetCommState), 1);
}

// The operator's choice is busy (EBUSY); the old name is opened again, or, when that
// fails too, the port waits closed under its old name for the next attempt.
TEST_F(SettingsDialog, ANewNameThatCannotBeOpenedGivesTheOldNameBack) {
  for (const int failingOpens : {1, 2}) {
    SCOPED_TRACE(failingOpens);
    port.ClosePort();
    port.SetPort("COM3");
    port.SetBaudRate(br9600);
    OpenPort();
    port.Script->Fail(FakeOp::Open, 16, failingOpens);
    try {
      RunDialog(port, [](TComSetupFrm& form) {
        ChangeEveryBox(form);
        PressOk(form);
      });
      ADD_FAILURE() << "no error reached the caller";
    } catch (const EComPort& e) {
      EXPECT_EQ(e.ComErrorCode(), CE_OpenFailed + 1);
      EXPECT_EQ(e.SystemError(), 16);
    }
    EXPECT_EQ(qobject_cast<TComSetupFrm*>(QApplication::activeModalWidget()), nullptr);
    for (QWidget* w : QApplication::topLevelWidgets())
      EXPECT_EQ(qobject_cast<TComSetupFrm*>(w), nullptr) << "dialog not released";

    std::vector<std::string> opened;
    for (const auto& call : port.Script->Calls())
      if (call.Op == FakeOp::Open) opened.push_back(call.Name);
    EXPECT_EQ(opened, (std::vector<std::string>{"COM7", "COM3"}));
    EXPECT_EQ(port.Port(), "COM3");
    EXPECT_EQ(port.Connected(), failingOpens == 1);
    EXPECT_EQ(port.BaudRate(), br9600);  // the values after the name were not applied
    // The bracket is closed: the reopen put the settings on the device.
    EXPECT_EQ(port.Script->Count(FakeOp::SetCommState), failingOpens == 1 ? 1 : 0);
  }
}

}  // namespace
