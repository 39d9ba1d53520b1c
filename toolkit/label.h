// Labels and paint boxes: static child windows with click notification, and the label
// kind table that panels and splitters share. Relies on toolkit/control.h.
#pragma once

#include <string>

#include "toolkit/control.h"

namespace velmora {

// Static windows with SS_NOTIFY, SS_NOPREFIX and SS_LEFTNOWORDWRAP.
constexpr DWORD LabelStyle = 0x5000018C;

// Kind table of labels, panels, paint boxes and splitters (STN_CLICKED fires OnClick;
// auto-size adds 1 to the text width and height).
extern const KindTable LabelKind;

// A label 22 pixels high at the parent's default place, showing text.
Control* MakeLabel(Control* parent, const std::string& text);
// A text-less label of 40 x 40 whose whole drawing comes from its OnPaint event.
Control* MakePaintBox(Control* parent);

}  // namespace velmora
