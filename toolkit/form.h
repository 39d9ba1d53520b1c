// Forms: top-level windows of the toolkit's own class that fill their background, give the
// focus back to the child that had it last and end the program at system shutdown.
// Relies on toolkit/control.h and toolkit/message_loop.h.
#pragma once

#include <string>

#include "toolkit/control.h"

namespace velmora {

// A form with the given caption; without a parent it is a main window.
Control* MakeForm(Control* parent, const std::string& caption);

// The form's attached handlers (the erase handler runs first).
bool FormFocusHandler(Control* form, WindowMessage& message, LRESULT* result);
bool FormEraseHandler(Control* form, WindowMessage& message, LRESULT* result);

}  // namespace velmora
