// Keyboard use of a form: Tab and Shift+Tab move the focus through its tab stops in the order
// they are seen, Enter presses the focused button, and Ctrl with a letter, or a key of its own
// (such as Page Up), presses the button given for it. Relies on toolkit/control.h and the message
// loop's KeyPreviewHook.
#pragma once

#include <vector>

#include "toolkit/control.h"

namespace velmora {

// Turns the keyboard handling on for form, a top-level control, until it is destroyed.
void EnableKeyboard(Control* form);

// Ctrl+letter ('A' to 'Z') presses button, wherever the focus is in form; form's keyboard
// handling must be on. A later shortcut for the same letter replaces the earlier one.
void AddShortcut(Control* form, char letter, Control* button);

// The same for an action without a button: Ctrl+letter fires action as a ClickProc with the
// form as sender (Ctrl+C copying, say). It replaces an earlier shortcut of the letter, and is
// replaced by a later one.
void AddShortcutAction(Control* form, char letter, Callback action);

// The key (a virtual-key code such as VK_PRIOR), pressed without Ctrl, Alt or Shift, presses
// button wherever the focus is in form, while the button is shown and enabled and no combo
// box's list is open; otherwise the key goes on as before. Form's keyboard handling must be
// on. A later button for the same key replaces the earlier one.
void AddKeyButton(Control* form, WORD key, Control* button);

// The tab stops of form that can take the focus now (shown and enabled), in the order they are
// seen: rows from top to bottom, each row from left to right. Controls whose extents overlap
// vertically share a row.
std::vector<Control*> TabOrder(Control* form);

// Gives the focus to the tab stop after the one that has it (before it with backwards),
// wrapping around; to the first (last) when none has it. False when form has no tab stop.
bool MoveFocus(Control* form, bool backwards);

// The control of the window that has the focus, or of its nearest ancestor that has one
// (a combo box for its edit field); null when the focus is outside the toolkit's windows.
Control* FocusedControl();

}  // namespace velmora
