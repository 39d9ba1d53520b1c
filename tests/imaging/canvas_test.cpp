// Drawing tools and canvases under real GDI: lazy and shared handles, change notifications,
// font styles, tool copies, DC binding, rectangle fills and text measuring.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "toolkit/canvas.h"
#include "toolkit/control.h"
#include "toolkit/drawing_tool.h"

using namespace velmora;
using velmora::test::Surface;

namespace {

// Records every notification of a tool and whether the watched handle still existed.
struct ToolListener {
  std::vector<bool> oldHandleAlive;
  HGDIOBJ watched = nullptr;
  static void Proc(void* context, DrawingTool*) {
    auto* self = static_cast<ToolListener*>(context);
    self->oldHandleAlive.push_back(self->watched && GetObjectType(self->watched) != 0);
  }
  void Attach(DrawingTool* tool) { tool->OnChange = MakeCallback(this, &Proc); }
};

LOGFONTA FontOf(HGDIOBJ font) {
  LOGFONTA lf{};
  GetObjectA(font, sizeof(lf), &lf);
  return lf;
}

COLORREF BrushColorOf(HGDIOBJ brush) {
  LOGBRUSH lb{};
  GetObjectA(brush, sizeof(lb), &lb);
  return lb.lbColor;
}

// A hidden top-level window of the toolkit to own canvases and tools.
Control* MakeTestForm() {
  Control* form = MakeWindowedControl(nullptr, "Form", false);
  form->Style &= ~static_cast<DWORD>(WS_VISIBLE);
  form->GetWindowHandle();
  return form;
}

}  // namespace

TEST(DrawingTools, ChildSharesItsParentsHandleWhileEqual) {
  DrawingTool* parent = MakeBrushTool();
  DrawingTool* child = AssignTool(nullptr, parent);
  child->Parent = parent;
  HGDIOBJ shared = parent->GetHandle();
  EXPECT_EQ(GetObjectType(shared), static_cast<DWORD>(OBJ_BRUSH));
  EXPECT_EQ(child->GetHandle(), shared);
  EXPECT_EQ(child->Handle, nullptr);

  child->SetColor(RGB(1, 2, 3));
  HGDIOBJ own = child->GetHandle();
  EXPECT_NE(own, shared);
  EXPECT_EQ(BrushColorOf(own), RGB(1, 2, 3));
  EXPECT_EQ(BrushColorOf(shared), ResolveColor(parent->GetColor()));
  child->SetColor(parent->GetColor());  // equal again: the own handle goes
  EXPECT_EQ(GetObjectType(own), 0u);
  EXPECT_EQ(child->GetHandle(), shared);
  child->Free();
  EXPECT_NE(GetObjectType(shared), 0u);
  parent->Free();
  EXPECT_EQ(GetObjectType(shared), 0u);  // freeing a tool deletes its own handle

  // The same rule for the background brushes of controls.
  Control* form = MakeTestForm();
  Control* label = MakeChildControl(form, "STATIC", WS_CHILD, false, nullptr);
  HBRUSH formBrush = ControlBackgroundBrush(form);
  EXPECT_EQ(ControlBackgroundBrush(label), formBrush);
  EXPECT_EQ(label->Brush->Parent, form->Brush);
  EXPECT_EQ(BrushColorOf(formBrush), ResolveColor(form->BackColor));
  label->SetBackColor(RGB(3, 99, 7));
  HBRUSH labelBrush = ControlBackgroundBrush(label);
  EXPECT_NE(labelBrush, formBrush);
  EXPECT_EQ(BrushColorOf(labelBrush), RGB(3, 99, 7));
  EXPECT_EQ(ControlBackgroundBrush(form), formBrush);
  form->Free();
}

