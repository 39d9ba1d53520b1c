// Push buttons.
#include "toolkit/button.h"

namespace velmora {

const KindTable ButtonKind = {
    .ClearProc = ClearControlText,
    .ClickCode = BN_CLICKED,
    .EnterCode = BN_SETFOCUS,
    .LeaveCode = BN_KILLFOCUS,
    .TextAlignStyles = {0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x0C, 0x04, 0x08},
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
