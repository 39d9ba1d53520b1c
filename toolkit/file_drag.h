// Dragging files out of the program with OLE drag and drop: a data object offering the file
// list (CF_HDROP, marked to be copied) and a drop source of our own, on the GUI thread.
// Relies on toolkit/clipboard.h (the file list block), ole32 and shell32.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

namespace velmora {

// Readies OLE on the calling thread (the GUI thread) once; true when it is ready.
bool EnsureOle();

// Drags the files from where the mouse is until the left button is let go (DoDragDrop); the
// Escape key or the right button cancels. Returns the effect the drop target chose:
// DROPEFFECT_COPY, or DROPEFFECT_NONE when nothing took the files, the drag was cancelled or
// could not start.
DWORD DragFiles(const std::vector<std::string>& paths);

// Whether the mouse, pressed at start (screen coordinates), has moved past the system's drag
// distance while the left button is held; false when it was let go first (a click).
bool DragStarted(HWND window, POINT start);

}  // namespace velmora
