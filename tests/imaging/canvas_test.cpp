// Drawing tools share their parent's GDI handle only while equal and never delete it;
// a canvas tells its listener before it paints.
#include <gtest/gtest.h>

#include "toolkit/canvas.h"
#include "toolkit/drawing_tool.h"

using namespace velmora;

TEST(DrawingTool, SharesTheParentHandleWhileEqualAndNeverDeletesIt) {
  DrawingTool* parent = MakeBrushTool();
  DrawingTool* child = MakeBrushTool();
  child->Parent = parent;
  parent->SetColor(RGB(10, 20, 30));
  child->SetColor(RGB(10, 20, 30));
  const HGDIOBJ shared = parent->GetHandle();
  EXPECT_EQ(child->GetHandle(), shared);
  EXPECT_EQ(child->Handle, nullptr);

  int drops = 0;
  child->OnChange = MakeCallback(
      &drops, +[](void* n, DrawingTool*) { ++*static_cast<int*>(n); });
  child->SetColor(RGB(1, 2, 3));
  const HGDIOBJ own = child->GetHandle();
  ASSERT_NE(own, shared);
  LOGBRUSH brush{};
  ASSERT_EQ(GetObjectA(own, sizeof brush, &brush), static_cast<int>(sizeof brush));
  EXPECT_EQ(brush.lbColor, RGB(1, 2, 3));
  child->DropHandle();
  EXPECT_GT(drops, 0);
  EXPECT_EQ(GetObjectType(own), 0u) << "a dropped own handle is deleted";

  child->GetHandle();
  child->Free();
  EXPECT_EQ(GetObjectType(shared), static_cast<DWORD>(OBJ_BRUSH)) << "the parent's handle survives";
  parent->Free();

  DrawingTool* font = MakeFontTool();
  font->SetFontStyle(Underline | Bold);
  EXPECT_EQ(font->FontStyle(), static_cast<uint32_t>(Underline | Bold));
  LOGFONTA logFont{};
  ASSERT_GT(GetObjectA(font->GetHandle(), sizeof logFont, &logFont), 0);
  EXPECT_TRUE(logFont.lfUnderline);
  EXPECT_GE(logFont.lfWeight, FW_BOLD);
  font->Free();
}

TEST(Canvas, FillNotifiesBeforeThePixelsChange) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 8, 8);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  PatBlt(dc, 0, 0, 8, 8, WHITENESS);

  Canvas* canvas = CreateCanvas(dc);
  canvas->CanvasBrush()->SetColor(RGB(0, 0, 255));
  COLORREF seen = CLR_INVALID;
  canvas->OnChange = MakeCallback(
      &seen,
      +[](void* p, Canvas* sender) { *static_cast<COLORREF*>(p) = GetPixel(sender->DC, 3, 3); });
  canvas->FillRectangle(RECT{0, 0, 8, 8});
  EXPECT_EQ(seen, RGB(255, 255, 255)) << "the listener runs before the fill";
  EXPECT_EQ(GetPixel(dc, 3, 3), RGB(0, 0, 255));
  SelectObject(dc, old);
  canvas->Free();  // gives the bound memory DC back
  DeleteObject(bitmap);
}
