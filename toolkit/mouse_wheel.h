// The mouse wheel over a control: turns of the wheel while the cursor is over the control (or
// anything inside it) fire its wheel event, wherever the keyboard focus is. Relies on
// toolkit/control.h and the message loop's WheelPreviewHook.
#pragma once

#include <cstdint>

#include "toolkit/control.h"

namespace velmora {

// Fired once per whole notch: notches > 0 when the wheel turned away from the user.
using WheelProc = void (*)(void* owner, Control* sender, int32_t notches);

// Sends the wheel turned over control to callback (fired as WheelProc) from now until the
// control is destroyed; a later call replaces the callback. Turns while the control's window
// is disabled (a dialog of the program is open) are left alone.
void SetWheelHandler(Control* control, Callback callback);

// Whether the screen point lies over control's window or one of its descendants.
bool IsOverControl(Control* control, POINT screenPoint);

}  // namespace velmora
