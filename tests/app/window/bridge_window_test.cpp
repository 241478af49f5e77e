// The window with the real bridge behind it: ports on pseudo-terminals, the configuration
// file in a directory of the test's own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <atomic>
#include <memory>
#include <thread>

#include "app/window/command_menu.h"
#include "app/window/window_app.h"
#include "rt/main_thread.h"
#include "tests/app/window/window_test_support.h"
#include "widgets/about_dlg.h"
#include "widgets/about_form.h"
#include "widgets/led1.h"

namespace {

using corvane::CommandIdOf;
using corvane::WindowApp;
using namespace corvane::test;

QAction* CommandAction(WindowApp& app, uint32_t id) {
  for (QAction* action : app.View().Window().CommandMenu().actions()) {
    if (CommandIdOf(action) == id) return action;
  }
  return nullptr;
}

QAction* TrayAction(WindowApp& app, const char* text) {
  QMenu* menu = app.View().Tray().Menu();
  if (menu == nullptr) return nullptr;
  for (QAction* action : menu->actions()) {
    if (action->text() == text) return action;
  }
  return nullptr;
}

// Hands a port event to the main thread the way a port's event thread does: a synchronous
// call from another thread, which the Qt loop serves through the wake hook.
void DeliverFromAnotherThread(const std::function<void()>& handler) {
  std::atomic<bool> done{false};
  std::thread sender([&] {
    corvane::MainThread::Instance().Synchronize(handler);
    done = true;
  });
  bool served = WaitFor([&] { return done.load(); });
  sender.join();
  EXPECT_TRUE(served);
}

// Three ports on ptys, started; the watchdog is stopped unless a test wants it, so its
// resets do not race the test's traffic.
class RunningWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir.File("Corvane.INI"), IniText(a.path(), b.path(), out.path()));
    app = std::make_unique<WindowApp>(std::vector<std::string>{});
    app->Start();
    ASSERT_TRUE(app->Form().outPort.Connected());
    app->View().Timer().stop();
  }
  void TearDown() override { app.reset(); }

  ScopedWorkDir dir;
  Pty a, b, out;
  std::unique_ptr<WindowApp> app;
};

TEST_F(RunningWindow, ShowsEveryOpenedPortAndIsFullyBuilt) {
  corvane::QtView& view = app->View();
  EXPECT_TRUE(view.Window().isVisible());
  EXPECT_TRUE(view.Window().LEDPortA->On());
  EXPECT_TRUE(view.Window().LEDPortB->On());
  EXPECT_TRUE(view.Window().LEDOut->On());
  EXPECT_EQ(view.Window().COMPortLabel->text(), QString::fromStdString(a.path()));
  EXPECT_EQ(view.Window().RigNameLabel->text(), QString::fromStdString(b.path()));
  EXPECT_EQ(view.Window().RigFreqLabel->text(), QString::fromStdString(out.path()));
  EXPECT_EQ(view.Window().QueueRead->text(), "0");
  EXPECT_EQ(view.Window().QueueWrite->text(), "0");
  EXPECT_EQ(view.ApplicationTitle(), "Corvane");
  EXPECT_EQ(view.Window().CommandMenu().actions().size(), 10);
  ASSERT_NE(view.Tray().Menu(), nullptr);
  EXPECT_TRUE(view.Tray().Added());
  EXPECT_EQ(view.Tray().Tip().toStdString(), app->Form().TrayTip());
  ASSERT_NE(view.AboutDialog(), nullptr);
  EXPECT_EQ(view.AboutDialog()->Title(), "OmniRig to FT2K CAT Bridge");
  EXPECT_EQ(view.AboutDialog()->ProductName(), "Corvane 2.0.000-0010");
  EXPECT_FALSE(view.AboutDialog()->Icon().isNull());
  EXPECT_TRUE(app->Form().hTimerEnabled);
}

