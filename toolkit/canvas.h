// A device-context wrapper: gets its DC on demand from a provider, selects its brush and
// font only when an operation needs them, and gives the DC back when unbound.
// Relies on toolkit/drawing_tool.h, gdi32 and (for owner fallbacks) toolkit/control.h.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "toolkit/drawing_tool.h"
#include "toolkit/object.h"

namespace velmora {

class Canvas;
class Control;

// Bits of Canvas::State; the requirement bits of Require use the same values.
enum CanvasStateBits : uint8_t { CanvasHasDC = 1, CanvasBrushSelected = 4, CanvasFontSelected = 8 };
enum CanvasRequirement : uint32_t {
  RequireDC = 1,
  RequireBrush = 4,
  RequireFont = 8,
};

// Answers the DC the canvas is to draw on (null when none can be had).
using DCProviderProc = HDC (*)(void* context, Canvas* sender);

class Canvas : public ObjectBase {
 public:
  // Unbinds the DC and frees the canvas's own tools.
  void Destroy() override;

  // The DC to draw on: from the provider (then bound) when there is one, else the bound DC.
  HDC CanvasDC();
  // Binds dc, giving the previous DC back (ReleaseDC for a DC fetched from a control's
  // window, DeleteDC otherwise; never the owner's paint DC). Null unbinds.
  void BindDC(HDC dc);
  // Selects stock objects back in place of the canvas's tools.
  void ReleaseTools();
  // Makes sure of the CanvasRequirement bits; returns the DC or null.
  HDC Require(uint32_t bits);

  // Fills rect with the canvas's brush, the owner's fallback, or the system window colour.
  void FillRectangle(const RECT& rect);
  // Extent of text in the canvas's font. Leaves no DC bound that it fetched or made itself.
  SIZE MeasureText(const std::string& text);

  Control* Owner = nullptr;
  HDC DC = nullptr;
  DrawingTool* Brush = nullptr;
  DrawingTool* Font = nullptr;
  uint8_t State = 0;
  Callback DCProvider;
  // Set by a control's provider while the bound DC is the owner's paint DC.
  bool PaintDCBound = false;
  // The bound DC is a memory DC that MeasureText made; it is deleted, never released.
  bool MemoryDCBound = false;
};

// A canvas over dc (bound at once), or an unbound one when dc is null.
Canvas* CreateCanvas(HDC dc);

}  // namespace velmora
