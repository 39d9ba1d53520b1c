// Layout on real windows: docking passes and margins, exact client sizes, centring, the
// geometry setters and auto-size (measured with the control's own canvas, since font
// substitution makes fixed text widths meaningless).
#include <gtest/gtest.h>

#include "control_test_support.h"
#include "toolkit/button.h"
#include "toolkit/canvas.h"
#include "toolkit/drawing_tool.h"
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

SIZE Measure(Control* control, const std::string& text) {
  return control->GetCanvas()->MeasureText(text);
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

  DockedWindow() {
    SetClientSize(form, 775, 513);
    top = SetSize(SetAlign(MakePanel(form, PanelRaised), AlignTop), 0, TopHeight);
    left = SetSize(SetAlign(MakePanel(form, PanelRaised), AlignLeft), LeftWidth, 0);
    pane = SetAlign(MakePaintBox(left), AlignClient);
    splitter = SetAlign(MakeSplitter(form, 0, 0), AlignLeft);
    right = SetAlign(MakePanel(form, PanelRaised), AlignClient);
  }

  // Expected rectangles, computed from the form's current client area.
  void ExpectArranged() {
    const RECT c = ClientRectOf(form);
    const int m = form->AlignMargin;
    const int columnsTop = m + TopHeight + m;
    ExpectRect(top->GetBounds(), m, m, c.right - m, m + TopHeight);
    ExpectRect(left->GetBounds(), m, columnsTop, m + LeftWidth, c.bottom - m);
    const int splitterLeft = m + LeftWidth + m;
    const int splitterRight = splitterLeft + splitter->GetWidth();
    ExpectRect(splitter->GetBounds(), splitterLeft, columnsTop, splitterRight, c.bottom - m);
    ExpectRect(right->GetBounds(), splitterRight + m, columnsTop, c.right - m, c.bottom - m);
    const RECT inner = ClientRectOf(left);
    ExpectRect(pane->GetBounds(), m, m, inner.right - m, inner.bottom - m);
  }
};

TEST(Layout, ProgramWindowArrangementBeforeAndAfterResizes) {
  DockedWindow w;
  FormGuard guard{w.form};
  // Built hidden, as during start-up: the arrangement is already in place.
  const RECT client = ClientRectOf(w.form);
  EXPECT_EQ(client.right, 775);
  EXPECT_EQ(client.bottom, 513);
  ExpectRect(w.top->GetBounds(), 2, 2, 773, 67);
  ExpectRect(w.left->GetBounds(), 2, 69, 391, 511);
  ExpectRect(w.splitter->GetBounds(), 393, 69, 397, 511);
  ExpectRect(w.right->GetBounds(), 399, 69, 773, 511);
  w.ExpectArranged();

  Control* inner = SetSize(SetAlign(MakePanel(w.right, PanelFlat), AlignBottom), 0, 40);
  ShowTree(w.form);
  SetClientSize(w.form, 900, 620);
  Pump();
  EXPECT_EQ(ClientRectOf(w.form).right, 900);
  w.ExpectArranged();
  const RECT rc = ClientRectOf(w.right);  // nested docking follows its panel
  const int m = w.right->AlignMargin;
  ExpectRect(inner->GetBounds(), m, rc.bottom - m - 40, rc.right - m, rc.bottom - m);

  // The user dragging the frame: a plain SetWindowPos, WM_SIZE does the rest.
  RECT outer;
  GetWindowRect(w.form->WindowHandle, &outer);
  SetWindowPos(w.form->WindowHandle, nullptr, 0, 0, outer.right - outer.left - 200,
               outer.bottom - outer.top - 150, SWP_NOMOVE | SWP_NOZORDER);
  Pump();
  w.ExpectArranged();

  // A hidden column gives its space back and takes it again when shown.
  w.left->SetVisible(false);
  Pump();
  EXPECT_EQ(w.splitter->GetBounds().left, m);
  w.left->SetVisible(true);
  Pump();
  w.ExpectArranged();
}

