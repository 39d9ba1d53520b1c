// Panels: framed static child windows that hold other controls. Relies on toolkit/control.h
// and the label kind table of toolkit/label.h.
#pragma once

#include <cstdint>

#include "toolkit/control.h"

namespace velmora {

// Frame of a panel: raised (WS_DLGFRAME), sunken (SS_SUNKEN) or none.
using PanelEdge = int32_t;
constexpr PanelEdge PanelRaised = 0;
constexpr PanelEdge PanelSunken = 1;
constexpr PanelEdge PanelFlat = 2;

// A 100 x 100 panel at the parent's default place.
Control* MakePanel(Control* parent, PanelEdge edge);

}  // namespace velmora
