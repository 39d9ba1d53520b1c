// Docking: the three placing passes, margins, nested docking, hidden children and what
// happens when the parent grows, shrinks or is too small.
#include <gtest/gtest.h>

#include "layout_support.h"
#include "toolkit/form.h"
#include "toolkit/label.h"
#include "toolkit/layout.h"
#include "toolkit/panel.h"
#include "toolkit/splitter.h"

namespace velmora {
namespace {

using testing::ClientRectOf;
using testing::FormGuard;
using testing::Pump;
using testing::ShowTree;

void ExpectRect(const RECT& actual, int left, int top, int right, int bottom) {
  EXPECT_EQ(actual.left, left);
  EXPECT_EQ(actual.top, top);
  EXPECT_EQ(actual.right, right);
  EXPECT_EQ(actual.bottom, bottom);
}

// The main window's arrangement: a top bar, a left column, a splitter and the rest.
struct DockedWindow {
  static constexpr int TopHeight = 65;
  static constexpr int LeftWidth = 389;

  Control* form = MakeForm(nullptr, "Docking");
  Control* top = nullptr;
  Control* left = nullptr;
  Control* pane = nullptr;
  Control* splitter = nullptr;
  Control* right = nullptr;

  DockedWindow(int clientWidth, int clientHeight) {
    SetClientSize(form, clientWidth, clientHeight);
    top = SetSize(SetAlign(MakePanel(form, PanelRaised), AlignTop), 0, TopHeight);
    left = SetSize(SetAlign(MakePanel(form, PanelRaised), AlignLeft), LeftWidth, 0);
    pane = SetAlign(MakePaintBox(left), AlignClient);
    splitter = SetAlign(MakeSplitter(form, 0, 0), AlignLeft);
    right = SetAlign(MakePanel(form, PanelRaised), AlignClient);
  }