TEST(Layout, TopAndBottomArePlacedBeforeLeftAndRightWhateverTheCreationOrder) {
  Control* form = MakeForm(nullptr, "Order");
  FormGuard guard{form};
  SetClientSize(form, 600, 400);
  Control* label = SetPosition(MakeLabel(form, "free"), 40, 50);
  const RECT labelBefore = label->GetBounds();
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
  // An undocked child stays where it was.
  ExpectRect(label->GetBounds(), labelBefore.left, labelBefore.top, labelBefore.right,
             labelBefore.bottom);

  // Too small a parent gives zero sizes, never negative ones; the bars keep their height.
  ShowTree(form);
  SetClientSize(form, 120, 70);
  Pump();
  for (Control* c : {top, bottom, left, right, fill}) {
    EXPECT_GE(c->GetWidth(), 0);
    EXPECT_GE(c->GetHeight(), 0);
  }
  EXPECT_EQ(top->GetHeight(), 50);
  EXPECT_EQ(left->GetHeight(), 0);
  EXPECT_EQ(fill->GetWidth(), 0);
}

TEST(Layout, ClientSizeIsExactAndCenterUsesTheScreenOrTheParent) {
  Control* form = MakeForm(nullptr, "Client");
  FormGuard guard{form};
  EXPECT_EQ(SetClientSize(form, 775, 513), form);
  RECT client = ClientRectOf(form);
  EXPECT_EQ(client.right, 775);
  EXPECT_EQ(client.bottom, 513);
  SetClientSize(form, 0, 300);  // width kept
  SetClientSize(form, -1, -1);  // nothing changes
  client = ClientRectOf(form);
  EXPECT_EQ(client.right, 775);
  EXPECT_EQ(client.bottom, 300);
  SetClientSize(form, 775, 513);

  Center(form);
  RECT outer;
  GetWindowRect(form->WindowHandle, &outer);
  EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2);
  EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2);
  EXPECT_EQ(form->PositionSet, LeftWasSet | TopWasSet);

  // A sunken panel's client area is what was asked; its frame comes on top.
  Control* panel = SetClientSize(MakePanel(form, PanelSunken), 120, 80);
  EXPECT_EQ(ClientRectOf(panel).right, 120);
  EXPECT_EQ(ClientRectOf(panel).bottom, 80);
  EXPECT_GT(panel->GetWidth(), 120);

  // The setters chain and keep what they are not given (a button's own height is 22).
  Control* button = MakeButton(form, "mid");
  EXPECT_EQ(SetSize(SetPosition(button, 30, 40), 101, 0), button);
  SetSize(button, -5, 0);
  ExpectRect(button->GetBounds(), 30, 40, 131, 62);
  // A child is centred in what its parent's client margins leave, on the real window too.
  form->ClientMargins.Left = 40;
  form->ClientMargins.Top = 30;
  ShowTree(form);
  Center(button);
  const int left = 40 + (775 - 40 - 101) / 2;
  const int top = 30 + (513 - 30 - 22) / 2;
  ExpectRect(button->GetBounds(), left, top, left + 101, top + 22);
  POINT origin{0, 0};
  ClientToScreen(form->WindowHandle, &origin);
  RECT screen;
  GetWindowRect(button->WindowHandle, &screen);
  EXPECT_EQ(screen.left - origin.x, left);
  EXPECT_EQ(screen.top - origin.y, top);

  EXPECT_EQ(SetSize(SetPosition(SetClientSize(SetAutoSize(SetAlign(nullptr, AlignTop), true), 1, 2),
                                1, 2),
                    1, 2),
            nullptr);
  Center(nullptr);
  AutoSizeToText(nullptr);
  AlignChildren(nullptr);
}

