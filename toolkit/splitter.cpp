// Splitters.
#include "toolkit/splitter.h"

#include "toolkit/layout.h"
#include "toolkit/panel.h"

namespace velmora {

namespace {

constexpr UINT_PTR DragTimerId = 123;
constexpr UINT DragTimerPeriod = 100;  // ms between looks at the Escape key

bool IsVertical(const Control* splitter) {
  return splitter->Align == AlignTop || splitter->Align == AlignBottom;
}

// Moves the border to where the mouse is (or back to where the drag started), keeping
// both minimum sizes; a drag that cannot keep them leaves the layout as it is.
void DragStep(Control* splitter, bool cancel) {
  if (!splitter->Dragging || !splitter->Parent) return;
  POINT p = splitter->DragStart;
  if (!cancel) GetCursorPos(&p);
  const int32_t sign = (splitter->Align == AlignRight || splitter->Align == AlignBottom) ? -1 : 1;
  Control* parent = splitter->Parent;
  const RECT area = parent->GetClientArea();
  const int32_t margins = 4 * parent->AlignMargin;
  int32_t size;
  int32_t rest;
  if (IsVertical(splitter)) {
    size = (p.y - splitter->DragStart.y) * sign + splitter->StartSize;
    rest = (area.bottom - area.top) - size - splitter->GetHeight() - margins;
  } else {
    size = (p.x - splitter->DragStart.x) * sign + splitter->StartSize;
    rest = (area.right - area.left) - size - splitter->GetWidth() - margins;
  }
  if (size < splitter->MinSizeBefore) {
    rest -= splitter->MinSizeBefore - size;
    size = splitter->MinSizeBefore;
  }
  if (rest < splitter->MinSizeAfter) {
    size -= splitter->MinSizeAfter - rest;
    rest = splitter->MinSizeAfter;
  }
  if (size < splitter->MinSizeBefore || rest < splitter->MinSizeAfter) return;

  Control* target = SplitterTarget(splitter);
  RECT r = target->GetBounds();
  switch (splitter->Align) {
    case AlignTop:
      r.bottom = r.top + size;
      break;
    case AlignBottom:
      r.top = r.bottom - size;
      break;
    case AlignRight:
      r.left = r.right - size;
      break;
    default:
      r.right = r.left + size;
      break;
  }
  target->SetBounds(r);
  AlignHook(parent);
}

void StartDrag(Control* splitter) {
  if (!splitter->Parent) return;
  Control* target = SplitterTarget(splitter);
  splitter->StartSize = IsVertical(splitter) ? target->GetHeight() : target->GetWidth();
  SetCapture(splitter->WindowHandle);
  splitter->Dragging = true;
  SetTimer(splitter->WindowHandle, DragTimerId, DragTimerPeriod, nullptr);
  GetCursorPos(&splitter->DragStart);
}

void StopDrag(Control* splitter) {
  splitter->Dragging = false;
  KillTimer(splitter->WindowHandle, DragTimerId);
  if (GetCapture() == splitter->WindowHandle) ReleaseCapture();
}

}  // namespace

Control* MakeSplitter(Control* parent, int32_t minSizeBefore, int32_t minSizeAfter) {
  Control* splitter = MakePanel(parent, PanelSunken);
  splitter->MinSizeBefore = minSizeBefore;
  splitter->MinSizeAfter = minSizeAfter;
  SetSize(splitter, 4, 4);
  if (parent && parent->Children && parent->Children->Count >= 2) {
    auto* before = static_cast<Control*>(parent->Children->Item(parent->Children->Count - 2));
    const bool vertical = before->Align == AlignTop || before->Align == AlignBottom;
    splitter->Cursor = LoadCursorA(nullptr, vertical ? IDC_SIZENS : IDC_SIZEWE);
    SetAlign(splitter, before->Align);
  }
  splitter->AddMessageHandler(SplitterHandler);
  return splitter;
}

Control* SplitterTarget(Control* splitter) {
  Control* parent = splitter->Parent;
  if (!parent || !parent->Children) return splitter;
  const int32_t index = parent->Children->IndexOf(splitter);
  if (index <= 0) return splitter;
  return static_cast<Control*>(parent->Children->Item(index - 1));
}

bool SplitterHandler(Control* splitter, WindowMessage& message, LRESULT* result) {
  switch (message.Message) {
    case WM_NCHITTEST: {
      // The sunken border counts as client area, so the whole splitter can be grabbed.
      const LRESULT hit =
          DefWindowProcA(message.Window, message.Message, message.WParam, message.LParam);
      *result = hit > 0 ? HTCLIENT : hit;
      return true;
    }
    case WM_MOUSEMOVE:
      if (splitter->Cursor) SetCursor(splitter->Cursor);
      DragStep(splitter, false);
      break;
    case WM_LBUTTONDOWN:
      StartDrag(splitter);
      break;
    case WM_LBUTTONUP:
      DragStep(splitter, false);
      StopDrag(splitter);
      break;
    case WM_TIMER:
      if (message.WParam == DragTimerId && splitter->Dragging && GetAsyncKeyState(VK_ESCAPE) < 0) {
        DragStep(splitter, true);
        StopDrag(splitter);
      }
      break;
    case WM_CAPTURECHANGED:
      // Capture taken away (another window grabbed the mouse): the drag ends where it is.
      if (splitter->Dragging && reinterpret_cast<HWND>(message.LParam) != splitter->WindowHandle) {
        StopDrag(splitter);
      }
      break;
    default:
      break;
  }
  return false;
}

}  // namespace velmora
