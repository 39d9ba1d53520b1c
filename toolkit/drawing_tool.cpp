// Brush and font tools: lazy GDI handles shared with a parent while equal.
#include "toolkit/drawing_tool.h"

#include <cstring>

#include "toolkit/control.h"

namespace velmora {

namespace {

constexpr Color DefaultBrushColor = ColorButtonFace;
constexpr Color DefaultFontColor = ColorWindowText;
constexpr LONG BoldWeight = 700;

void MakeBrushHandle(DrawingTool* tool) {
  if (tool->Handle) return;
  LOGBRUSH brush{};
  brush.lbStyle = BS_SOLID;
  brush.lbColor = tool->ResolvedColor;
  brush.lbHatch = 0;
  tool->Handle = CreateBrushIndirect(&brush);
}

void MakeFontHandle(DrawingTool* tool) {
  if (tool->Handle) return;
  tool->Handle = CreateFontIndirectA(&tool->Description.Font);
}

bool brushRuleInstalled = false;

}  // namespace

void DrawingTool::Destroy() {
  HGDIOBJ handle = Handle;
  Handle = nullptr;
  if (handle) DeleteObject(handle);
  ObjectBase::Destroy();
}

HGDIOBJ DrawingTool::GetHandle() {
  if (Handle && ResolveColor(Description.Color) != ResolvedColor) DropHandle();
  if (Handle) return Handle;
  if (Parent && std::memcmp(&Description, &Parent->Description, sizeof(ToolDescription)) == 0) {
    return Parent->GetHandle();
  }
  ResolvedColor = ResolveColor(Description.Color);
  if (MakeHandle) MakeHandle(this);
  return Handle;
}

void DrawingTool::DropHandle() {
  HGDIOBJ old = Handle;
  Handle = nullptr;
  if (!old) {
    if (OnChange) OnChange.Invoke<ToolChangeProc>(this);
    return;
  }
  if (OnChange) OnChange.Invoke<ToolChangeProc>(this);
  DeleteObject(old);
  if (OnChange) OnChange.Invoke<ToolChangeProc>(this);
}

void DrawingTool::StoreColor(velmora::Color c) {
  if (c == Description.Color) return;
  Description.Color = c;
  DropHandle();
}

void DrawingTool::SetColor(velmora::Color c) {
  StoreColor(c);
  ResolvedColor = ResolveColor(c);
}

uint32_t DrawingTool::FontStyle() const {
  const LOGFONTA& f = Description.Font;
  uint32_t bits = 0;
  if (f.lfWeight >= BoldWeight) bits |= Bold;
  if (f.lfItalic) bits |= Italic;
  if (f.lfUnderline) bits |= Underline;
  if (f.lfStrikeOut) bits |= StrikeOut;
  return bits;
}

void DrawingTool::SetFontStyle(uint32_t bits) {
  bits &= Bold | Italic | Underline | StrikeOut;
  if (bits == FontStyle()) return;
  LOGFONTA& f = Description.Font;
  if (bits & Bold) {
    if (f.lfWeight < BoldWeight) f.lfWeight = BoldWeight;
  } else if (f.lfWeight >= BoldWeight) {
    f.lfWeight = 0;
  }
  f.lfItalic = (bits & Italic) ? 1 : 0;
  f.lfUnderline = (bits & Underline) ? 1 : 0;
  f.lfStrikeOut = (bits & StrikeOut) ? 1 : 0;
  DropHandle();
}

DrawingTool* MakeBrushTool() {
  DrawingTool* tool = MakeObject<DrawingTool>();
  tool->Kind = DrawingToolKind::Brush;
  tool->Description.Color = DefaultBrushColor;
  tool->MakeSameKind = &MakeBrushTool;
  tool->MakeHandle = &MakeBrushHandle;
  if (!brushRuleInstalled) {
    brushRuleInstalled = true;
    ControlBackgroundBrush = &BrushToolBackground;
  }
  return tool;
}

DrawingTool* MakeFontTool() {
  DrawingTool* tool = MakeObject<DrawingTool>();
  tool->Kind = DrawingToolKind::Font;
  tool->Description.Color = DefaultFontColor;
  LOGFONTA& f = tool->Description.Font;
  f.lfCharSet = DEFAULT_CHARSET;
  std::strcpy(f.lfFaceName, "MS Sans Serif");
  tool->MakeSameKind = &MakeFontTool;
  tool->MakeHandle = &MakeFontHandle;
  return tool;
}

DrawingTool* AssignTool(DrawingTool* dst, DrawingTool* src) {
  if (!src) {
    FreeObject(dst);
    return nullptr;
  }
  if (!dst) dst = src->MakeSameKind ? src->MakeSameKind() : MakeObject<DrawingTool>();
  if (dst == src) return dst;
  if (dst->Handle && dst->Handle == src->Handle) return dst;
  dst->DropHandle();
  dst->Description = src->Description;
  dst->DropHandle();
  return dst;
}

HBRUSH BrushToolBackground(Control* control) {
  if (control->Parent) {
    DrawingTool* parentBrush = control->Parent->GetBrush();
    control->GetBrush()->Parent = parentBrush;
  }
  return control->GetBrush()->BrushHandle();
}

}  // namespace velmora
