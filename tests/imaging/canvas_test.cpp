// Drawing tools and canvases under real GDI: who owns and deletes which handle.
#include <gtest/gtest.h>

#include <windows.h>

#include "toolkit/canvas.h"
#include "toolkit/control.h"
#include "toolkit/drawing_tool.h"

using namespace velmora;

// Catches a child tool or a canvas deleting a handle it does not own, or leaking its own.
TEST(Canvases, ToolsAndCanvasesDeleteOnlyTheHandlesTheyOwn) {
  DrawingTool* parent = MakeBrushTool();
  DrawingTool* child = AssignTool(nullptr, parent);
  child->Parent = parent;
  HGDIOBJ shared = parent->GetHandle();
  EXPECT_EQ(child->GetHandle(), shared);
  child->SetColor(RGB(1, 2, 3));
  HGDIOBJ own = child->GetHandle();
  EXPECT_NE(own, shared);
  child->SetColor(parent->GetColor());  // equal again: the own handle goes
  EXPECT_EQ(GetObjectType(own), 0u);
  EXPECT_EQ(child->GetHandle(), shared);
  child->Free();
  EXPECT_NE(GetObjectType(shared), 0u);
  parent->Free();
  EXPECT_EQ(GetObjectType(shared), 0u);

  HDC first = CreateCompatibleDC(nullptr), second = CreateCompatibleDC(nullptr);
  Canvas* canvas = CreateCanvas(first);
  ASSERT_NE(canvas->Require(RequireDC | RequireBrush), nullptr);
  canvas->BindDC(second);
  EXPECT_EQ(GetObjectType(first), 0u);  // a DC without provider is deleted
  canvas->BindDC(second);               // same DC: kept
  EXPECT_EQ(GetObjectType(second), static_cast<DWORD>(OBJ_MEMDC));
  canvas->Free();
  EXPECT_EQ(GetObjectType(second), 0u);

  // A control's paint DC is used while painting but is never the canvas's to delete.
  Control* form = MakeWindowedControl(nullptr, "Form", false);
  form->Style &= ~static_cast<DWORD>(WS_VISIBLE);
  HDC paint = form->PaintDC = CreateCompatibleDC(nullptr);
  EXPECT_EQ(form->GetCanvas()->CanvasDC(), paint);
  EXPECT_GT(form->GetCanvas()->MeasureText("W").cx, 0);
  form->PaintDC = nullptr;
  form->GetCanvas()->BindDC(nullptr);
  EXPECT_EQ(GetObjectType(paint), static_cast<DWORD>(OBJ_MEMDC));
  DeleteDC(paint);
  form->Free();
}
