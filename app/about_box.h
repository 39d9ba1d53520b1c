// "About Velmora" in the window's system menu: the program's version, its licence and the
// notices of the libraries built into it, in a modal box read and closed with the keyboard.
// Relies on the toolkit's Control (message handlers) and on the resources of app/velmora.rc.in.
#pragma once

namespace velmora {

class Control;

// The system menu's command of the item; a multiple of 16, as the system asks.
inline constexpr unsigned AboutCommand = 0x0100;

// Appends "About Velmora..." to the form's system menu and shows the box when it is chosen.
void AddAboutItem(Control* form);

}  // namespace velmora
