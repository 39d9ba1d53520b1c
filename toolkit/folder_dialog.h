// The system's folder dialog: the common item dialog picking folders (Windows Vista and later),
// typed paths included. Relies on ole32 and the shell's dialog objects.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

enum class FolderChoice : uint8_t { Chosen, Cancelled, Unavailable };

// Shows the dialog modally over owner with the title. Chosen: *folder holds the folder's path
// in the ANSI code page, ending in '\'. Unavailable: the system has no such dialog (or no file
// system folder was chosen); the caller asks another way.
FolderChoice ChooseFolder(HWND owner, const std::string& title, std::string* folder);

}  // namespace velmora
