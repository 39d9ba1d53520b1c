// Labels and paint boxes.
#include "toolkit/label.h"

namespace velmora {

const KindTable LabelKind = {
    .ClickCode = STN_CLICKED,
    .AutoSizeExtraWidth = 1,
    .AutoSizeExtraHeight = 1,
};

Control* MakeLabel(Control* parent, const std::string& text) {
  Control* label = MakeChildControl(parent, "STATIC", LabelStyle, false, &LabelKind);
  label->IsLabel = true;
  label->SetHeight(22);
  label->SetText(text);
  return label;
}

Control* MakePaintBox(Control* parent) {
  Control* box = MakeLabel(parent, "");
  RECT r = box->GetBounds();
  r.right -= 24;
  r.bottom += 18;
  box->SetBounds(r);
  return box;
}

}  // namespace velmora
