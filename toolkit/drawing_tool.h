// Brush and font descriptions whose GDI handles are made on first demand, shared with a
// parent tool while both descriptions are equal, and dropped with a notification.
// Relies on toolkit/object.h, toolkit/color.h and gdi32; the brush-tool background rule
// relies on toolkit/control.h.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/color.h"
#include "toolkit/object.h"

namespace velmora {

class Control;
class DrawingTool;

enum class DrawingToolKind : uint8_t { Brush = 0, Font = 1 };

// Style bits of a font tool, read from and written to its LOGFONT.
enum FontStyleBits : uint32_t { Bold = 1, Italic = 2, Underline = 4, StrikeOut = 8 };

// The 64 bytes that alone define a tool's GDI object. A brush uses only the colour (the rest
// stays zero: a solid brush); a font adds its LOGFONT.
struct ToolDescription {
  velmora::Color Color = 0;
  LOGFONTA Font{};
};
static_assert(sizeof(ToolDescription) == 64, "a tool description is 64 bytes");

// Fired as proc(context, tool) whenever the tool's handle is dropped.
using ToolChangeProc = void (*)(void* context, DrawingTool* sender);

class DrawingTool : public ObjectBase {
 public:
  // Deletes the own handle (without notifying) before the base teardown.
  void Destroy() override;

  // The handle to draw with: the own one, else the parent's while the descriptions are
  // equal, else a new own one. Owned by the tool (or its parent); never delete it.
  HGDIOBJ GetHandle();
  HBRUSH BrushHandle() { return static_cast<HBRUSH>(GetHandle()); }
  HFONT FontHandle() { return static_cast<HFONT>(GetHandle()); }

  // Forgets and deletes the own handle. OnChange runs once without a handle; with one it
  // runs before the delete (the old object still exists) and once more after it.
  void DropHandle();

  // A different colour is stored and drops the handle; ResolvedColor is refreshed always.
  void SetColor(velmora::Color c);
  // The same store and drop, leaving ResolvedColor alone (used by controls).
  void StoreColor(velmora::Color c);
  velmora::Color GetColor() const { return Description.Color; }

  uint32_t FontStyle() const;
  void SetFontStyle(uint32_t bits);

  DrawingToolKind Kind = DrawingToolKind::Brush;
  HGDIOBJ Handle = nullptr;
  DrawingTool* Parent = nullptr;
  Callback OnChange;
  COLORREF ResolvedColor = 0;
  ToolDescription Description;
  DrawingTool* (*MakeSameKind)() = nullptr;
  void (*MakeHandle)(DrawingTool* tool) = nullptr;
};

// A solid brush of button-face colour. The first call of the process also switches
// ControlBackgroundBrush to BrushToolBackground.
DrawingTool* MakeBrushTool();
// A font of window-text colour: default height and weight, DEFAULT_CHARSET, "MS Sans Serif".
DrawingTool* MakeFontTool();

// Makes dst carry src's description and returns the tool that does: a new tool of src's kind
// when dst is null; null (dst freed) when src is null. Kind, Parent and OnChange of dst stay.
DrawingTool* AssignTool(DrawingTool* dst, DrawingTool* src);

// The background rule once brush tools are in use: a control's brush tool takes its parent
// control's brush tool as Parent, so an equal colour paints with the parent's handle.
HBRUSH BrushToolBackground(Control* control);

}  // namespace velmora
