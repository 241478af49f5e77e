// The port settings commands with the real dialog, the bridge's ports on pseudo-terminals and
// the configuration file on disk: the tray menu's entries write a new port name to the file
// as the dialog closes, the window's command menu entries do not; the same port spelled
// otherwise is no new name; a choice that cannot be opened gives the line its old name back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <filesystem>

#include "app/window/window_app.h"
#include "cport_ui/cport_setup.h"
#include "tests/app/window/window_test_support.h"
#include "tests/cport_ui/port_list_tree.h"

namespace {

using corvane::WindowApp;
using namespace corvane::test;
using corvane::test::ReadFile;  // not the log tests' helper of the same name
using corvane::test::WriteFile;

// Answers the settings dialog by picking `choose` in the port box (when not empty) and
// pressing OK, and every message box with OK; records what the port box showed.
class DialogAnswers {
 public:
  std::string choose;
  std::string shownName;
  int dialogs = 0;
  std::vector<QString> messages;

  void operator()(QWidget* box) {
    auto* setup = qobject_cast<TComSetupFrm*>(box);
    if (setup == nullptr) {
      if (auto* message = qobject_cast<QMessageBox*>(box)) messages.push_back(message->text());
      ClickButton(box, QMessageBox::Ok);
      return;
    }
    ++dialogs;
    shownName = setup->Combo1->Text();
    if (!choose.empty()) {
      // As the operator does it: pick the entry in the port box.
      setup->Combo1->SetText(choose);
      Q_EMIT setup->Combo1->activated(setup->Combo1->currentIndex());
    }
    setup->Button1->click();
  }
};

void TriggerTrayEntry(WindowApp& app, const QString& text) {
  for (QAction* action : app.View().Tray().Menu()->actions())
    if (action->text() == text) return action->trigger();
  ADD_FAILURE() << "no tray entry " << text.toStdString();
}

TEST(SettingsCommands, TrayEntryWritesTheNewNameWindowEntryLeavesTheFile) {
  ScopedWorkDir dir;
  Pty a, b;
  PortListTree ports({"ttyNEW0", "ttyNEW1"});
  // The out port's device is missing, so it stays closed and the dialog only stores.
  WriteFile(dir.File("Corvane.INI"), IniText(a.path(), b.path(), dir.File("NO_RADIO")));

  DialogAnswers answers;
  ModalWatcher watcher([&](QWidget* box) { answers(box); });
  WindowApp app({});
  app.Start();
  const std::string ini = dir.File("Corvane.INI");
  const std::string before = ReadFile(ini);

  answers.choose = "ttyNEW0";
  app.Form().WMSysCommand(446);
  EXPECT_EQ(answers.dialogs, 1);
  EXPECT_EQ(app.Form().outPort.Port(), "ttyNEW0");
  EXPECT_FALSE(app.Form().outPort.Connected());
  EXPECT_EQ(ReadFile(ini), before);
  // Not open under the new name: no name is shown until the watchdog opens it.
  EXPECT_EQ(app.View().Window().RigFreqLabel->text(), "---");

  answers.choose = "ttyNEW1";
  app.Form().ComSettingsButtonClickOUT(&app.Form());
  EXPECT_EQ(answers.dialogs, 2);
  EXPECT_NE(ReadFile(ini).find("PORTO=ttyNEW1\n"), std::string::npos) << ReadFile(ini);
}

// Counts the times a port's line is closed and opened.
struct LineEvents {
  explicit LineEvents(TComPort& port) {
    port.SetOnAfterClose([this](TObject*) { ++closes; });
    port.SetOnAfterOpen([this](TObject*) { ++opens; });
  }
  int closes = 0;
  int opens = 0;
};

TEST(SettingsCommands, OkWithTheSamePortSpelledOtherwiseLeavesTheLineAndTheTrayEntryWritesTheFile) {
  ScopedWorkDir dir;
  Pty a, b, rig;
  PortListTree ports({}, {{"usb-FTDI_FT232R_rig-if00-port0", rig.path()}});
  const std::string listed = ports.ById("usb-FTDI_FT232R_rig-if00-port0");
  // The configuration spells the listed port otherwise; the device is found all the same.
  const std::string spelled = QString::fromStdString(listed).toUpper().toStdString();
  WriteFile(dir.File("Corvane.INI"), IniText(a.path(), b.path(), spelled));

  DialogAnswers answers;
  ModalWatcher watcher([&](QWidget* box) { answers(box); });
  WindowApp app({});
  app.Start();
  app.View().Timer().stop();
  TComPort& out = app.Form().outPort;
  ASSERT_TRUE(out.Connected());
  ASSERT_EQ(out.Port(), spelled);
  const auto writes = [&] {
    const std::string trace = ReadFile(dir.File("Corvane.Log"));
    size_t n = 0;
    for (size_t at = trace.find("Ended with INI updated INI file"); at != std::string::npos;
         at = trace.find("Ended with INI updated INI file", at + 1)) {
      ++n;
    }
    return n;
  };
  const size_t written = writes();
  LineEvents line(out);

  TriggerTrayEntry(app, "OUT Settings");
  EXPECT_EQ(answers.dialogs, 1);
  EXPECT_EQ(answers.shownName, listed);
  EXPECT_EQ(line.closes, 0);
  EXPECT_EQ(line.opens, 0);
  EXPECT_TRUE(out.Connected());
  EXPECT_EQ(writes(), written + 1);
  EXPECT_TRUE(answers.messages.empty());
}

TEST(SettingsCommands, ABusyChoiceIsShownOnceAndTheLineIsOpenAgainUnderItsOldName) {
  ScopedWorkDir dir;
  Pty a, b, rig, taken;
  PortListTree ports({}, {{"usb-taken-if00-port0", taken.path()}});
  // Another program has the chosen line.
  TComPort holder;
  holder.SetEvents({});
  holder.SetPort(taken.path());
  holder.OpenPort();
  WriteFile(dir.File("Corvane.INI"), IniText(a.path(), b.path(), rig.path()));

  DialogAnswers answers;
  ModalWatcher watcher([&](QWidget* box) { answers(box); });
  WindowApp app({});
  app.Start();
  app.View().Timer().stop();
  TComPort& portA = app.Form().InPortA;
  const std::string name = portA.Port();
  const std::string ini = ReadFile(dir.File("Corvane.INI"));
  LineEvents line(portA);

  answers.choose = ports.ById("usb-taken-if00-port0");
  TriggerTrayEntry(app, "PORTA Settings");
  EXPECT_EQ(answers.dialogs, 1);
  ASSERT_EQ(answers.messages.size(), 1u);
  EXPECT_EQ(answers.messages[0], "Unable to open com port (Error: 16)");
  EXPECT_EQ(portA.Port(), name);
  EXPECT_TRUE(portA.Connected());
  EXPECT_TRUE(portA.EventThreadRunning());
  EXPECT_EQ(line.closes, 1);
  EXPECT_EQ(line.opens, 1);
  EXPECT_EQ(ReadFile(dir.File("Corvane.INI")), ini);
  EXPECT_EQ(app.View().Window().COMPortLabel->text().toStdString(), name);

  // The watchdog finds nothing to reopen and nothing more to say.
  app.Form().hTimerTimer(&app.Form());
  EXPECT_EQ(line.opens, 1);
  EXPECT_EQ(answers.messages.size(), 1u);
}

}  // namespace
