// Push buttons: BUTTON child windows whose BN_CLICKED fires OnClick.
// Relies on toolkit/control.h.
#pragma once

#include <string>

#include "toolkit/control.h"

namespace velmora {

// Tab stop and BS_PUSHLIKE.
constexpr DWORD ButtonStyle = 0x50011000;

// Kind table of push buttons (auto-size adds 14 to the text width, keeps the height).
extern const KindTable ButtonKind;

// A button 22 pixels high at the parent's default place, showing caption.
Control* MakeButton(Control* parent, const std::string& caption);

}  // namespace velmora
