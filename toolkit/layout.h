// Chainable geometry setters, docking of child controls inside their parent (SetAlign with
// the three placing passes of AlignChildren) and auto-size of labels and buttons to their text.
// Relies on toolkit/control.h (Bounds, Align, AlignHook) and the canvas's text measuring.
#pragma once

#include <cstdint>

#include "toolkit/control.h"

namespace velmora {

// SetLeft(x), then SetTop(y).
Control* SetPosition(Control* control, int32_t x, int32_t y);
// Outer size; a value of 0 or below keeps that dimension.
Control* SetSize(Control* control, int32_t width, int32_t height);
// Sizes the window so that its client area becomes width x height (0 or below keeps it).
// Creates the window (hidden) when it does not exist yet.
Control* SetClientSize(Control* control, int32_t width, int32_t height);
// Centres the whole window on the screen (top-level) or in the parent's client area (child).
void Center(Control* control);

// Docks the control (AlignNone ... AlignClient) and switches AlignHook to AlignChildren.
Control* SetAlign(Control* control, uint8_t align);
// On: the control follows its text (AfterTextChange = AutoSizeToText, run at once). Off: stops.
Control* SetAutoSize(Control* control, bool on);

// Places the docked children of control: top and bottom ones first, then left and right,
// then the client ones, each group in creation order. Nested docked children follow.
void AlignChildren(Control* control);
// Whether the control is shown (or waiting to be shown) along its whole chain of parents.
bool TakesPartInLayout(Control* control);
// Sizes the control to its caption plus the extras of its kind.
void AutoSizeToText(Control* control);

}  // namespace velmora
