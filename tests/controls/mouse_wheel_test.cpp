// The mouse wheel over a control through the message loop's wheel preview: turns over the
// control (or inside it) reach its handler in whole notches wherever the focus is; turns
// elsewhere, over a disabled window or after the control is gone are left alone.
#include <vector>

#include "control_test_support.h"
#include "toolkit/button.h"
#include "toolkit/form.h"
#include "toolkit/label.h"
#include "toolkit/layout.h"
#include "toolkit/mouse_wheel.h"
#include "toolkit/panel.h"

namespace velmora {
namespace {

using namespace testing;

struct WheelLog {
  std::vector<int32_t> Notches;
  Control* Sender = nullptr;
  static void Note(void* log, Control* sender, int32_t notches) {
    static_cast<WheelLog*>(log)->Notches.push_back(notches);
    static_cast<WheelLog*>(log)->Sender = sender;
  }
};

class MouseWheel : public ToolkitTest {
 protected:
  // A form with a panel holding a paint box on its left half and a button on the right.
  void SetUp() override {
    ToolkitTest::SetUp();
    form = SetPosition(SetClientSize(MakeForm(nullptr, "Wheel"), 400, 200), 50, 50);
    panel = SetSize(SetPosition(MakePanel(form, PanelRaised), 0, 0), 200, 200);
    box = SetAlign(MakePaintBox(panel), AlignClient);
    button = SetPosition(MakeButton(form, "Button"), 250, 50);
    ShowTree(form);
    SetForegroundWindow(form->WindowHandle);
  }
  void TearDown() override {  // also run first, by ToolkitTest::SetUp
    if (form != nullptr) form->Free();
    form = nullptr;
    ToolkitTest::TearDown();
  }

  // A turn of delta at the middle of control, as the message loop hands it to the preview
  // (addressed to the focus window); whether the preview took it.
  bool Turn(Control* control, int delta) {
    RECT r;
    GetWindowRect(control->WindowHandle, &r);
    const POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    const MSG message{GetFocus(),
                      WM_MOUSEWHEEL,
                      MAKEWPARAM(0, static_cast<int16_t>(delta)),
                      MAKELPARAM(at.x, at.y),
                      0,
                      at};
    const bool taken = WheelPreviewHook(message);
    Pump();
    return taken;
  }

  Control *form = nullptr, *panel = nullptr, *box = nullptr, *button = nullptr;
};

// Catches turns lost or sent to the wrong control, part notches fired early or dropped, the
// sign of the turn reversed, and turns over a disabled window taken.
TEST_F(MouseWheel, TurnsOverTheControlReachItsHandlerInWholeNotches) {
  WheelLog log;
  SetWheelHandler(panel, MakeCallback(&log, &WheelLog::Note));
  ASSERT_TRUE(button->TakeFocus());
  EXPECT_TRUE(Turn(box, WHEEL_DELTA));  // inside the panel, the focus elsewhere
  EXPECT_TRUE(Turn(panel, -2 * WHEEL_DELTA));
  EXPECT_TRUE(Turn(box, WHEEL_DELTA / 2));
  EXPECT_EQ(log.Notches, std::vector<int32_t>({1, -2})) << "half a notch is not one yet";
  EXPECT_TRUE(Turn(box, WHEEL_DELTA / 2));
  EXPECT_EQ(log.Notches, std::vector<int32_t>({1, -2, 1}));
  EXPECT_EQ(log.Sender, panel);

  EXPECT_FALSE(Turn(button, WHEEL_DELTA)) << "not over the panel";
  EnableWindow(form->WindowHandle, FALSE);
  EXPECT_FALSE(Turn(box, WHEEL_DELTA)) << "a dialog of the program is open";
  EnableWindow(form->WindowHandle, TRUE);
  EXPECT_EQ(log.Notches.size(), 3u);
}

// Catches a handler called after its control is gone, and a second registration that adds a
// second call instead of replacing the first.
TEST_F(MouseWheel, ALaterHandlerReplacesTheFirstAndNoneOutlivesItsControl) {
  WheelLog first, second;
  SetWheelHandler(panel, MakeCallback(&first, &WheelLog::Note));
  SetWheelHandler(panel, MakeCallback(&second, &WheelLog::Note));
  EXPECT_TRUE(Turn(box, WHEEL_DELTA));
  EXPECT_EQ(first.Notches.size() + second.Notches.size(), 1u);
  EXPECT_EQ(second.Notches.size(), 1u);

  RECT r;
  GetWindowRect(box->WindowHandle, &r);
  panel->Free();
  Pump();
  const POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  const MSG message{
      GetFocus(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(at.x, at.y), 0, at};
  EXPECT_FALSE(WheelPreviewHook(message));
  EXPECT_EQ(second.Notches.size(), 1u);
}

}  // namespace
}  // namespace velmora
