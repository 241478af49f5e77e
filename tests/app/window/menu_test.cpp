#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QTest>
#include <string>
#include <vector>

#include "app/window/command_menu.h"
#include "app/window/qt_view.h"
#include "tests/app/window/window_test_support.h"

namespace {

using corvane::CommandIdOf;
using corvane::QtView;
using corvane::WindowCommands;
using namespace corvane::test;

struct Entry {
  const char* text;  // nullptr: separator
  uint32_t id;
};

void ExpectMenu(const QMenu& menu, const std::vector<Entry>& expected) {
  const QList<QAction*> actions = menu.actions();
  ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    QAction* action = actions[static_cast<qsizetype>(i)];
    if (expected[i].text == nullptr) {
      EXPECT_TRUE(action->isSeparator());
      continue;
    }
    EXPECT_EQ(action->text().toStdString(), expected[i].text);
    EXPECT_EQ(CommandIdOf(action), expected[i].id);
  }
}

const std::vector<Entry> kStandardMenu = {
    {"Mi&nimize", 0xF020}, {nullptr, 0}, {"&Close\tAlt+F4", 0xF060}};

const std::vector<Entry> kExtendedMenu = {{"Mi&nimize", 0xF020},
                                          {nullptr, 0},
                                          {"&Quit\tAlt+F4", 0xF060},
                                          {nullptr, 0},
                                          {"COM Port A Settings", 444},
                                          {"COM Port B Settings", 445},
                                          {"COM Port Out Settings", 446},
                                          {"Reset Sync FT2000", 447},
                                          {nullptr, 0},
                                          {"&About...", 666}};

// Records which command the view called.
struct Recorder {
  std::vector<std::string> calls;
  std::vector<uint32_t> sysCommands;

  WindowCommands Commands() {
    auto note = [this](const char* what) { return [this, what] { calls.push_back(what); }; };
    return {[this](uint32_t id) { sysCommands.push_back(id); },
            note("Reset"),
            note("SettingsA"),
            note("SettingsB"),
            note("SettingsOut"),
            note("About"),
            note("Exit"),
            note("Timer")};
  }
};

TEST(CommandMenu, StandardEntriesUntilTheProgramExtendsThem) {
  QtView view;
  ExpectMenu(view.Window().CommandMenu(), kStandardMenu);
  view.BuildSystemMenu();
  ExpectMenu(view.Window().CommandMenu(), kExtendedMenu);
}

TEST(CommandMenu, EveryEntryGoesThroughOneRoutineWithItsId) {
  QtView view;
  Recorder recorder;
  view.SetCommands(recorder.Commands());
  view.BuildSystemMenu();
  view.ShowWindow();
  std::vector<uint32_t> triggered;
  for (QAction* action : view.Window().CommandMenu().actions()) {
    uint32_t id = CommandIdOf(action);
    if (id == 0 || id == corvane::kScClose) continue;
    action->trigger();
    triggered.push_back(id);
  }
  EXPECT_EQ(recorder.sysCommands, triggered);
  EXPECT_EQ(triggered, (std::vector<uint32_t>{0xF020, 444, 445, 446, 447, 666}));
  EXPECT_TRUE(recorder.calls.empty());
}

TEST(CommandMenu, MinimiseAndQuitActOnTheWindowBeforeTheBridgeSeesThem) {
  QtView view;
  Recorder recorder;
  view.SetCommands(recorder.Commands());
  view.BuildSystemMenu();
  int closed = 0;
  view.Window().SetOnClose([&] { ++closed; });
  view.ShowWindow();

  view.Window().SysCommand(corvane::kScMinimize);
  EXPECT_TRUE(view.Window().isMinimized());
  view.Window().SysCommand(corvane::kScClose);
  EXPECT_FALSE(view.Window().isVisible());
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(recorder.sysCommands, (std::vector<uint32_t>{0xF020, 0xF060}));
}

TEST(TrayMenu, EntriesInOrderEachCallingItsHandler) {
  QtView view;
  Recorder recorder;
  view.SetCommands(recorder.Commands());
  view.BuildTrayMenu();
  QMenu* menu = view.Tray().Menu();
  ASSERT_NE(menu, nullptr);
  const char* const texts[] = {"PORTA Settings", "PORTB Settings", "OUT Settings",
                               "Reset Sync",     "About",          "Exit"};
  const char* const handlers[] = {"SettingsA", "SettingsB", "SettingsOut",
                                  "Reset",     "About",     "Exit"};
  ASSERT_EQ(menu->actions().size(), 6);
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(texts[i]);
    QAction* action = menu->actions()[i];
    EXPECT_EQ(action->text().toStdString(), texts[i]);
    action->trigger();
    ASSERT_EQ(recorder.calls.size(), static_cast<size_t>(i + 1));
    EXPECT_EQ(recorder.calls.back(), handlers[i]);
  }
}

TEST(TrayIcon, RightClickRestoresTheWindowAndOpensTheMenuLeftClickDoesNothing) {
  QtView view;
  view.BuildTrayMenu();
  view.ShowWindow();
  view.Window().showMinimized();
  ASSERT_TRUE(WaitFor([&] { return view.Window().isMinimized(); }));

  view.Tray().Activated(QSystemTrayIcon::Trigger);
  view.Tray().Activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(view.Window().isMinimized());
  EXPECT_FALSE(view.Tray().Menu()->isVisible());

  view.Tray().Activated(QSystemTrayIcon::Context);
  EXPECT_FALSE(view.Window().isMinimized());
  EXPECT_TRUE(WaitFor([&] { return view.Tray().Menu()->isVisible(); }));
  view.Tray().Menu()->hide();
}

TEST(TrayIcon, KeepsTheTipWithoutASystemTrayAndSaysSoInTheTrace) {
  QtView view;
  std::vector<std::string> trace;
  view.SetTrace([&](const std::string& line) { trace.push_back(line); });
  EXPECT_FALSE(view.Tray().Added());
  view.AddTrayIcon("Corvane (COM11:COM13)<>(COM4)");
  EXPECT_TRUE(view.Tray().Added());
  EXPECT_EQ(view.Tray().Tip(), "Corvane (COM11:COM13)<>(COM4)");
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    EXPECT_TRUE(view.Tray().Shown());
  } else {
    EXPECT_FALSE(view.Tray().Shown());
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0].rfind("<AddTrayIcon>", 0), 0u);
  }
  view.RemoveTrayIcon();
  EXPECT_FALSE(view.Tray().Added());
  view.RemoveTrayIcon();
}

TEST(MessageBox, AnswersFollowTheButtonPressed) {
  struct Case {
    TCorvaneView::Buttons buttons;
    QMessageBox::StandardButton press;
    int answer;
  };
  const Case cases[] = {
      {TCorvaneView::Buttons::OK, QMessageBox::Ok, TCorvaneView::idOK},
      {TCorvaneView::Buttons::OKCancel, QMessageBox::Ok, TCorvaneView::idOK},
      {TCorvaneView::Buttons::OKCancel, QMessageBox::Cancel, TCorvaneView::idCancel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.press));
    QtView view;
    ModalWatcher watcher([&](QWidget* box) { ClickButton(box, c.press); });
    EXPECT_EQ(view.MessageBox("Do you really want to exit?", "Warning!", c.buttons), c.answer);
    ASSERT_EQ(watcher.seen().size(), 1u);
    EXPECT_EQ(watcher.seen()[0].title, "Warning!");
    EXPECT_EQ(watcher.seen()[0].text, "Do you really want to exit?");
  }
}

}  // namespace
