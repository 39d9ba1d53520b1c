// Dragging files out of the program with OLE drag and drop: a data object offering the file
// list (CF_HDROP, marked to be copied) and a drop source of our own, on the GUI thread.
// Relies on toolkit/clipboard.h (the file list block), toolkit/control.h, ole32 and shell32.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "toolkit/object.h"

namespace velmora {

class Control;

// Readies OLE on the calling thread (the GUI thread) once; true when it is ready.
bool EnsureOle();

// Drags the files from where the mouse is until the left button is let go (DoDragDrop); the
// Escape key or the right button cancels. Returns the effect the drop target chose:
// DROPEFFECT_COPY, or DROPEFFECT_NONE when nothing took the files, the drag was cancelled or
// could not start.
DWORD DragFiles(const std::vector<std::string>& paths);

// Gives the files of a drag that is starting: fills *paths (none: nothing is dragged).
using DragFilesProc = void (*)(void* context, Control* sender, std::vector<std::string>* paths);

// Lets the user drag files out of the control: a press of the left button moved past the
// system's drag distance (SM_CXDRAG, SM_CYDRAG) asks `provide` (a DragFilesProc) for the
// files and drags them. The control's messages go on as before, so a press let go before
// that distance stays a click. `provide` is kept for the control's life.
void EnableFileDrag(Control* control, Callback provide);

}  // namespace velmora
