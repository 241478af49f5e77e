#include "app/window/command_menu.h"

#include <QAction>
#include <QMenu>

namespace corvane {
namespace {

QAction* AddCommand(QMenu& menu, const char* text, uint32_t id) {
  QAction* action = menu.addAction(QString::fromLatin1(text));
  action->setData(QVariant::fromValue<uint>(id));
  return action;
}

QAction* FindCommand(const QMenu& menu, uint32_t id) {
  for (QAction* action : menu.actions()) {
    if (CommandIdOf(action) == id) return action;
  }
  return nullptr;
}

}  // namespace

void AddStandardCommands(QMenu& menu) {
  AddCommand(menu, "Mi&nimize", kScMinimize);
  menu.addSeparator();
  AddCommand(menu, "&Close\tAlt+F4", kScClose);
}

void ExtendCommandMenu(QMenu& menu) {
  if (QAction* close = FindCommand(menu, kScClose)) close->setText("&Quit\tAlt+F4");
  menu.addSeparator();
  AddCommand(menu, "COM Port A Settings", kCmdSettingsA);
  AddCommand(menu, "COM Port B Settings", kCmdSettingsB);
  AddCommand(menu, "COM Port Out Settings", kCmdSettingsOut);
  AddCommand(menu, "Reset Sync FT2000", kCmdResetSync);
  menu.addSeparator();
  AddCommand(menu, "&About...", kCmdAbout);
}

uint32_t CommandIdOf(const QAction* action) {
  if (action == nullptr || action->isSeparator()) return 0;
  bool ok = false;
  uint id = action->data().toUInt(&ok);
  return ok ? id : 0;
}

}  // namespace corvane
