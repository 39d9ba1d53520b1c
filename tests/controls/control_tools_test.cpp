// Fonts, brushes, colours, cursor and canvas of controls on real windows: a child takes a
// linked copy of its parent's font, a font change reaches the window, background colour
// changes reach the brush tool, the cursor answers WM_SETCURSOR, and the canvas draws on
// the window's DC outside painting without keeping it.
#include "control_test_support.h"
#include "toolkit/canvas.h"
#include "toolkit/drawing_tool.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

class ControlTools : public ToolkitTest {};

HFONT WindowFont(Control* control) {
  return reinterpret_cast<HFONT>(SendMessageA(control->WindowHandle, WM_GETFONT, 0, 0));
}

}  // namespace

TEST_F(ControlTools, ChildrenCopyTheParentFontAndFontChangesReachTheWindow) {
  Control* form = MakeTestForm("fonts");
  Control* plain = MakeTestButton(form, "before any font");
  EXPECT_EQ(plain->Font, nullptr);  // no font tool until somebody asks for one

  DrawingTool* formFont = form->GetFont();
  ASSERT_NE(formFont, nullptr);
  EXPECT_EQ(form->GetFont(), formFont);
  EXPECT_EQ(formFont->GetColor(), form->TextColor);
  Control* label = MakeTestStatic(form);
  ASSERT_NE(label->Font, nullptr);
  EXPECT_NE(label->Font, formFont);
  EXPECT_EQ(label->Font->Parent, formFont);
  form->GetWindowHandle();

  // The window of the child carries the font the tools share.
  EXPECT_EQ(WindowFont(label), label->Font->GetHandle());
  EXPECT_EQ(label->Font->GetHandle(), formFont->GetHandle());
  EXPECT_EQ(WindowFont(plain), nullptr);  // never sent WM_SETFONT

  // A link-style change: colour and underline on the child's own tool.
  ASSERT_NE(label->GetCanvas(), nullptr);
  label->Font->SetColor(RGB(0, 0, 0x80));
  label->Font->SetFontStyle(Underline);
  EXPECT_EQ(label->TextColor, RGB(0, 0, 0x80));
  HFONT own = WindowFont(label);
  EXPECT_EQ(own, label->Font->GetHandle());
  EXPECT_NE(own, formFont->GetHandle());
  LOGFONTA lf = {};
  ASSERT_NE(GetObjectA(own, sizeof lf, &lf), 0);
  EXPECT_EQ(lf.lfUnderline, 1);

  // The canvas made before the change was dropped; the next one carries the new font.
  EXPECT_EQ(label->OwnCanvas, nullptr);
  Canvas* canvas = label->GetCanvas();
  ASSERT_NE(canvas, nullptr);
  EXPECT_EQ(canvas->Owner, label);
  ASSERT_NE(canvas->Font, nullptr);
  EXPECT_EQ(canvas->Font->Description.Font.lfUnderline, 1);
  form->Free();
}

TEST_F(ControlTools, BackColourChangesReachTheBrushToolAndTheBackground) {
  Control* form = MakeTestForm("colours");
  Control* label = MakeTestStatic(form);
  form->GetWindowHandle();
  HBRUSH before = ControlBackgroundBrush(label);
  LOGBRUSH lb = {};
  GetObjectA(before, sizeof lb, &lb);
  EXPECT_EQ(lb.lbColor, ResolveColor(form->BackColor));

  DrawingTool* brush = label->GetBrush();
  ASSERT_NE(brush, nullptr);
  EXPECT_EQ(brush->GetColor(), label->BackColor);
  const Color window = ColorWindow;
  label->SetBackColor(window);
  EXPECT_EQ(label->BackColor, window);
  EXPECT_EQ(brush->GetColor(), window);
  HBRUSH after = ControlBackgroundBrush(label);
  GetObjectA(after, sizeof lb, &lb);
  EXPECT_EQ(lb.lbColor, ResolveColor(window));

  // Changing the brush tool itself changes the control's colour.
  brush->SetColor(RGB(1, 2, 3));
  EXPECT_EQ(label->BackColor, RGB(1, 2, 3));
  form->Free();
}

TEST_F(ControlTools, CursorAnswersSetCursorOverTheClientAreaOnly) {
  Control* form = MakeTestForm("cursor");
  Control* label = MakeTestStatic(form);
  form->GetWindowHandle();
  HCURSOR hand = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND));
  label->SetControlCursor(hand);
  EXPECT_EQ(label->Cursor, hand);
  SetCursor(nullptr);
  HWND window = label->WindowHandle;
  EXPECT_EQ(SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
            1);
  EXPECT_EQ(GetCursor(), hand);

  // Over the border it is the system's business; children made later copy the cursor.
  SetCursor(nullptr);
  SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
               MAKELPARAM(HTBORDER, WM_MOUSEMOVE));
  EXPECT_NE(GetCursor(), hand);
  Control* inner = MakeTestStatic(label);
  EXPECT_EQ(inner->Cursor, hand);
  form->Free();
}

TEST_F(ControlTools, CanvasOutsidePaintingUsesTheWindowDCAndGivesItBack) {
  Control* form = MakeTestForm("canvas");
  Control* label = MakeTestStatic(form);
  label->SetText("measure me");
  label->GetFont();
  form->GetWindowHandle();
  Canvas* canvas = label->GetCanvas();
  EXPECT_EQ(label->GetCanvas(), canvas);
  EXPECT_EQ(canvas->DCProvider.Procedure, reinterpret_cast<AnyProc>(&ControlDeviceContext));

  SIZE wide = canvas->MeasureText("measure me, a longer text");
  SIZE narrow = canvas->MeasureText("measure");
  EXPECT_GT(wide.cx, narrow.cx);
  EXPECT_GT(narrow.cy, 0);
  EXPECT_EQ(canvas->DC, nullptr);

  HDC dc = canvas->CanvasDC();
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(WindowFromDC(dc), label->WindowHandle);
  EXPECT_FALSE(canvas->PaintDCBound);
  canvas->BindDC(nullptr);
  form->Free();
}
