// Splitters: a thin sunken panel docked next to the control before it; dragging it with the
// mouse resizes that control and re-docks the rest, Escape during the drag puts it back.
// Relies on toolkit/control.h, toolkit/panel.h and toolkit/layout.h.
#pragma once

#include <cstdint>

#include "toolkit/control.h"

namespace velmora {

// A 4 x 4 splitter. When the parent already has a child before it, the splitter takes that
// child's docking and the matching sizing cursor. A drag keeps the control before it at
// least minSizeBefore and what remains of the parent at least minSizeAfter.
Control* MakeSplitter(Control* parent, int32_t minSizeBefore, int32_t minSizeAfter);

// The splitter's attached handler.
bool SplitterHandler(Control* splitter, WindowMessage& message, LRESULT* result);

// The control a splitter resizes: its sibling just before it (itself when it is the first).
Control* SplitterTarget(Control* splitter);

}  // namespace velmora
