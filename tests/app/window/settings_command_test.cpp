// The port settings commands: the tray menu's entries write the new port name to the
// configuration file as the dialog closes, the window's command menu entries do not.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <filesystem>

#include "app/window/window_app.h"
#include "cport_ui/cport_setup.h"
#include "cport_ui/port_list_source.h"
#include "tests/app/window/window_test_support.h"

namespace {

using corvane::WindowApp;
using namespace corvane::test;

// A tty class tree with two serial devices, so the port box lists exactly these names.
void MakePortList(const std::string& root) {
  for (const char* name : {"ttyNEW0", "ttyNEW1"}) {
    std::filesystem::create_directories(root + "/" + name);
    std::filesystem::create_directory_symlink(root, root + "/" + name + "/device");
  }
}

TEST(SettingsCommands, TrayEntryWritesTheNewNameWindowEntryLeavesTheFile) {
  ScopedWorkDir dir;
  Pty a, b;
  MakePortList(dir.File("ttys"));
  const std::string old_list = corvane::PortListDirectory();
  corvane::SetPortListDirectory(dir.File("ttys"));
  // The out port's device is missing, so it stays closed and the dialog only stores.
  WriteFile(dir.File("Corvane.INI"), IniText(a.path(), b.path(), dir.File("NO_RADIO")));

  std::string choose;
  int dialogs = 0;
  ModalWatcher watcher([&](QWidget* box) {
    auto* setup = qobject_cast<TComSetupFrm*>(box);
    if (setup == nullptr) {
      ClickButton(box, QMessageBox::Ok);
      return;
    }
    ++dialogs;
    // As the operator does it: pick the entry in the port box.
    setup->Combo1->SetText(choose);
    Q_EMIT setup->Combo1->activated(setup->Combo1->currentIndex());
    setup->Button1->click();
  });
  WindowApp app({});
  app.Start();
  const std::string ini = dir.File("Corvane.INI");
  const std::string before = ReadFile(ini);

  choose = "ttyNEW0";
  app.Form().WMSysCommand(446);
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(app.Form().outPort.Port(), "ttyNEW0");
  EXPECT_FALSE(app.Form().outPort.Connected());
  EXPECT_EQ(ReadFile(ini), before);

  choose = "ttyNEW1";
  app.Form().ComSettingsButtonClickOUT(&app.Form());
  EXPECT_EQ(dialogs, 2);
  EXPECT_NE(ReadFile(ini).find("PORTO=ttyNEW1\n"), std::string::npos) << ReadFile(ini);
  corvane::SetPortListDirectory(old_list);
}

}  // namespace
