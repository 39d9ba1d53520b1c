// Push buttons.
#include "toolkit/button.h"

namespace velmora {

const KindTable ButtonKind = {
    .ClickCode = BN_CLICKED,
    .AutoSizeExtraWidth = 14,
    .AutoSizeExtraHeight = 0,
};

Control* MakeButton(Control* parent, const std::string& caption) {
  Control* button = MakeChildControl(parent, "BUTTON", ButtonStyle, false, &ButtonKind);
  button->SetHeight(22);
  button->SetText(caption);
  return button;
}

}  // namespace velmora
