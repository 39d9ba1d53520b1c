// Geometry setters, docking and auto-size to text.
#include "toolkit/layout.h"

#include <string>

#include "toolkit/canvas.h"
#include "toolkit/drawing_tool.h"

namespace velmora {

namespace {

int32_t WidthOf(const RECT& r) { return r.right - r.left; }
int32_t HeightOf(const RECT& r) { return r.bottom - r.top; }

bool InPass(uint8_t align, int pass) {
  switch (pass) {
    case 1:
      return align == AlignTop || align == AlignBottom;
    case 2:
      return align == AlignLeft || align == AlignRight;
    default:
      return align == AlignClient;
  }
}

// Places one docked child in what is left of the parent's area and takes its share off.
void PlaceChild(Control* child, RECT& area, int32_t m) {
  const RECT before = child->GetBounds();
  const int32_t w = WidthOf(before);
  const int32_t h = HeightOf(before);
  // Every docked child fills what is left less the margin; the edge kinds then keep their
  // own depth and take it, with the margin, off the remaining area.
  RECT r{area.left + m, area.top + m, area.right - m, area.bottom - m};
  switch (child->Align) {
    case AlignTop:
      r.bottom = r.top + h;
      area.top += h + m;
      break;
    case AlignBottom:
      r.top = r.bottom - h;
      area.bottom -= h + m;
      break;
    case AlignLeft:
      r.right = r.left + w;
      area.left += w + m;
      break;
    case AlignRight:
      r.left = r.right - w;
      area.right -= w + m;
      break;
    case AlignClient:
      break;
    default:
      return;
  }
  // What no longer fits gets zero width or height, never a negative one.
  if (r.left > r.right) r.right = r.left;
  if (r.top > r.bottom) r.bottom = r.top;

  const bool moved = r.left != before.left || r.top != before.top;
  const bool resized = WidthOf(r) != w || HeightOf(r) != h;
  if (moved || resized) child->SetBounds(r);
  if (resized) AlignChildren(child);
}

}  // namespace

Control* SetPosition(Control* control, int32_t x, int32_t y) {
  if (!control) return control;
  control->SetLeft(x);
  control->SetTop(y);
  return control;
}

Control* SetSize(Control* control, int32_t width, int32_t height) {
  if (!control) return control;
  if (width > 0) control->SetWidth(width);
  if (height > 0) control->SetHeight(height);
  return control;
}

Control* SetClientSize(Control* control, int32_t width, int32_t height) {
  if (!control) return control;
  // The frame is whatever the outer size has beyond the client area; measured again for the
  // height because a new width can change the frame (a wrapping menu bar, for instance).
  if (width > 0) {
    const RECT client = control->GetClientArea();
    control->SetWidth(width + control->GetWidth() - WidthOf(client));
  }
  if (height > 0) {
    const RECT client = control->GetClientArea();
    control->SetHeight(height + control->GetHeight() - HeightOf(client));
  }
  return control;
}

void Center(Control* control) {
  if (!control) return;
  RECT area;
  if (!control->Parent || !control->IsChild) {
    area = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  } else {
    area = control->Parent->GetClientArea();
  }
  control->GetWindowHandle();
  // The outer size counts, so the whole frame is centred; a window larger than the area
  // gets a negative offset (the shift keeps the sign and rounds down).
  control->SetLeft(area.left + ((WidthOf(area) - control->GetWidth()) >> 1));
  control->SetTop(area.top + ((HeightOf(area) - control->GetHeight()) >> 1));
}

Control* SetAlign(Control* control, uint8_t align) {
  AlignHook = AlignChildren;
  if (!control) return control;
  if (align != control->Align) {
    control->Align = align;
    if (control->Parent) AlignChildren(control->Parent);
  }
  return control;
}

bool TakesPartInLayout(Control* control) {
  if (!control) return false;
  const bool shown = control->Visible || control->PendingShow;
  if (!control->IsChild || !control->Parent) return shown;
  if (!shown) return false;
  // A top-level parent answers from its window, which may have been shown or hidden since.
  control->Parent->GetVisible();
  return TakesPartInLayout(control->Parent);
}

void AlignChildren(Control* control) {
  if (!control || !control->Children) return;
  RECT area = control->GetClientArea();
  const int32_t m = control->AlignMargin;
  for (int pass = 1; pass <= 3; ++pass) {
    // Placing a child can re-enter through its WM_SIZE; the list is read afresh each step.
    for (int32_t i = 0; i < control->Children->Count; ++i) {
      auto* child = static_cast<Control*>(control->Children->Item(i));
      if (!child || !InPass(child->Align, pass)) continue;
      if (!TakesPartInLayout(child)) continue;
      PlaceChild(child, area, m);
    }
  }
}

Control* SetAutoSize(Control* control, bool on) {
  if (!control) return control;
  if (on) {
    control->AfterTextChange = AutoSizeToText;
    AutoSizeToText(control);
  } else {
    control->AfterTextChange = nullptr;
  }
  return control;
}

void AutoSizeToText(Control* control) {
  if (!control) return;
  std::string text = control->Caption;
  SIZE size{0, 0};
  if (!text.empty()) {
    // A slanted last letter leans out of its cell: one blank more gives it room.
    if (control->Font && (control->Font->FontStyle() & Italic)) text += ' ';
    control->GetWindowHandle();
    size = control->GetCanvas()->MeasureText(text);
  }

  bool changed = false;
  const uint8_t align = control->Align;
  const int32_t extraWidth = control->Kind.AutoSizeExtraWidth;
  const int32_t extraHeight = control->Kind.AutoSizeExtraHeight;
  if ((align == AlignNone || align == AlignLeft || align == AlignRight) && extraWidth > 0) {
    const int32_t width = size.cx + extraWidth;
    if (width != control->GetWidth()) {
      control->SetWidth(width);
      changed = true;
    }
  }
  if ((align == AlignNone || align == AlignTop || align == AlignBottom) && extraHeight > 0) {
    const int32_t height = size.cy + extraHeight;
    if (height != control->GetHeight()) {
      control->SetHeight(height);
      changed = true;
    }
  }
  if (changed) {
    if (control->Parent) AlignHook(control->Parent);
    AlignHook(control);
  }
}

}  // namespace velmora