TEST(DrawingTools, ChangesNotifyAroundTheDeleteOfTheOldHandle) {
  DrawingTool* font = MakeFontTool();
  ToolListener listener;
  listener.Attach(font);
  font->DropHandle();  // no handle yet: one call
  EXPECT_EQ(listener.oldHandleAlive, (std::vector<bool>{false}));

  listener.oldHandleAlive.clear();
  listener.watched = font->GetHandle();
  font->SetFontStyle(Underline);
  EXPECT_EQ(listener.oldHandleAlive, (std::vector<bool>{true, false}));
  EXPECT_TRUE(FontOf(font->GetHandle()).lfUnderline);
  listener.oldHandleAlive.clear();
  font->SetFontStyle(Underline);  // same style: nothing
  EXPECT_TRUE(listener.oldHandleAlive.empty());

  // A system colour that no longer resolves as when the handle was made drops the handle.
  listener.watched = font->GetHandle();
  font->ResolvedColor ^= 0x010101;
  EXPECT_EQ(GetObjectType(font->GetHandle()), static_cast<DWORD>(OBJ_FONT));
  EXPECT_EQ(listener.oldHandleAlive, (std::vector<bool>{true, false}));
  EXPECT_EQ(font->ResolvedColor, ResolveColor(font->GetColor()));

  // Every style combination reads back as set; a heavier weight stays while bold is kept.
  for (uint32_t bits = 0; bits < 16; ++bits) {
    font->SetFontStyle(bits);
    EXPECT_EQ(font->FontStyle(), bits);
    LOGFONTA lf = FontOf(font->GetHandle());
    EXPECT_EQ(lf.lfWeight >= 700, (bits & Bold) != 0);
    EXPECT_EQ(lf.lfItalic != 0, (bits & Italic) != 0);
    EXPECT_EQ(lf.lfUnderline != 0, (bits & Underline) != 0);
    EXPECT_EQ(lf.lfStrikeOut != 0, (bits & StrikeOut) != 0);
  }
  font->Description.Font.lfWeight = 900;
  font->SetFontStyle(Bold | Italic);
  EXPECT_EQ(font->Description.Font.lfWeight, 900);

  // AssignTool copies the description only, dropping the old handle and notifying once more.
  DrawingTool* dst = MakeFontTool();
  DrawingTool* dstParent = MakeFontTool();
  listener.oldHandleAlive.clear();
  listener.Attach(dst);
  listener.watched = dst->GetHandle();
  dst->Parent = dstParent;
  EXPECT_EQ(AssignTool(dst, font), dst);
  EXPECT_EQ(dst->FontStyle(), font->FontStyle());
  EXPECT_EQ(dst->Description.Font.lfWeight, 900);
  EXPECT_EQ(dst->Parent, dstParent);
  EXPECT_EQ(dst->OnChange.Context, &listener);
  EXPECT_EQ(listener.oldHandleAlive, (std::vector<bool>{true, false, false}));
  EXPECT_EQ(AssignTool(dst, nullptr), nullptr);  // frees dst
  dstParent->Free();
  font->Free();
}

