// The paint event of controls and off-screen painting: a double-buffered control is drawn,
// with everything inside it, into a kept bitmap and copied to the screen in one blit.
// Relies on toolkit/control.h (hooks, PaintDC, buffer fields), user32 and gdi32.
#pragma once

#include "toolkit/control.h"

namespace velmora {

// OnPaint = callback (fired as PaintProc) and the paint handler is attached.
void SetPaintHandler(Control* control, Callback callback);

// DoubleBuffered = on; installs the off-screen painting hooks (also when on is false).
void SetDoubleBuffered(Control* control, bool on);

// The highest of control and its ancestors that is double-buffered, or null.
Control* BufferedAncestor(Control* control);

// Paints `buffered` (and what lies inside it) through its kept bitmap, then blits to the screen.
void PaintThroughBuffer(Control* buffered);

// Prints `first` and its following siblings, each with its children, into dc, placed
// relative to `base` (screen coordinates).
void PaintChain(HDC dc, const RECT& base, HWND first);

// The hooks SetDoubleBuffered installs.
bool DoubleBufferFilter(Control* control, WindowMessage& message, LRESULT* result);
void RepaintBufferedAncestor(Control* control);
void SubclassForeignChildren(Control* control);
LRESULT CALLBACK ForeignChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace velmora
