// The splitter: docking and cursor taken from the control before it, mouse drags that resize
// that control within the minimum sizes, Escape that puts it back and a lost capture.
#include <gtest/gtest.h>

#include "control_test_support.h"
#include "toolkit/form.h"
#include "toolkit/layout.h"
#include "toolkit/panel.h"
#include "toolkit/splitter.h"

namespace velmora {
namespace {

using testing::FormGuard;
using testing::MiddleOf;
using testing::Pump;
using testing::ShowTree;

// A form with a left column, a splitter and a client area, shown on the screen.
struct SplitWindow {
  static constexpr int ClientWidth = 600;
  static constexpr int LeftWidth = 200;
  Control* form = MakeForm(nullptr, "Split");
  FormGuard guard{form};
  Control* left = nullptr;
  Control* splitter = nullptr;
  Control* right = nullptr;
  POINT grip{};

  SplitWindow(int minBefore, int minAfter) {
    SetPosition(SetClientSize(form, ClientWidth, 300), 40, 40);
    left = SetSize(SetAlign(MakePanel(form, PanelRaised), AlignLeft), LeftWidth, 0);
    splitter = MakeSplitter(form, minBefore, minAfter);
    right = SetAlign(MakePanel(form, PanelRaised), AlignClient);
    ShowTree(form);
    grip = MiddleOf(splitter->WindowHandle);
  }
  void Mouse(UINT message, int dx, int dy = 0) {
    testing::PostMouse(splitter->WindowHandle, message, POINT{grip.x + dx, grip.y + dy},
                       message == WM_LBUTTONUP ? 0 : MK_LBUTTON);
  }
  // The columns lie side by side with the margin between them.
  void ExpectDocked() {
    const int m = form->AlignMargin;
    EXPECT_EQ(splitter->GetBounds().left, left->GetBounds().right + m);
    EXPECT_EQ(right->GetBounds().left, splitter->GetBounds().right + m);
    EXPECT_EQ(right->GetBounds().right, ClientWidth - m);
  }
};

TEST(Splitter, DragResizesTheColumnAndReDocksTheRest) {
  SplitWindow w(0, 0);
  EXPECT_EQ(w.splitter->Align, AlignLeft);  // docked and shaped like the control before it
  EXPECT_EQ(w.splitter->Cursor, LoadCursorA(nullptr, IDC_SIZEWE));
  w.ExpectDocked();
  EXPECT_EQ(SendMessageA(w.splitter->WindowHandle, WM_NCHITTEST, 0, MAKELPARAM(w.grip.x, w.grip.y)),
            HTCLIENT);  // the whole splitter, border included, can be grabbed
  w.Mouse(WM_LBUTTONDOWN, 0);
  EXPECT_TRUE(w.splitter->Dragging);
  EXPECT_EQ(GetCapture(), w.splitter->WindowHandle);
  w.Mouse(WM_MOUSEMOVE, 60);
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth + 60);
  w.ExpectDocked();
  w.Mouse(WM_MOUSEMOVE, -45, 30);  // up and down does not matter
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth - 45);
  w.Mouse(WM_LBUTTONUP, -50);
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth - 50);
  EXPECT_FALSE(w.splitter->Dragging);
  EXPECT_EQ(GetCapture(), nullptr);
  w.ExpectDocked();
  w.Mouse(WM_MOUSEMOVE, 100);  // with the button up, moving drags nothing
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth - 50);
}

TEST(Splitter, DragStopsAtTheMinimumSizesAndNeedsRoomForBoth) {
  const int minBefore = 120;
  const int minAfter = 150;
  {
    SplitWindow w(minBefore, minAfter);
    w.Mouse(WM_LBUTTONDOWN, 0);
    w.Mouse(WM_MOUSEMOVE, -150);
    EXPECT_EQ(w.left->GetWidth(), minBefore);
    w.Mouse(WM_MOUSEMOVE, 500);
    const int m = w.form->AlignMargin;
    EXPECT_EQ(w.left->GetWidth(),
              SplitWindow::ClientWidth - minAfter - w.splitter->GetWidth() - 4 * m);
    EXPECT_EQ(w.right->GetWidth(), minAfter);
    w.Mouse(WM_LBUTTONUP, 500);
    w.ExpectDocked();
  }
  SplitWindow w(350, 300);  // 350 + 300 is more than the window has: nothing moves
  w.Mouse(WM_LBUTTONDOWN, 0);
  w.Mouse(WM_MOUSEMOVE, 20);
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth);
  w.Mouse(WM_LBUTTONUP, 20);
  w.ExpectDocked();
}

TEST(Splitter, EscapeOrALostCaptureEndsTheDrag) {
  {
    SplitWindow w(0, 0);
    w.Mouse(WM_LBUTTONDOWN, 0);
    w.Mouse(WM_MOUSEMOVE, 80);
    ASSERT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth + 80);
    // Held through the system's input queue until the drag timer has seen it (bounded).
    keybd_event(VK_ESCAPE, 0, 0, 0);
    for (int i = 0; i < 40 && w.splitter->Dragging; ++i) testing::PumpFor(50);
    keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
    Pump();
    EXPECT_FALSE(w.splitter->Dragging);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth);  // put back
    w.ExpectDocked();
  }
  SplitWindow w(0, 0);
  w.Mouse(WM_LBUTTONDOWN, 0);
  w.Mouse(WM_MOUSEMOVE, 30);
  SetCapture(w.right->WindowHandle);  // another window takes the mouse
  Pump();
  ReleaseCapture();
  EXPECT_FALSE(w.splitter->Dragging);
  w.Mouse(WM_MOUSEMOVE, 90);
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth + 30);
}

TEST(Splitter, BottomSplitterDragsTheOtherWayAndTakesItsCursorFromTheControlBefore) {
  Control* form = MakeForm(nullptr, "Bottom");
  FormGuard guard{form};
  EXPECT_EQ(MakeSplitter(form, 0, 0)->Align, AlignNone);  // nothing before it: undocked
  SetPosition(SetClientSize(form, 400, 400), 40, 40);
  Control* bottom = SetSize(SetAlign(MakePanel(form, PanelRaised), AlignBottom), 0, 100);
  Control* splitter = MakeSplitter(form, 0, 0);
  Control* fill = SetAlign(MakePanel(form, PanelRaised), AlignClient);
  EXPECT_EQ(splitter->Align, AlignBottom);
  EXPECT_EQ(splitter->Cursor, LoadCursorA(nullptr, IDC_SIZENS));
  EXPECT_EQ(SplitterTarget(splitter), bottom);
  ShowTree(form);
  const POINT grip = MiddleOf(splitter->WindowHandle);
  testing::PostMouse(splitter->WindowHandle, WM_LBUTTONDOWN, grip, MK_LBUTTON);
  testing::PostMouse(splitter->WindowHandle, WM_LBUTTONUP, POINT{grip.x, grip.y - 30}, 0);
  const int m = form->AlignMargin;
  EXPECT_EQ(bottom->GetHeight(), 130);  // moving up makes the bottom panel taller
  EXPECT_EQ(bottom->GetBounds().bottom, 400 - m);
  EXPECT_EQ(splitter->GetBounds().bottom, bottom->GetBounds().top - m);
  EXPECT_EQ(fill->GetBounds().bottom, splitter->GetBounds().top - m);
}

}  // namespace
}  // namespace velmora