TEST(Canvases, FillRectangleUsesItsBrushAndNotifiesFirst) {
  Surface surface(8, 4);
  Canvas* canvas = CreateCanvas(surface.Handover());
  struct Watch {
    const Surface* surface;
    Canvas* sender = nullptr;
    std::vector<COLORREF> seenBefore;
    static void Proc(void* context, Canvas* c) {
      auto* self = static_cast<Watch*>(context);
      self->sender = c;
      self->seenBefore.push_back(self->surface->At(0, 0));
    }
  } watch{&surface, nullptr, {}};
  canvas->OnChange = MakeCallback(&watch, &Watch::Proc);

  canvas->FillRectangle(RECT{0, 0, 8, 4});  // without brush and owner: the window colour
  EXPECT_EQ(surface.At(7, 3), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(watch.sender, canvas);
  DrawingTool* brush = canvas->CanvasBrush();
  brush->SetColor(RGB(200, 10, 30));
  canvas->FillRectangle(RECT{0, 0, 4, 4});
  EXPECT_EQ(surface.At(0, 0), RGB(200, 10, 30));
  EXPECT_EQ(surface.At(4, 0), GetSysColor(COLOR_WINDOW));
  ASSERT_EQ(watch.seenBefore.size(), 2u);
  EXPECT_EQ(watch.seenBefore[1], GetSysColor(COLOR_WINDOW));  // told before the pixels changed

  // A changed brush deselects itself; the next fill selects the new handle.
  HGDIOBJ oldBrush = brush->GetHandle();
  brush->SetColor(RGB(5, 150, 60));
  EXPECT_EQ(canvas->State & CanvasBrushSelected, 0);
  EXPECT_NE(GetCurrentObject(canvas->DC, OBJ_BRUSH), oldBrush);
  canvas->FillRectangle(RECT{0, 0, 4, 4});
  EXPECT_EQ(surface.At(3, 3), RGB(5, 150, 60));
  canvas->Free();

  // With an owner: its colour, then its brush, which the canvas's own brush starts from.
  Control* form = MakeTestForm();
  Surface owned(4, 2);
  canvas = CreateCanvas(owned.Handover());
  canvas->Owner = form;
  form->BackColor = RGB(40, 50, 60);
  canvas->FillRectangle(RECT{0, 0, 4, 2});
  EXPECT_EQ(owned.At(3, 1), RGB(40, 50, 60));
  form->GetBrush();
  form->SetBackColor(RGB(70, 80, 90));
  canvas->FillRectangle(RECT{0, 0, 4, 2});
  EXPECT_EQ(owned.At(0, 0), RGB(70, 80, 90));
  EXPECT_EQ(canvas->CanvasBrush()->GetColor(), static_cast<Color>(RGB(70, 80, 90)));
  EXPECT_NE(canvas->CanvasBrush(), form->Brush);
  canvas->Free();
  form->Free();
}

TEST(Canvases, BindingDeletesOwnDcsFetchesProviderDcsAndNeverGivesBackThePaintDc) {
  Surface first(2, 2);
  HDC firstDC = first.Handover();
  Canvas* canvas = CreateCanvas(firstDC);
  ASSERT_NE(canvas->Require(RequireDC | RequireBrush), nullptr);
  EXPECT_EQ(canvas->State, CanvasHasDC | CanvasBrushSelected);
  HDC second = CreateCompatibleDC(nullptr);
  canvas->BindDC(second);
  EXPECT_EQ(GetObjectType(firstDC), 0u);  // a DC without provider is deleted
  EXPECT_EQ(canvas->State, CanvasHasDC);
  canvas->BindDC(second);  // same DC: kept
  EXPECT_EQ(canvas->DC, second);
  canvas->BindDC(nullptr);
  EXPECT_EQ(canvas->State, 0);
  EXPECT_EQ(GetObjectType(second), 0u);
  EXPECT_EQ(canvas->Require(RequireDC | RequireFont), nullptr);  // nothing to draw on
  canvas->FillRectangle(RECT{0, 0, 1, 1});

  struct Provider {
    int calls = 0;
    HDC dc = nullptr;
    static HDC Proc(void* context, Canvas*) {
      auto* self = static_cast<Provider*>(context);
      ++self->calls;
      return self->dc;
    }
  } provider;
  canvas->DCProvider = MakeCallback(&provider, &Provider::Proc);
  EXPECT_EQ(canvas->Require(RequireDC), nullptr);
  provider.dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(canvas->Require(RequireDC), provider.dc);
  EXPECT_EQ(provider.calls, 2);
  canvas->Free();
  EXPECT_EQ(GetObjectType(provider.dc), 0u);

  // A control's paint DC is used while painting but is not the canvas's to give back, not
  // even after the paint has forgotten it.
  Control* form = MakeTestForm();
  canvas = form->GetCanvas();
  HDC paint = CreateCompatibleDC(nullptr);
  form->PaintDC = paint;
  EXPECT_EQ(canvas->CanvasDC(), paint);
  EXPECT_GT(canvas->MeasureText("W").cx, 0);
  EXPECT_EQ(canvas->DC, paint);
  canvas->BindDC(nullptr);
  EXPECT_EQ(canvas->CanvasDC(), paint);
  form->PaintDC = nullptr;
  canvas->BindDC(nullptr);
  EXPECT_EQ(GetObjectType(paint), static_cast<DWORD>(OBJ_MEMDC));
  DeleteDC(paint);
  form->Free();
}

TEST(Canvases, MeasureTextUsesTheCanvasFontAndGivesAFetchedDcBack) {
  const std::string text = "Size: 640x480";
  Control* form = MakeTestForm();
  form->GetFont()->Description.Font.lfHeight = -30;
  form->GetFont()->DropHandle();
  Canvas* canvas = form->GetCanvas();
  SIZE measured = canvas->MeasureText(text);
  EXPECT_EQ(canvas->DC, nullptr);
  EXPECT_EQ(canvas->State, 0);
  EXPECT_EQ(canvas->MeasureText("").cx, 0);
  HDC window = GetDC(form->WindowHandle);
  HGDIOBJ previous = SelectObject(window, canvas->Font->GetHandle());
  SIZE direct{};
  GetTextExtentPoint32A(window, text.c_str(), static_cast<int>(text.size()), &direct);
  SelectObject(window, previous);
  ReleaseDC(form->WindowHandle, window);
  EXPECT_EQ(measured.cx, direct.cx);
  EXPECT_EQ(measured.cy, direct.cy);
  EXPECT_GE(measured.cy, 30);
  form->Free();
}
