// Auto-size: labels and buttons follow their text with their kind's extras, measured with
// the control's own canvas (font substitution makes fixed numbers meaningless).
#include <gtest/gtest.h>

#include "layout_support.h"
#include "toolkit/button.h"
#include "toolkit/canvas.h"
#include "toolkit/drawing_tool.h"
#include "toolkit/form.h"
#include "toolkit/label.h"
#include "toolkit/layout.h"
#include "toolkit/panel.h"

namespace velmora {
namespace {

using testing::FormGuard;
using testing::Pump;
using testing::ShowTree;

SIZE Measure(Control* control, const std::string& text) {
  return control->GetCanvas()->MeasureText(text);
}

TEST(LayoutAutoSize, LabelFollowsItsText) {
  Control* form = MakeForm(nullptr, "Labels");
  FormGuard guard(form);
  Control* label = SetAutoSize(SetPosition(MakeLabel(form, "Shrink percent"), 93, 8), true);
  SIZE text = Measure(label, "Shrink percent");
  ASSERT_GT(text.cx, 0);
  EXPECT_EQ(label->GetWidth(), text.cx + 1);
  EXPECT_EQ(label->GetHeight(), text.cy + 1);
  EXPECT_EQ(label->GetBounds().left, 93);  // sizing keeps the place

  const std::string longer = "Size: 1024x768 , 143.27 Kb";
  label->SetText(longer);
  text = Measure(label, longer);
  EXPECT_EQ(label->GetWidth(), text.cx + 1);
  EXPECT_EQ(label->GetHeight(), text.cy + 1);

  // Empty text: the extras alone.
  label->SetText("");
  EXPECT_EQ(label->GetWidth(), 1);
  EXPECT_EQ(label->GetHeight(), 1);

  // Shown, the window itself has the size.
  label->SetText(longer);
  ShowTree(form);
  RECT r;
  GetWindowRect(label->WindowHandle, &r);
  EXPECT_EQ(r.right - r.left, text.cx + 1);
}

TEST(LayoutAutoSize, EmptyLabelStartsAtOneByOne) {
  Control* form = MakeForm(nullptr, "Empty");
  FormGuard guard(form);
  Control* label = SetAutoSize(MakeLabel(form, ""), true);
  EXPECT_EQ(label->GetWidth(), 1);
  EXPECT_EQ(label->GetHeight(), 1);
}

TEST(LayoutAutoSize, ButtonTakesTextWidthPlusFourteenAndKeepsItsHeight) {
  Control* form = MakeForm(nullptr, "Buttons");
  FormGuard guard(form);
  for (const char* caption : {"Shrink", "Save...", "Send by e-mail"}) {
    Control* button = SetAutoSize(MakeButton(form, caption), true);
    EXPECT_EQ(button->GetWidth(), Measure(button, caption).cx + 14) << caption;
    EXPECT_EQ(button->GetHeight(), 22) << caption;
  }
}

TEST(LayoutAutoSize, ItalicTextIsMeasuredWithOneBlankMore) {
  Control* form = MakeForm(nullptr, "Italic");
  FormGuard guard(form);
  Control* label = SetAutoSize(MakeLabel(form, "slanted"), true);
  // A font change runs the auto-size again.
  label->GetFont()->SetFontStyle(Italic);
  EXPECT_EQ(label->GetWidth(), Measure(label, "slanted ").cx + 1);
}

TEST(LayoutAutoSize, DockedControlsKeepTheDockedDimension) {
  Control* form = MakeForm(nullptr, "Docked");
  FormGuard guard(form);
  SetClientSize(form, 400, 300);
  // Docked to the left: the width follows the text, the height is the column's.
  Control* left = SetAutoSize(SetAlign(MakeLabel(form, "column"), AlignLeft), true);
  EXPECT_EQ(left->GetWidth(), Measure(left, "column").cx + 1);
  EXPECT_EQ(left->GetHeight(), 300 - 2 * form->AlignMargin);
  // Docked to the top: the height follows the text, the width is the form's.
  Control* top = SetAutoSize(SetAlign(MakeLabel(form, "bar"), AlignTop), true);
  EXPECT_EQ(top->GetHeight(), Measure(top, "bar").cy + 1);
  EXPECT_EQ(top->GetWidth(), 400 - 2 * form->AlignMargin);
  // The left column moved down below the new bar.
  EXPECT_EQ(left->GetBounds().top, top->GetBounds().bottom + form->AlignMargin);

  // A longer text in a left column pushes its client neighbour over.
  Control* fill = SetAlign(MakePanel(form, PanelFlat), AlignClient);
  left->SetText("a much longer column text");
  EXPECT_EQ(fill->GetBounds().left, left->GetBounds().right + form->AlignMargin);
}

TEST(LayoutAutoSize, OffStopsFollowingAndKindlessControlsAreLeftAlone) {
  Control* form = MakeForm(nullptr, "Off");
  FormGuard guard(form);
  Control* label = SetAutoSize(MakeLabel(form, "first"), true);
  SetAutoSize(label, false);
  const int width = label->GetWidth();
  label->SetText("a considerably longer text than before");
  EXPECT_EQ(label->GetWidth(), width);

  // A panel gets the label's extras too; a form has no kind and is left alone.
  Control* panel = SetAutoSize(MakePanel(form, PanelFlat), true);
  EXPECT_EQ(panel->GetWidth(), 1);
  const int formWidth = form->GetWidth();
  SetAutoSize(form, true);
  EXPECT_EQ(form->GetWidth(), formWidth);
  Pump();
}

}  // namespace
}  // namespace velmora
