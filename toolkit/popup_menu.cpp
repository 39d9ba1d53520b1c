// The context menu: a popup menu made for one showing and destroyed after it.
#include "toolkit/popup_menu.h"

#include <windowsx.h>

#include "toolkit/control.h"

namespace velmora {

POINT ContextMenuPoint(Control* control, LPARAM position) {
  POINT at{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
  if (at.x != -1 || at.y != -1) return at;
  const int inset = GetSystemMetrics(SM_CXSMICON) / 2;  // follows the screen's DPI
  at = {inset, inset};
  ClientToScreen(control->GetWindowHandle(), &at);
  return at;
}

uint32_t ShowPopupMenu(Control* control, const std::vector<MenuItem>& items, POINT at) {
  HMENU menu = CreatePopupMenu();
  if (!menu) return 0;
  for (const MenuItem& item : items) {
    if (item.Text.empty())
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    else
      AppendMenuA(menu, MF_STRING | (item.Enabled ? MF_ENABLED : MF_GRAYED), item.Id,
                  item.Text.c_str());
  }
  const UINT chosen = static_cast<UINT>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, at.x,
                     at.y, 0, control->GetWindowHandle(), nullptr));
  DestroyMenu(menu);
  return chosen;
}

}  // namespace velmora