  // Expected rectangles for the form's current client area.
  void ExpectArranged() {
    const RECT c = ClientRectOf(form);
    const int m = form->AlignMargin;
    const int w = c.right;
    const int h = c.bottom;
    const int columnsTop = m + TopHeight + m;
    ExpectRect(top->GetBounds(), m, m, w - m, m + TopHeight);
    ExpectRect(left->GetBounds(), m, columnsTop, m + LeftWidth, h - m);
    const int splitterLeft = m + LeftWidth + m;
    const int splitterWidth = splitter->GetWidth();
    ExpectRect(splitter->GetBounds(), splitterLeft, columnsTop, splitterLeft + splitterWidth,
               h - m);
    ExpectRect(right->GetBounds(), splitterLeft + splitterWidth + m, columnsTop, w - m, h - m);
    // The paint box fills its panel's client area less the margin.
    const RECT inner = ClientRectOf(left);
    ExpectRect(pane->GetBounds(), m, m, inner.right - m, inner.bottom - m);
  }
};

TEST(LayoutDocking, ProgramWindowArrangement) {
  DockedWindow w(775, 513);
  FormGuard guard(w.form);
  // Built hidden, as during start-up: the arrangement is already in place.
  const RECT client = ClientRectOf(w.form);
  EXPECT_EQ(client.right, 775);
  EXPECT_EQ(client.bottom, 513);
  EXPECT_EQ(w.splitter->GetWidth(), 4);
  w.ExpectArranged();
  // The literal arrangement the program's window is known by.
  ExpectRect(w.top->GetBounds(), 2, 2, 773, 67);
  ExpectRect(w.left->GetBounds(), 2, 69, 391, 511);
  ExpectRect(w.splitter->GetBounds(), 393, 69, 397, 511);
  ExpectRect(w.right->GetBounds(), 399, 69, 773, 511);

  ShowTree(w.form);
  EXPECT_TRUE(IsWindowVisible(w.right->WindowHandle));
  w.ExpectArranged();
}

TEST(LayoutDocking, FollowsTheFormWhenItIsResized) {
  DockedWindow w(775, 513);
  FormGuard guard(w.form);
  ShowTree(w.form);

  SetClientSize(w.form, 900, 620);
  Pump();
  EXPECT_EQ(ClientRectOf(w.form).right, 900);
  w.ExpectArranged();

  // The user dragging the frame: a plain SetWindowPos, WM_SIZE does the rest.
  RECT outer;
  GetWindowRect(w.form->WindowHandle, &outer);
  SetWindowPos(w.form->WindowHandle, nullptr, 0, 0, testing::Width(outer) - 200,
               testing::Height(outer) - 150, SWP_NOMOVE | SWP_NOZORDER);
  Pump();
  w.ExpectArranged();
  EXPECT_EQ(w.left->GetWidth(), DockedWindow::LeftWidth);
  EXPECT_EQ(w.top->GetHeight(), DockedWindow::TopHeight);
}

TEST(LayoutDocking, TopAndBottomArePlacedBeforeLeftAndRight) {
  Control* form = MakeForm(nullptr, "Order");
  FormGuard guard(form);
  SetClientSize(form, 600, 400);
  // Created in the "wrong" order: the columns first, the bars last.
  Control* right = SetSize(SetAlign(MakePanel(form, PanelFlat), AlignRight), 80, 0);
  Control* left = SetSize(SetAlign(MakePanel(form, PanelFlat), AlignLeft), 120, 0);
  Control* fill = SetAlign(MakePanel(form, PanelFlat), AlignClient);
  Control* bottom = SetSize(SetAlign(MakePanel(form, PanelFlat), AlignBottom), 0, 30);
  Control* top = SetSize(SetAlign(MakePanel(form, PanelFlat), AlignTop), 0, 50);
  const int m = form->AlignMargin;

  ExpectRect(top->GetBounds(), m, m, 600 - m, m + 50);
  ExpectRect(bottom->GetBounds(), m, 400 - m - 30, 600 - m, 400 - m);
  const int columnsTop = m + 50 + m;
  const int columnsBottom = 400 - m - 30 - m;
  ExpectRect(left->GetBounds(), m, columnsTop, m + 120, columnsBottom);
  ExpectRect(right->GetBounds(), 600 - m - 80, columnsTop, 600 - m, columnsBottom);
  ExpectRect(fill->GetBounds(), m + 120 + m, columnsTop, 600 - m - 80 - m, columnsBottom);
}

TEST(LayoutDocking, ClientChildrenShareOneRectangle) {
  Control* form = MakeForm(nullptr, "Overlap");
  FormGuard guard(form);
  SetClientSize(form, 300, 200);
  Control* a = SetAlign(MakePanel(form, PanelFlat), AlignClient);
  Control* b = SetAlign(MakeLabel(form, "over"), AlignClient);
  const RECT ra = a->GetBounds();
  ExpectRect(b->GetBounds(), ra.left, ra.top, ra.right, ra.bottom);
  ExpectRect(ra, 2, 2, 298, 198);
}

TEST(LayoutDocking, UndockedChildrenStayWhereTheyWere) {
  Control* form = MakeForm(nullptr, "Free");
  FormGuard guard(form);
  SetClientSize(form, 300, 200);
  Control* label = SetPosition(MakeLabel(form, "free"), 40, 50);
  const RECT before = label->GetBounds();
  SetAlign(MakePanel(form, PanelFlat), AlignTop);
  SetClientSize(form, 400, 300);
  const RECT after = label->GetBounds();
  ExpectRect(after, before.left, before.top, before.right, before.bottom);
}

TEST(LayoutDocking, HiddenChildGivesItsSpaceBack) {
  DockedWindow w(775, 513);
  FormGuard guard(w.form);
  ShowTree(w.form);
  const int m = w.form->AlignMargin;

  w.left->SetVisible(false);
  Pump();
  // Without the left column the splitter moves to the left edge.
  EXPECT_EQ(w.splitter->GetBounds().left, m);
  EXPECT_EQ(w.right->GetBounds().left, m + w.splitter->GetWidth() + m);

  w.left->SetVisible(true);
  Pump();
  w.ExpectArranged();
}

TEST(LayoutDocking, TooSmallParentGivesZeroNotNegativeSizes) {
  Control* form = MakeForm(nullptr, "Tiny");
  FormGuard guard(form);
  SetClientSize(form, 200, 150);
  Control* top = SetSize(SetAlign(MakePanel(form, PanelFlat), AlignTop), 0, 65);
  Control* bottom = SetSize(SetAlign(MakePanel(form, PanelFlat), AlignBottom), 0, 65);
  Control* left = SetSize(SetAlign(MakePanel(form, PanelFlat), AlignLeft), 300, 0);
  Control* fill = SetAlign(MakePanel(form, PanelFlat), AlignClient);
  ShowTree(form);

  SetClientSize(form, 120, 100);
  Pump();
  for (Control* c : {top, bottom, left, fill}) {
    EXPECT_GE(c->GetWidth(), 0);
    EXPECT_GE(c->GetHeight(), 0);
  }
  // Both bars keep their height; the column between them has none left.
  EXPECT_EQ(top->GetHeight(), 65);
  EXPECT_EQ(bottom->GetHeight(), 65);
  EXPECT_EQ(left->GetHeight(), 0);
  EXPECT_EQ(fill->GetWidth(), 0);
}

TEST(LayoutDocking, NestedChildrenFollowTheirPanel) {
  DockedWindow w(775, 513);
  FormGuard guard(w.form);
  Control* inner = SetSize(SetAlign(MakePanel(w.right, PanelFlat), AlignBottom), 0, 40);
  ShowTree(w.form);
  SetClientSize(w.form, 700, 450);
  Pump();
  const RECT rc = ClientRectOf(w.right);
  const int m = w.right->AlignMargin;
  ExpectRect(inner->GetBounds(), m, rc.bottom - m - 40, rc.right - m, rc.bottom - m);
  w.ExpectArranged();
}

TEST(LayoutDocking, NothingToArrangeIsHarmless) {
  AlignChildren(nullptr);
  EXPECT_EQ(SetAlign(nullptr, AlignTop), nullptr);
  EXPECT_FALSE(TakesPartInLayout(nullptr));
  Control* form = MakeForm(nullptr, "Empty");
  FormGuard guard(form);
  AlignChildren(form);          // no children
  SetAlign(form, AlignClient);  // a form without a parent has nothing to dock into
  EXPECT_EQ(form->Align, AlignClient);
}

}  // namespace
}  // namespace velmora
