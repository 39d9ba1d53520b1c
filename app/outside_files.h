// Files handed to Velmora from outside its window: the files named on the command line (how
// Explorer's "Open with", a "Send To" shortcut and a drop onto the program's icon start it) and
// files dropped onto the window. Relies on shell32, app/image_actions.h and the toolkit's form.
#pragma once

#include <string>
#include <vector>

namespace velmora {

class MainForm;

// The arguments of the program's command line, in order, as full paths in the ANSI code page
// (a name that code page cannot hold is given by its short name); none when there are none.
std::vector<std::string> CommandLineFiles();

// Lets the form take files dropped onto it, opening all of a drop as Open opens the files
// chosen in its dialog; and when the command line names files, opens them the same way once
// the window has shown.
void AcceptOutsideFiles(MainForm* form);

}  // namespace velmora
