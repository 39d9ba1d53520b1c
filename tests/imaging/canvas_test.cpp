// Drawing tools and canvases under real GDI: lazy and shared handles, change notifications,
// font styles, tool copies, cached selection, rectangle fills and text measuring.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "toolkit/canvas.h"
#include "toolkit/control.h"
#include "toolkit/drawing_tool.h"

using namespace velmora;

namespace {

// A 32-bit top-down DIB section selected into a memory DC, with its pixels readable.
struct PixelDC {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previous = nullptr;
  uint32_t* pixels = nullptr;
  int width = 0;

  PixelDC(int w, int h) : width(w) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    pixels = static_cast<uint32_t*>(bits);
    previous = SelectObject(dc, bitmap);
  }
  // Gives the DC to a canvas, which then deletes it; the bitmap stays ours.
  HDC Handover() {
    HDC given = dc;
    dc = nullptr;
    return given;
  }
  ~PixelDC() {
    if (dc) {
      SelectObject(dc, previous);
      DeleteDC(dc);
    }
    DeleteObject(bitmap);
  }
  COLORREF At(int x, int y) const {
    GdiFlush();
    uint32_t v = pixels[y * width + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
};

// Records every notification of a tool together with whether the old handle still existed.
struct ToolListener {
  std::vector<bool> oldHandleAlive;
  HGDIOBJ watched = nullptr;
  DrawingTool* sender = nullptr;
  static void Proc(void* context, DrawingTool* tool) {
    auto* self = static_cast<ToolListener*>(context);
    self->sender = tool;
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

bool g_destroyed = false;
void MarkDestroyed(void*, ObjectBase*) { g_destroyed = true; }

}  // namespace

TEST(DrawingTools, HandlesAreMadeOnDemandWithTheDefaults) {
  DrawingTool* font = MakeFontTool();
  EXPECT_EQ(font->Kind, DrawingToolKind::Font);
  EXPECT_EQ(font->Handle, nullptr);
  HGDIOBJ handle = font->GetHandle();
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(GetObjectType(handle), static_cast<DWORD>(OBJ_FONT));
  EXPECT_EQ(font->GetHandle(), handle);
  LOGFONTA lf = FontOf(handle);
  EXPECT_STREQ(lf.lfFaceName, "MS Sans Serif");
  EXPECT_EQ(lf.lfHeight, 0);
  EXPECT_EQ(lf.lfCharSet, DEFAULT_CHARSET);
  EXPECT_EQ(font->ResolvedColor, GetSysColor(COLOR_WINDOWTEXT));

  DrawingTool* brush = MakeBrushTool();
  EXPECT_EQ(brush->Kind, DrawingToolKind::Brush);
  HGDIOBJ b = brush->GetHandle();
  EXPECT_EQ(GetObjectType(b), static_cast<DWORD>(OBJ_BRUSH));
  EXPECT_EQ(BrushColorOf(b), GetSysColor(COLOR_BTNFACE));

  // Freeing a tool deletes its own handle.
  font->Free();
  brush->Free();
  EXPECT_EQ(GetObjectType(handle), 0u);
  EXPECT_EQ(GetObjectType(b), 0u);
}

TEST(DrawingTools, ChildSharesItsParentsHandleWhileEqual) {
  DrawingTool* parent = MakeBrushTool();
  DrawingTool* child = AssignTool(nullptr, parent);
  child->Parent = parent;
  HGDIOBJ shared = parent->GetHandle();
  EXPECT_EQ(child->GetHandle(), shared);
  EXPECT_EQ(child->Handle, nullptr);

  child->SetColor(child->GetColor());  // unchanged colour: nothing happens
  EXPECT_EQ(child->GetHandle(), shared);

  child->SetColor(RGB(1, 2, 3));
  HGDIOBJ own = child->GetHandle();
  EXPECT_NE(own, shared);
  EXPECT_EQ(child->Handle, own);
  EXPECT_EQ(BrushColorOf(own), RGB(1, 2, 3));
  EXPECT_EQ(GetObjectType(shared), static_cast<DWORD>(OBJ_BRUSH));  // parent's untouched

  // Back to the parent's colour: the own handle goes, the shared one is used again.
  child->SetColor(parent->GetColor());
  EXPECT_EQ(GetObjectType(own), 0u);
  EXPECT_EQ(child->GetHandle(), shared);
  child->Free();
  parent->Free();
}

TEST(DrawingTools, DropHandleNotifiesBeforeAndAfterTheDelete) {
  DrawingTool* tool = MakeFontTool();
  ToolListener listener;
  listener.Attach(tool);
  tool->DropHandle();  // no handle yet: one call
  EXPECT_EQ(listener.oldHandleAlive, (std::vector<bool>{false}));
  EXPECT_EQ(listener.sender, tool);

  listener.oldHandleAlive.clear();
  listener.watched = tool->GetHandle();
  tool->DropHandle();
  EXPECT_EQ(listener.oldHandleAlive, (std::vector<bool>{true, false}));
  EXPECT_EQ(tool->Handle, nullptr);

  // A system colour that no longer resolves as when the handle was made drops the handle.
  listener.oldHandleAlive.clear();
  listener.watched = tool->GetHandle();
  tool->ResolvedColor ^= 0x010101;
  HGDIOBJ remade = tool->GetHandle();
  EXPECT_EQ(listener.oldHandleAlive, (std::vector<bool>{true, false}));
  EXPECT_EQ(tool->ResolvedColor, ResolveColor(tool->GetColor()));
  EXPECT_EQ(GetObjectType(remade), static_cast<DWORD>(OBJ_FONT));
  tool->Free();
}

TEST(DrawingTools, FontStylesMapToTheLogfont) {
  DrawingTool* font = MakeFontTool();
  ToolListener listener;
  listener.Attach(font);
  font->GetHandle();
  font->SetFontStyle(Underline);
  EXPECT_EQ(font->Description.Font.lfUnderline, 1);
  EXPECT_EQ(font->Handle, nullptr);
  EXPECT_EQ(listener.oldHandleAlive.size(), 2u);
  EXPECT_TRUE(FontOf(font->GetHandle()).lfUnderline);

  listener.oldHandleAlive.clear();
  font->SetFontStyle(Underline);  // same style: nothing
  EXPECT_TRUE(listener.oldHandleAlive.empty());
  EXPECT_NE(font->Handle, nullptr);

  font->Description.Font.lfWeight = 400;
  font->SetFontStyle(Bold);
  EXPECT_EQ(font->Description.Font.lfWeight, 700);
  EXPECT_EQ(font->Description.Font.lfUnderline, 0);
  font->SetFontStyle(0);
  EXPECT_EQ(font->Description.Font.lfWeight, 0);

  // A heavier weight stays while bold is kept; every combination reads back as set.
  font->Description.Font.lfWeight = 900;
  EXPECT_EQ(font->FontStyle(), static_cast<uint32_t>(Bold));
  font->SetFontStyle(Bold | Italic);
  EXPECT_EQ(font->Description.Font.lfWeight, 900);
  for (uint32_t bits = 0; bits < 16; ++bits) {
    font->SetFontStyle(bits);
    EXPECT_EQ(font->FontStyle(), bits);
    LOGFONTA lf = FontOf(font->GetHandle());
    EXPECT_EQ(lf.lfItalic != 0, (bits & Italic) != 0);
    EXPECT_EQ(lf.lfStrikeOut != 0, (bits & StrikeOut) != 0);
  }
  font->Free();
}

TEST(DrawingTools, AssignToolCopiesTheDescriptionOnly) {
  DrawingTool* src = MakeFontTool();
  src->SetColor(RGB(0, 0, 0x80));
  src->SetFontStyle(Underline | Bold);

  DrawingTool* made = AssignTool(nullptr, src);
  ASSERT_NE(made, nullptr);
  EXPECT_NE(made, src);
  EXPECT_EQ(made->Kind, DrawingToolKind::Font);
  EXPECT_EQ(std::memcmp(&made->Description, &src->Description, sizeof(ToolDescription)), 0);
  EXPECT_EQ(made->FontStyle(), src->FontStyle());

  DrawingTool* dst = MakeFontTool();
  DrawingTool* dstParent = MakeFontTool();
  ToolListener listener;
  listener.Attach(dst);
  listener.watched = dst->GetHandle();  // an own handle, made before a parent is set
  dst->Parent = dstParent;
  EXPECT_EQ(AssignTool(dst, src), dst);
  EXPECT_EQ(dst->GetColor(), src->GetColor());
  EXPECT_EQ(dst->Parent, dstParent);            // not copied
  EXPECT_EQ(dst->OnChange.Context, &listener);  // not copied
  // Dropped with notifications around the delete, then told once more of the new description.
  EXPECT_EQ(listener.oldHandleAlive, (std::vector<bool>{true, false, false}));
  EXPECT_EQ(GetObjectType(listener.watched), 0u);
  EXPECT_EQ(AssignTool(dst, dst), dst);

  g_destroyed = false;
  dst->OnDestroy = MakeCallback(nullptr, &MarkDestroyed);
  EXPECT_EQ(AssignTool(dst, nullptr), nullptr);
  EXPECT_TRUE(g_destroyed);
  dstParent->Free();
  made->Free();
  src->Free();
}

TEST(Canvases, FillRectangleUsesItsBrushAndNotifiesFirst) {
  PixelDC surface(8, 4);
  Canvas* canvas = CreateCanvas(surface.Handover());
  EXPECT_EQ(canvas->State & CanvasHasDC, CanvasHasDC);

  struct Watch {
    explicit Watch(const PixelDC* s) : surface(s) {}
    const PixelDC* surface;
    Canvas* sender = nullptr;
    std::vector<COLORREF> seenBefore;
    static void Proc(void* context, Canvas* c) {
      auto* self = static_cast<Watch*>(context);
      self->sender = c;
      self->seenBefore.push_back(self->surface->At(0, 0));
    }
  } watch(&surface);
  canvas->OnChange = MakeCallback(&watch, &Watch::Proc);

  // Without brush and owner: the system window colour.
  RECT all{0, 0, 8, 4};
  canvas->FillRectangle(all);
  EXPECT_EQ(surface.At(7, 3), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(watch.sender, canvas);

  DrawingTool* brush = canvas->CanvasBrush();
  EXPECT_EQ(canvas->CanvasBrush(), brush);
  brush->SetColor(RGB(200, 10, 30));
  RECT left{0, 0, 4, 4};
  canvas->FillRectangle(left);
  EXPECT_EQ(surface.At(0, 0), RGB(200, 10, 30));
  EXPECT_EQ(surface.At(4, 0), GetSysColor(COLOR_WINDOW));
  // The listener ran before the pixels changed.
  ASSERT_EQ(watch.seenBefore.size(), 2u);
  EXPECT_EQ(watch.seenBefore[1], GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(canvas->State & CanvasBrushSelected, CanvasBrushSelected);
  EXPECT_EQ(GetCurrentObject(canvas->DC, OBJ_BRUSH), brush->GetHandle());

  // A changed brush deselects itself; the next fill selects the new handle.
  HGDIOBJ oldBrush = brush->GetHandle();
  brush->SetColor(RGB(5, 150, 60));
  EXPECT_EQ(canvas->State & CanvasBrushSelected, 0);
  EXPECT_NE(GetCurrentObject(canvas->DC, OBJ_BRUSH), oldBrush);
  canvas->FillRectangle(left);
  EXPECT_EQ(surface.At(3, 3), RGB(5, 150, 60));
  EXPECT_EQ(GetCurrentObject(canvas->DC, OBJ_BRUSH), brush->GetHandle());
  canvas->Free();
}

TEST(Canvases, BindingGivesTheOldDcBackAndResetsSelection) {
  PixelDC first(2, 2);
  HDC firstDC = first.Handover();
  Canvas* canvas = CreateCanvas(firstDC);
  canvas->CanvasBrush()->SetColor(RGB(1, 2, 3));
  ASSERT_NE(canvas->Require(RequireDC | RequireBrush), nullptr);
  EXPECT_EQ(canvas->State, CanvasHasDC | CanvasBrushSelected);

  HDC second = CreateCompatibleDC(nullptr);
  canvas->BindDC(second);
  EXPECT_EQ(GetObjectType(firstDC), 0u);  // a DC without provider is deleted
  EXPECT_EQ(canvas->DC, second);
  EXPECT_EQ(canvas->State, CanvasHasDC);
  canvas->BindDC(second);  // same DC: nothing
  EXPECT_EQ(canvas->DC, second);

  canvas->BindDC(nullptr);
  EXPECT_EQ(canvas->DC, nullptr);
  EXPECT_EQ(canvas->State, 0);
  EXPECT_EQ(GetObjectType(second), 0u);
  // Unbound and without provider, nothing can be drawn, and nothing crashes.
  EXPECT_EQ(canvas->Require(RequireDC | RequireFont), nullptr);
  RECT r{0, 0, 1, 1};
  canvas->FillRectangle(r);
  canvas->Free();
}

TEST(Canvases, ProviderDcsAreFetchedOnDemand) {
  struct Provider {
    int calls = 0;
    HDC dc = nullptr;
    static HDC Proc(void* context, Canvas*) {
      auto* self = static_cast<Provider*>(context);
      ++self->calls;
      return self->dc;
    }
  } provider;
  Canvas* canvas = CreateCanvas(nullptr);
  canvas->DCProvider = MakeCallback(&provider, &Provider::Proc);
  EXPECT_EQ(canvas->CanvasDC(), nullptr);
  EXPECT_EQ(canvas->Require(RequireDC), nullptr);

  provider.dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(canvas->Require(RequireDC), provider.dc);
  EXPECT_EQ(canvas->DC, provider.dc);
  EXPECT_EQ(provider.calls, 3);
  canvas->Free();
  EXPECT_EQ(GetObjectType(provider.dc), 0u);
}

TEST(Canvases, MeasureTextUsesTheCanvasFontAndLeavesNoDcBehind) {
  DrawingTool* big = MakeFontTool();
  big->Description.Font.lfHeight = -40;
  Canvas* canvas = CreateCanvas(nullptr);
  canvas->Font = AssignTool(nullptr, big);

  const std::string text = "Size: 640x480";
  SIZE measured = canvas->MeasureText(text);
  EXPECT_EQ(canvas->DC, nullptr);
  EXPECT_EQ(canvas->State, 0);

  // The expectation: the same font measured directly by GDI.
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ previous = SelectObject(dc, big->GetHandle());
  SIZE direct{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &direct);
  SelectObject(dc, previous);
  DeleteDC(dc);
  EXPECT_EQ(measured.cx, direct.cx);
  EXPECT_EQ(measured.cy, direct.cy);
  EXPECT_GT(measured.cx, 0);

  SIZE empty = canvas->MeasureText("");
  EXPECT_EQ(empty.cx, 0);

  // A larger font measures larger.
  canvas->Font->Description.Font.lfHeight = -20;
  canvas->Font->DropHandle();
  SIZE smaller = canvas->MeasureText(text);
  EXPECT_LT(smaller.cx, measured.cx);
  EXPECT_LT(smaller.cy, measured.cy);

  // A canvas over a fixed DC keeps it: it was not fetched for the measurement.
  PixelDC surface(2, 2);
  HDC fixed = surface.Handover();
  Canvas* fixedCanvas = CreateCanvas(fixed);
  SIZE onFixed = fixedCanvas->MeasureText("W");
  EXPECT_GT(onFixed.cx, 0);
  EXPECT_EQ(fixedCanvas->DC, fixed);
  EXPECT_NE(GetObjectType(fixed), 0u);
  fixedCanvas->Free();
  canvas->Free();
  big->Free();
}

namespace {

// A hidden top-level window of the toolkit to own canvases and tools.
Control* MakeTestForm() {
  Control* form = MakeWindowedControl(nullptr, "Form", false);
  form->Style &= ~static_cast<DWORD>(WS_VISIBLE);
  form->GetWindowHandle();
  return form;
}

}  // namespace

TEST(ControlCanvases, MeasuringOutsidePaintingGivesTheWindowDcBack) {
  Control* form = MakeTestForm();
  ASSERT_NE(form->WindowHandle, nullptr);
  DrawingTool* font = form->GetFont();
  font->Description.Font.lfHeight = -30;
  font->DropHandle();
  Canvas* canvas = form->GetCanvas();
  ASSERT_NE(canvas->Font, nullptr);

  const std::string text = "Shrink";
  SIZE measured = canvas->MeasureText(text);
  EXPECT_EQ(canvas->DC, nullptr);
  EXPECT_EQ(canvas->State, 0);

  HDC dc = GetDC(form->WindowHandle);
  HGDIOBJ previous = SelectObject(dc, canvas->Font->GetHandle());
  SIZE direct{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &direct);
  SelectObject(dc, previous);
  ReleaseDC(form->WindowHandle, dc);
  EXPECT_EQ(measured.cx, direct.cx);
  EXPECT_EQ(measured.cy, direct.cy);
  form->Free();
}

TEST(ControlCanvases, ThePaintDcIsUsedButNeverGivenBack) {
  Control* form = MakeTestForm();
  Canvas* canvas = form->GetCanvas();
  HDC paint = CreateCompatibleDC(nullptr);
  form->PaintDC = paint;
  EXPECT_EQ(canvas->CanvasDC(), paint);
  EXPECT_TRUE(canvas->PaintDCBound);
  SIZE size = canvas->MeasureText("W");
  EXPECT_GT(size.cx, 0);
  EXPECT_EQ(canvas->DC, paint);  // measuring during a paint keeps the paint DC
  canvas->BindDC(nullptr);
  EXPECT_FALSE(canvas->PaintDCBound);
  EXPECT_EQ(GetObjectType(paint), static_cast<DWORD>(OBJ_MEMDC));

  // Still bound when the paint has already forgotten its DC: it is not ours to give back.
  EXPECT_EQ(canvas->CanvasDC(), paint);
  form->PaintDC = nullptr;
  canvas->BindDC(nullptr);
  EXPECT_EQ(GetObjectType(paint), static_cast<DWORD>(OBJ_MEMDC));
  DeleteDC(paint);
  form->Free();
}

TEST(ControlCanvases, FillFallsBackToTheOwnersColourAndBrush) {
  Control* form = MakeTestForm();
  PixelDC surface(4, 2);
  Canvas* canvas = CreateCanvas(surface.Handover());
  canvas->Owner = form;
  form->BackColor = RGB(40, 50, 60);
  RECT all{0, 0, 4, 2};
  canvas->FillRectangle(all);
  EXPECT_EQ(surface.At(3, 1), RGB(40, 50, 60));

  form->GetBrush();
  form->SetBackColor(RGB(70, 80, 90));
  ASSERT_NE(form->Brush, nullptr);
  canvas->FillRectangle(all);
  EXPECT_EQ(surface.At(0, 0), RGB(70, 80, 90));

  // The canvas's own brush starts from the owner's brush tool.
  DrawingTool* own = canvas->CanvasBrush();
  EXPECT_EQ(own->GetColor(), static_cast<Color>(RGB(70, 80, 90)));
  EXPECT_NE(own, form->Brush);
  canvas->Free();
  form->Free();
}

TEST(ControlCanvases, BrushToolsShareTheParentsBackgroundWhileTheColourMatches) {
  DrawingTool* first = MakeBrushTool();  // switches the background rule on for good
  first->Free();
  EXPECT_EQ(ControlBackgroundBrush, &BrushToolBackground);

  Control* form = MakeTestForm();
  Control* child = MakeChildControl(form, "STATIC", WS_CHILD, false, nullptr);
  HBRUSH formBrush = ControlBackgroundBrush(form);
  HBRUSH childBrush = ControlBackgroundBrush(child);
  EXPECT_EQ(childBrush, formBrush);
  ASSERT_NE(child->Brush, nullptr);
  EXPECT_EQ(child->Brush->Parent, form->Brush);
  EXPECT_EQ(child->Brush->Handle, nullptr);
  EXPECT_EQ(BrushColorOf(formBrush), ResolveColor(form->BackColor));

  child->SetBackColor(RGB(3, 99, 7));
  HBRUSH own = ControlBackgroundBrush(child);
  EXPECT_NE(own, formBrush);
  EXPECT_EQ(BrushColorOf(own), RGB(3, 99, 7));
  EXPECT_EQ(ControlBackgroundBrush(form), formBrush);
  form->Free();
}
