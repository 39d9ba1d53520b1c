// The combo box's settled choice, and splitter drags with real mouse messages, Escape and a
// lost capture.
#include <string>

#include "control_test_support.h"
#include "toolkit/combo_box.h"
#include "toolkit/form.h"
#include "toolkit/layout.h"
#include "toolkit/panel.h"
#include "toolkit/splitter.h"

namespace velmora {
namespace {

using namespace testing;

std::string Percent(int index) { return std::to_string((index + 1) * 10) + "%"; }

// Catches a choice that does not reach OnSelectionChange, one that fires it twice, and the
// program's own selection firing it.
TEST(Combo, TheUsersSettledChoiceFiresOnSelectionChangeOnce) {
  Control* form = MakeForm(nullptr, "Choice");
  FormGuard guard{form};
  Control* combo = SetSize(SetPosition(MakeComboBox(form, ComboNoIntegralHeight), 20, 10), 60, 0);
  for (int i = 0; i < 10; ++i) SetItemText(combo, i, Percent(i));
  ClickLog changes, clicks;
  combo->OnSelectionChange = MakeCallback(&changes, &ClickLog::Count);
  combo->OnClick = MakeCallback(&clicks, &ClickLog::Count);
  ShowTree(form);
  SetItemIndex(combo, 2);
  Pump();
  EXPECT_EQ(changes.count, 0) << "the program's own choice";

  // The list reports a new choice as the system does: the selection, then CBN_SELCHANGE.
  SendMessageA(combo->WindowHandle, CB_SETCURSEL, 4, 0);
  SendCommand(form, combo, CBN_SELCHANGE);
  EXPECT_EQ(changes.count, 0) << "fired before the choice has settled";
  Pump();
  EXPECT_EQ(changes.count, 1);
  EXPECT_EQ(changes.sender, combo);
  EXPECT_EQ(GetItemIndex(combo), 4);
  EXPECT_EQ(clicks.count, 0);
}

// A form with a left column, a splitter and a client area, shown on the screen.
struct SplitWindow {
  static constexpr int ClientWidth = 600;
  static constexpr int LeftWidth = 200;
  Control* form = SetPosition(SetClientSize(MakeForm(nullptr, "Split"), ClientWidth, 300), 40, 40);
  FormGuard guard{form};
  Control* left = SetSize(SetAlign(MakePanel(form, PanelRaised), AlignLeft), LeftWidth, 0);
  Control* splitter;
  Control* right;
  POINT grip{};

  SplitWindow(int minBefore, int minAfter)
      : splitter(MakeSplitter(form, minBefore, minAfter)),
        right(SetAlign(MakePanel(form, PanelRaised), AlignClient)) {
    ShowTree(form);
  }
  // Moves the cursor dx to the side of where the button went down (the splitter's middle)
  // and posts the mouse message there.
  void Mouse(UINT message, int dx) {
    if (message == WM_LBUTTONDOWN) {
      RECT r;
      GetWindowRect(splitter->WindowHandle, &r);
      grip = POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    SetCursorPos(grip.x + dx, grip.y);
    POINT p{grip.x + dx, grip.y};
    ScreenToClient(splitter->WindowHandle, &p);
    PostMessageA(splitter->WindowHandle, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                 MAKELPARAM(p.x, p.y));
    Pump();
  }
  // The left column is `width` wide and the rest lies beside it with the margin between.
  void ExpectDocked(int width) {
    const int m = form->AlignMargin;
    const int s = m + width + m;
    const int w = splitter->GetWidth();
    EXPECT_EQ(left->GetBounds().right, m + width);
    EXPECT_EQ(splitter->GetBounds().left, s);
    EXPECT_EQ(right->GetBounds().left, s + w + m);
    EXPECT_EQ(right->GetBounds().right, ClientWidth - m);
  }
};

// Catches a drag that does not resize or re-dock, a stuck drag and a capture never released.
TEST(Splitter, DragResizesTheColumnEscapePutsItBackALostCaptureEndsIt) {
  SplitWindow w(0, 0);
  w.ExpectDocked(SplitWindow::LeftWidth);
  w.Mouse(WM_LBUTTONDOWN, 0);
  EXPECT_EQ(GetCapture(), w.splitter->WindowHandle);
  w.Mouse(WM_MOUSEMOVE, 60);
  w.ExpectDocked(SplitWindow::LeftWidth + 60);
  w.Mouse(WM_LBUTTONUP, -50);
  w.ExpectDocked(SplitWindow::LeftWidth - 50);
  EXPECT_FALSE(w.splitter->Dragging);
  EXPECT_EQ(GetCapture(), nullptr);
  w.Mouse(WM_MOUSEMOVE, 100);  // with the button up, moving drags nothing
  w.ExpectDocked(SplitWindow::LeftWidth - 50);

  w.Mouse(WM_LBUTTONDOWN, 0);
  w.Mouse(WM_MOUSEMOVE, 80);
  ASSERT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth + 30);
  // Held through the system's input queue until the drag timer has seen it (bounded).
  keybd_event(VK_ESCAPE, 0, 0, 0);
  for (int i = 0; i < 40 && w.splitter->Dragging; ++i) Pump(50);
  keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
  Pump();
  EXPECT_FALSE(w.splitter->Dragging);
  EXPECT_EQ(GetCapture(), nullptr);
  w.ExpectDocked(SplitWindow::LeftWidth - 50);

  w.Mouse(WM_LBUTTONDOWN, 0);
  w.Mouse(WM_MOUSEMOVE, 30);
  SetCapture(w.right->WindowHandle);  // another window takes the mouse
  Pump();
  ReleaseCapture();
  EXPECT_FALSE(w.splitter->Dragging);
  w.Mouse(WM_MOUSEMOVE, 90);
  w.ExpectDocked(SplitWindow::LeftWidth - 20);
}

}  // namespace
}  // namespace velmora
