// The splitter: docking and cursor taken from the control before it, mouse drags that resize
// that control within the minimum sizes, and Escape that puts it back.
#include <gtest/gtest.h>

#include "layout_support.h"
#include "toolkit/form.h"
#include "toolkit/layout.h"
#include "toolkit/panel.h"
#include "toolkit/splitter.h"

namespace velmora {
namespace {

using testing::FormGuard;
using testing::PostMouse;
using testing::Pump;
using testing::PumpFor;
using testing::ShowTree;

// A form with a left column, a splitter and a client area, shown on the screen.
struct SplitWindow {
  static constexpr int ClientWidth = 600;
  static constexpr int LeftWidth = 200;
  Control* form = MakeForm(nullptr, "Split");
  Control* left = nullptr;
  Control* splitter = nullptr;
  Control* right = nullptr;

  SplitWindow(int minBefore, int minAfter) {
    SetPosition(SetClientSize(form, ClientWidth, 300), 40, 40);
    left = SetSize(SetAlign(MakePanel(form, PanelRaised), AlignLeft), LeftWidth, 0);
    splitter = MakeSplitter(form, minBefore, minAfter);
    right = SetAlign(MakePanel(form, PanelRaised), AlignClient);
    ShowTree(form);
  }

  // The middle of the splitter, in screen coordinates.
  POINT Grip() const {
    RECT r;
    GetWindowRect(splitter->WindowHandle, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }

  void Press(POINT at) {
    SetCursorPos(at.x, at.y);
    PostMouse(splitter->WindowHandle, WM_LBUTTONDOWN, at, MK_LBUTTON);
    Pump();
  }
  void MoveTo(POINT at) {
    SetCursorPos(at.x, at.y);
    PostMouse(splitter->WindowHandle, WM_MOUSEMOVE, at, MK_LBUTTON);
    Pump();
  }
  void Release(POINT at) {
    SetCursorPos(at.x, at.y);
    PostMouse(splitter->WindowHandle, WM_LBUTTONUP, at, 0);
    Pump();
  }

  // The columns lie side by side with the margin between them.
  void ExpectDocked() {
    const int m = form->AlignMargin;
    EXPECT_EQ(splitter->GetBounds().left, left->GetBounds().right + m);
    EXPECT_EQ(right->GetBounds().left, splitter->GetBounds().right + m);
    EXPECT_EQ(right->GetBounds().right, ClientWidth - m);
  }
};

TEST(KindsSplitter, TakesTheDockingAndCursorOfTheControlBeforeIt) {
  Control* form = MakeForm(nullptr, "Cursors");
  FormGuard guard(form);
  Control* lone = MakeSplitter(form, 0, 0);  // nothing before it: undocked, own parent's cursor
  EXPECT_EQ(lone->Align, AlignNone);
  EXPECT_EQ(lone->Cursor, form->Cursor);
  EXPECT_EQ(lone->GetWidth(), 4);
  EXPECT_EQ(lone->GetHeight(), 4);
  EXPECT_EQ(SplitterTarget(lone), lone);

  Control* left = SetAlign(MakePanel(form, PanelRaised), AlignLeft);
  Control* vertical = MakeSplitter(form, 0, 0);
  EXPECT_EQ(vertical->Align, AlignLeft);
  EXPECT_EQ(vertical->Cursor, LoadCursorA(nullptr, IDC_SIZEWE));
  EXPECT_EQ(SplitterTarget(vertical), left);

  SetAlign(MakePanel(form, PanelRaised), AlignBottom);
  Control* horizontal = MakeSplitter(form, 0, 0);
  EXPECT_EQ(horizontal->Align, AlignBottom);
  EXPECT_EQ(horizontal->Cursor, LoadCursorA(nullptr, IDC_SIZENS));
}

TEST(KindsSplitter, DragResizesTheColumnAndReDocksTheRest) {
  SplitWindow w(0, 0);
  FormGuard guard(w.form);
  w.ExpectDocked();
  // The whole splitter, border included, can be grabbed.
  const POINT grip = w.Grip();
  EXPECT_EQ(SendMessageA(w.splitter->WindowHandle, WM_NCHITTEST, 0, MAKELPARAM(grip.x, grip.y)),
            HTCLIENT);

  w.Press(grip);
  EXPECT_TRUE(w.splitter->Dragging);
  EXPECT_EQ(GetCapture(), w.splitter->WindowHandle);
  w.MoveTo(POINT{grip.x + 60, grip.y});
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth + 60);
  w.ExpectDocked();
  w.MoveTo(POINT{grip.x - 45, grip.y + 30});  // up and down does not matter
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth - 45);
  w.Release(POINT{grip.x - 50, grip.y});
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth - 50);
  EXPECT_FALSE(w.splitter->Dragging);
  EXPECT_EQ(GetCapture(), nullptr);
  w.ExpectDocked();

