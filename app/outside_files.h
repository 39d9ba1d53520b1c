// Files handed to Velmora from outside its window: the file named on the command line (how
// Explorer's "Open with", a "Send To" shortcut and a drop onto the program's icon start it) and
// files dropped onto the window. Relies on shell32, app/image_actions.h and the toolkit's form.
#pragma once

#include <string>

namespace velmora {

class MainForm;

// The first argument of the program's command line as a full path in the ANSI code page (a
// name that code page cannot hold is given by its short name), or "" when there is none.
std::string CommandLineFile();

// Lets the form take files dropped onto it, opening the first of each drop as Open does; and
// when the command line names a file, opens it the same way once the window has shown.
void AcceptOutsideFiles(MainForm* form);

}  // namespace velmora
