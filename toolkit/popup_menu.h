// A context menu shown where the user asked for it: at the mouse, or at the control when it
// came from the keyboard (Shift+F10 or the menu key). Relies on toolkit/control.h and user32.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

class Control;

struct MenuItem {
  std::string Text;  // "&Copy"; an empty text makes a separator
  uint32_t Id = 0;   // not 0
  bool Enabled = true;
};

// Where a WM_CONTEXTMENU whose lParam is `position` opens its menu for the control, in screen
// coordinates: that point when it came from the mouse; for the keyboard (-1, -1) the control's
// top left corner a little inside, so that the menu hangs from the control.
POINT ContextMenuPoint(Control* control, LPARAM position);

// Shows the menu at `at` (screen coordinates) for the control's window and waits for the
// choice: the chosen item's Id, 0 when the menu was closed without one.
uint32_t ShowPopupMenu(Control* control, const std::vector<MenuItem>& items, POINT at);

}  // namespace velmora
