// The application's one message loop: Run, the processing of queued messages, Terminate,
// and the end-of-session shutdown that forms use. Relies on toolkit/control.h and user32.
#pragma once

#include "toolkit/control.h"

namespace velmora {

// Makes the control in `form` the AppWindow, creates and shows its window tree and loops until
// WM_QUIT (or until AppTerminated is set), then Terminate(form): `form` is empty on return.
void Run(Control*& form);

// Removes at most one queued message and dispatches it (WM_QUIT only sets AppTerminated; a
// keyboard message that KeyPreviewHook takes, or a wheel message that WheelPreviewHook takes,
// goes no further). True when a message other than number 0 was removed.
bool ProcessMessage(Control* control);
// ProcessMessage until it removes nothing (or removes a WM_NULL).
void ProcessMessages(Control* control);

// Ends the loop's state and destroys the AppWindow with its children; clears `form` first.
void Terminate(Control*& form);

// System shutdown: called by a form's WM_ENDSESSION handler (wParam true) from inside the
// form's handler walk. Drops the walk's reference, destroys the AppWindow at once and ends
// the process with the normal program exit; it does not return.
[[noreturn]] void EndSessionShutdown(Control* form);

}  // namespace velmora