TEST(Layout, CenterOfAWindowLargerThanTheScreenGoesNegative) {
  Control* form = MakeForm(nullptr, "Huge");
  FormGuard guard{form};
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  SetSize(form, screenWidth + 301, screenHeight + 101);
  form->GetWindowHandle();  // the system may trim the frame a little: use the real size
  const int width = form->GetWidth();
  const int height = form->GetHeight();
  ASSERT_GT(width, screenWidth);
  ASSERT_GT(height, screenHeight);
  Center(form);
  // Half of a negative difference rounds down, as an arithmetic shift does.
  EXPECT_EQ(form->GetBounds().left, (screenWidth - width) >> 1);
  EXPECT_EQ(form->GetBounds().top, (screenHeight - height) >> 1);
}

TEST(Layout, AutoSizeIsTheTextExtentPlusTheKindsExtras) {
  Control* form = MakeForm(nullptr, "Auto");
  FormGuard guard{form};
  Control* label = SetAutoSize(SetPosition(MakeLabel(form, "Shrink percent"), 93, 8), true);
  for (const std::string text : {"Shrink percent", "Size: 1024x768 , 143.27 Kb", ""}) {
    label->SetText(text);
    const SIZE extent = Measure(label, text);
    EXPECT_EQ(label->GetWidth(), extent.cx + 1) << text;
    EXPECT_EQ(label->GetHeight(), extent.cy + 1) << text;
    EXPECT_EQ(label->GetBounds().left, 93);  // sizing keeps the place
  }
  for (const char* caption : {"Shrink", "Save...", "Send by e-mail"}) {
    Control* button = SetAutoSize(MakeButton(form, caption), true);
    EXPECT_EQ(button->GetWidth(), Measure(button, caption).cx + 14) << caption;
    EXPECT_EQ(button->GetHeight(), 22) << caption;
  }
  // Italic text is measured with one blank more; a font change sizes again.
  Control* slanted = SetAutoSize(MakeLabel(form, "slanted"), true);
  slanted->GetFont()->SetFontStyle(Italic);
  EXPECT_EQ(slanted->GetWidth(), Measure(slanted, "slanted ").cx + 1);

  // Shown, the window itself has the size; switched off, the size stays.
  label->SetText("shown");
  ShowTree(form);
  RECT r;
  GetWindowRect(label->WindowHandle, &r);
  EXPECT_EQ(r.right - r.left, Measure(label, "shown").cx + 1);
  SetAutoSize(label, false);
  label->SetText("a considerably longer text than before");
  EXPECT_EQ(label->GetWidth(), r.right - r.left);
  const int formWidth = form->GetWidth();
  SetAutoSize(form, true);  // a form has no kind extras and is left alone
  EXPECT_EQ(form->GetWidth(), formWidth);
}

TEST(Layout, AutoSizedDockedControlsKeepTheDockedDimension) {
  Control* form = MakeForm(nullptr, "Docked");
  FormGuard guard{form};
  SetClientSize(form, 400, 300);
  const int m = form->AlignMargin;
  Control* left = SetAutoSize(SetAlign(MakeLabel(form, "column"), AlignLeft), true);
  EXPECT_EQ(left->GetWidth(), Measure(left, "column").cx + 1);
  EXPECT_EQ(left->GetHeight(), 300 - 2 * m);
  Control* top = SetAutoSize(SetAlign(MakeLabel(form, "bar"), AlignTop), true);
  EXPECT_EQ(top->GetHeight(), Measure(top, "bar").cy + 1);
  EXPECT_EQ(top->GetWidth(), 400 - 2 * m);
  EXPECT_EQ(left->GetBounds().top, top->GetBounds().bottom + m);
  // A longer text in a left column pushes its client neighbour over.
  Control* fill = SetAlign(MakePanel(form, PanelFlat), AlignClient);
  left->SetText("a much longer column text");
  EXPECT_EQ(fill->GetBounds().left, left->GetBounds().right + m);
}

}  // namespace
}  // namespace velmora