TEST_F(RunningWindow, QueueCaptionsFollowTheBridge) {
  corvane::MainWindow& window = app->View().Window();
  TCorvaneForm& form = app->Form();
  a.Send("FA;");
  DeliverFromAnotherThread([&] { form.InPortARxChar(&form.InPortA, 3); });
  EXPECT_EQ(out.ReceiveUntil("FA;"), "FA;");
  EXPECT_EQ(window.QueueWrite->text(), "1");
  EXPECT_EQ(window.QueueRead->text(), "0");

  b.Send("FA;IF;");
  DeliverFromAnotherThread([&] { form.InPortBRxChar(&form.InPortB, 6); });
  EXPECT_EQ(out.ReceiveUntil("IF;"), "FB;IF;");
  EXPECT_EQ(window.QueueWrite->text(), "3");

  out.Send("FA14250000;");
  DeliverFromAnotherThread([&] { form.outPortRxChar(&form.outPort, 14); });
  EXPECT_EQ(a.ReceiveUntil("FA14250000;"), "FA14250000;");
  EXPECT_EQ(window.QueueRead->text(), "1");
  out.Send("FB07010000;");
  DeliverFromAnotherThread([&] { form.outPortRxChar(&form.outPort, 14); });
  EXPECT_EQ(b.ReceiveUntil("FA07010000;"), "FA07010000;");
  EXPECT_EQ(window.QueueRead->text(), "2");
}

TEST_F(RunningWindow, ResetSyncReopensThePortsAndKeepsTheWaitingCommands) {
  app->Form().ReadPointer = 5;
  app->Form().WritePointer = 9;
  QAction* reset = CommandAction(*app, corvane::kCmdResetSync);
  ASSERT_NE(reset, nullptr);
  reset->trigger();
  EXPECT_EQ(app->Form().ReadPointer, 5u);
  EXPECT_EQ(app->Form().WritePointer, 9u);
  EXPECT_TRUE(app->Form().InPortA.Connected());
  EXPECT_TRUE(app->Form().InPortB.Connected());
  EXPECT_TRUE(app->Form().outPort.Connected());
  for (const char* line : {"PORTA", "PORTB", "PORTO"}) EXPECT_EQ(app->Errors().Repeats(line), 0u);
}

TEST_F(RunningWindow, AboutCommandShowsTheAboutBox) {
  QString shownTitle;
  ModalWatcher watcher([&](QWidget* box) {
    shownTitle = box->windowTitle();
    box->close();
  });
  QAction* about = CommandAction(*app, corvane::kCmdAbout);
  ASSERT_NE(about, nullptr);
  about->trigger();
  ASSERT_EQ(watcher.seen().size(), 1u);
  EXPECT_EQ(shownTitle, "OmniRig to FT2K CAT Bridge");
}

TEST_F(RunningWindow, ExitCancelledChangesNothing) {
  const std::string before = ReadFile(dir.File("Corvane.INI"));
  ModalWatcher watcher([](QWidget* box) { ClickButton(box, QMessageBox::Cancel); });
  TrayAction(*app, "Exit")->trigger();
  ASSERT_EQ(watcher.seen().size(), 1u);
  EXPECT_EQ(watcher.seen()[0].title, "Warning!");
  EXPECT_EQ(watcher.seen()[0].text, "Do you really want to exit?");
  EXPECT_EQ(ReadFile(dir.File("Corvane.INI")), before);
  EXPECT_TRUE(app->View().Window().isVisible());
  EXPECT_TRUE(app->View().Tray().Added());
  EXPECT_FALSE(app->Finished());
}

TEST_F(RunningWindow, ExitConfirmedRemovesTheIconWritesTheFileAndCloses) {
  WriteFile(dir.File("Corvane.INI"), "[SETTINGS]\nLOGFILE=keep.log\n");
  app->Form().TraceOn = false;
  ModalWatcher watcher([](QWidget* box) { ClickButton(box, QMessageBox::Ok); });
  TrayAction(*app, "Exit")->trigger();
  ASSERT_EQ(watcher.seen().size(), 1u);
  EXPECT_FALSE(app->View().Tray().Added());
  EXPECT_FALSE(app->View().Window().isVisible());
  EXPECT_TRUE(app->Finished());
  const std::string ini = ReadFile(dir.File("Corvane.INI"));
  EXPECT_NE(ini.find("LOGFILE=keep.log"), std::string::npos) << ini;
  EXPECT_NE(ini.find("PORTA=" + a.path()), std::string::npos) << ini;
  EXPECT_NE(ini.find("PORTB=" + b.path()), std::string::npos) << ini;
  EXPECT_NE(ini.find("PORTO=" + out.path()), std::string::npos) << ini;
  EXPECT_NE(ini.find("TRACE=NOT"), std::string::npos) << ini;
}

TEST_F(RunningWindow, ClosingTheWindowWritesTheFile) {
  WriteFile(dir.File("Corvane.INI"), "");
  app->View().Window().close();
  EXPECT_TRUE(app->Finished());
  const std::string ini = ReadFile(dir.File("Corvane.INI"));
  EXPECT_NE(ini.find("PORTO=" + out.path()), std::string::npos) << ini;
}