  // After the button is up, moving over the splitter drags nothing.
  w.MoveTo(POINT{grip.x + 100, grip.y});
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth - 50);
}

TEST(KindsSplitter, DragStopsAtTheMinimumSizes) {
  const int minBefore = 120;
  const int minAfter = 150;
  SplitWindow w(minBefore, minAfter);
  FormGuard guard(w.form);
  const POINT grip = w.Grip();
  w.Press(grip);
  w.MoveTo(POINT{grip.x - 150, grip.y});
  EXPECT_EQ(w.left->GetWidth(), minBefore);
  w.MoveTo(POINT{grip.x + 500, grip.y});
  const int m = w.form->AlignMargin;
  const int widest = SplitWindow::ClientWidth - minAfter - w.splitter->GetWidth() - 4 * m;
  EXPECT_EQ(w.left->GetWidth(), widest);
  EXPECT_EQ(w.right->GetWidth(), minAfter);
  w.Release(POINT{grip.x + 500, grip.y});
  w.ExpectDocked();
}

TEST(KindsSplitter, NoRoomForBothMinimumsLeavesTheLayoutAlone) {
  SplitWindow w(350, 300);  // 350 + 300 is more than the window has
  FormGuard guard(w.form);
  const POINT grip = w.Grip();
  w.Press(grip);
  w.MoveTo(POINT{grip.x + 20, grip.y});
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth);
  w.Release(POINT{grip.x + 20, grip.y});
  w.ExpectDocked();
}

TEST(KindsSplitter, EscapeDuringTheDragPutsTheColumnBack) {
  SplitWindow w(0, 0);
  FormGuard guard(w.form);
  const POINT grip = w.Grip();
  w.Press(grip);
  w.MoveTo(POINT{grip.x + 80, grip.y});
  ASSERT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth + 80);

  testing::SendKey(VK_ESCAPE, true);
  PumpFor(400);  // the drag timer looks at the key every 100 ms
  testing::SendKey(VK_ESCAPE, false);
  Pump();
  EXPECT_FALSE(w.splitter->Dragging);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth);
  w.ExpectDocked();
}

TEST(KindsSplitter, LosingTheMouseCaptureEndsTheDrag) {
  SplitWindow w(0, 0);
  FormGuard guard(w.form);
  const POINT grip = w.Grip();
  w.Press(grip);
  w.MoveTo(POINT{grip.x + 30, grip.y});
  SetCapture(w.right->WindowHandle);  // another window takes the mouse
  Pump();
  ReleaseCapture();
  EXPECT_FALSE(w.splitter->Dragging);
  w.MoveTo(POINT{grip.x + 90, grip.y});
  EXPECT_EQ(w.left->GetWidth(), SplitWindow::LeftWidth + 30);
}

TEST(KindsSplitter, BottomSplitterDragsTheOtherWay) {
  Control* form = MakeForm(nullptr, "Bottom");
  FormGuard guard(form);
  SetPosition(SetClientSize(form, 400, 400), 40, 40);
  Control* bottom = SetSize(SetAlign(MakePanel(form, PanelRaised), AlignBottom), 0, 100);
  Control* splitter = MakeSplitter(form, 0, 0);
  Control* fill = SetAlign(MakePanel(form, PanelRaised), AlignClient);
  ShowTree(form);
  ASSERT_EQ(splitter->Align, AlignBottom);
  const int m = form->AlignMargin;
  EXPECT_EQ(splitter->GetBounds().bottom, bottom->GetBounds().top - m);

  RECT r;
  GetWindowRect(splitter->WindowHandle, &r);
  const POINT grip{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  SetCursorPos(grip.x, grip.y);
  PostMouse(splitter->WindowHandle, WM_LBUTTONDOWN, grip, MK_LBUTTON);
  Pump();
  const POINT up{grip.x, grip.y - 30};  // moving up makes the bottom panel taller
  SetCursorPos(up.x, up.y);
  PostMouse(splitter->WindowHandle, WM_LBUTTONUP, up, 0);
  Pump();
  EXPECT_EQ(bottom->GetHeight(), 130);
  EXPECT_EQ(bottom->GetBounds().bottom, 400 - m);
  EXPECT_EQ(splitter->GetBounds().bottom, bottom->GetBounds().top - m);
  EXPECT_EQ(fill->GetBounds().bottom, splitter->GetBounds().top - m);
}

}  // namespace
}  // namespace velmora
