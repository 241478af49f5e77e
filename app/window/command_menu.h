#pragma once
// The window's command menu. Linux has no window system menu to extend, so its entries live
// in the window's context menu; each entry carries its command id (the standard ones the
// system's values), so one routine dispatches them as a Windows front end would dispatch
// WM_SYSCOMMAND.
#include <cstdint>

#include "app/bridge_constants.h"

class QAction;
class QMenu;

namespace corvane {

inline constexpr uint32_t kScMinimize = 0xF020;
inline constexpr uint32_t kScClose = 0xF060;

// The entries every window menu has before the program extends it: minimise and close.
void AddStandardCommands(QMenu& menu);
// Renames close to "&Quit" + tab + "Alt+F4" and appends the program's entries after it.
void ExtendCommandMenu(QMenu& menu);
// The command id of an entry; 0 for a separator or a foreign action.
uint32_t CommandIdOf(const QAction* action);

}  // namespace corvane