TEST_F(RunningWindow, RepeatedErrorShowsOneBoxAndCountsTheRest) {
  // The transceiver's line disappears for good: every reset and every tick now fails on it.
  // (A closed pty's name can be handed to another pty while the test runs.)
  app->Form().outPort.ClosePort();
  app->Form().outPort.SetPort(dir.File("NO_SUCH_RADIO"));
  out.Close();
  corvane::MainWindow& window = app->View().Window();
  size_t repeatsWhileShown = 0;
  int boxesWhileShown = 0;
  ModalWatcher watcher([&](QWidget* box) {
    // The operator presses Reset again while the watchdog's message is still open.
    window.ResetButton->click();
    repeatsWhileShown = app->Errors().Repeats("PORTO");
    boxesWhileShown = OpenMessageBoxes();
    ClickButton(box, QMessageBox::Ok);
  });
  app->View().Timer().start();
  ASSERT_TRUE(WaitFor([&] { return !watcher.seen().empty(); }));
  EXPECT_EQ(watcher.seen()[0].title, "Corvane");
  EXPECT_EQ(repeatsWhileShown, 1u);
  EXPECT_EQ(boxesWhileShown, 1);
  // Later ticks fail the same way; they are counted and no second box appears.
  EXPECT_TRUE(WaitFor([&] { return app->Errors().Repeats("PORTO") >= 3; }));
  EXPECT_EQ(watcher.seen().size(), 1u);
  EXPECT_EQ(OpenMessageBoxes(), 0);
}

TEST(StartupWindow, FailedOutPortStillStartsTheWatchdogThatPicksTheLineUpLater) {
  ScopedWorkDir dir;
  Pty a, b;
  const std::string missing = dir.File("NO_SUCH_RADIO");
  WriteFile(dir.File("Corvane.INI"), IniText(a.path(), b.path(), missing));
  WindowApp app({});
  ModalWatcher watcher([](QWidget* box) { ClickButton(box, QMessageBox::Ok); });
  app.Start();

  ASSERT_EQ(watcher.seen().size(), 1u);
  EXPECT_FALSE(watcher.seen()[0].text.isEmpty());
  corvane::MainWindow& window = app.View().Window();
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(window.LEDPortA->On());
  EXPECT_TRUE(window.LEDPortB->On());
  EXPECT_FALSE(window.LEDOut->On());
  EXPECT_TRUE(app.View().Tray().Added() || !QSystemTrayIcon::isSystemTrayAvailable());
  EXPECT_TRUE(app.View().Timer().isActive());
  EXPECT_TRUE(app.Form().hTimerEnabled);

  // The transceiver's line appears: the next tick opens it, and the same error coming back
  // later is a new occurrence.
  Pty rig;
  ASSERT_EQ(::symlink(rig.path().c_str(), missing.c_str()), 0);
  app.Form().hTimerTimer(&app.Form());
  EXPECT_TRUE(app.Form().outPort.Connected());
  EXPECT_TRUE(window.LEDOut->On());
  EXPECT_EQ(watcher.seen().size(), 1u);
}

TEST(StartupWindow, TrayTipIsCutForLongPortNames) {
  ScopedWorkDir dir;
  Pty a, b, out;
  // Names long enough that the tip cannot hold them.
  const std::string linkA = dir.File("PORT_A_OF_THE_FIRST_CLIENT_PROGRAM");
  const std::string linkB = dir.File("PORT_B_OF_THE_SECOND_CLIENT_PROGRAM");
  ASSERT_EQ(symlink(a.path().c_str(), linkA.c_str()), 0);
  ASSERT_EQ(symlink(b.path().c_str(), linkB.c_str()), 0);
  WriteFile(dir.File("Corvane.INI"), IniText(linkA, linkB, out.path()));
  WindowApp app({});
  app.Start();
  ASSERT_TRUE(app.Form().outPort.Connected());
  app.View().Timer().stop();

  const std::string full = "Corvane (" + app.Form().InPortA.Port() + ":" +
                           app.Form().InPortB.Port() + ")<>(" + app.Form().outPort.Port() + ")";
  ASSERT_GT(full.size(), 63u);
  EXPECT_EQ(app.View().Tray().Tip().toStdString(), full.substr(0, 63));
}

}  // namespace
