// Panels.
#include "toolkit/panel.h"

#include "toolkit/label.h"

namespace velmora {

Control* MakePanel(Control* parent, PanelEdge edge) {
  Control* panel = MakeChildControl(parent, "STATIC", LabelStyle, false, &LabelKind);
  RECT r = panel->GetBounds();
  r.right += 36;
  r.bottom += 36;
  panel->SetBounds(r);
  panel->ExStyle |= WS_EX_CONTROLPARENT;
  if (edge == PanelRaised) {
    panel->Style |= WS_DLGFRAME;
  } else if (edge == PanelSunken) {
    panel->Style |= SS_SUNKEN;
  }
  return panel;
}

}  // namespace velmora
