// Keyboard use of a form: Tab and Shift+Tab move the focus through its tab stops in the order
// they are seen, Enter presses the focused button, and Ctrl with a letter presses the button
// given for it. Relies on toolkit/control.h and the message loop's KeyPreviewHook.
#pragma once

#include <vector>

#include "toolkit/control.h"

namespace velmora {

// Turns the keyboard handling on for form, a top-level control, until it is destroyed.
void EnableKeyboard(Control* form);

// Ctrl+letter ('A' to 'Z') presses button, wherever the focus is in form; form's keyboard
// handling must be on. A later shortcut for the same letter replaces the earlier one.
void AddShortcut(Control* form, char letter, Control* button);

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
