// The paint event (WM_PAINT and WM_PRINT fire OnPaint on the paint's device context) and
// off-screen painting of double-buffered controls through a kept bitmap.
#include "toolkit/paint.h"

#include "toolkit/canvas.h"

namespace velmora {

namespace {

bool PaintHandler(Control* control, WindowMessage& message, LRESULT* result) {
  if (message.Message != WM_PAINT && message.Message != WM_PRINT) return false;
  if (!control->OnPaint) return false;

  HDC savedPaintDC = control->PaintDC;
  HDC given = reinterpret_cast<HDC>(message.WParam);
  PAINTSTRUCT ps;
  control->PaintDC = given ? given : BeginPaint(message.Window, &ps);
  control->OnPaint.Invoke<PaintProc>(control, control->PaintDC);
  if (control->OwnCanvas) control->OwnCanvas->BindDC(nullptr);
  if (!given) EndPaint(message.Window, &ps);
  control->PaintDC = savedPaintDC;
  *result = 0;
  return true;
}

void DeleteBufferBitmap(void* context) {
  auto* control = static_cast<Control*>(context);
  if (control->BufferBitmap) DeleteObject(control->BufferBitmap);
  control->BufferBitmap = nullptr;
  control->BufferWidth = 0;
  control->BufferHeight = 0;
}

}  // namespace

void SetPaintHandler(Control* control, Callback callback) {
  control->OnPaint = callback;
  control->AddMessageHandler(&PaintHandler);
}

void SetDoubleBuffered(Control* control, bool on) {
  control->DoubleBuffered = on;
  PreDispatchHook = &DoubleBufferFilter;
  AfterRepaintRequestHook = &RepaintBufferedAncestor;
  AfterCreateHook = &SubclassForeignChildren;
}

Control* BufferedAncestor(Control* control) {
  Control* found = nullptr;
  for (Control* c = control; c; c = c->Parent)
    if (c->DoubleBuffered) found = c;
  return found;
}

bool DoubleBufferFilter(Control* control, WindowMessage& message, LRESULT* result) {
  Control* buffered = BufferedAncestor(control);
  if (!buffered) return false;
  switch (message.Message) {
    case WM_ERASEBKGND:
      if (!buffered->PaintingToBuffer && control->Parent) {
        *result = 1;
        return true;
      }
      return false;

    case WM_PAINT:
      if (control == buffered) {
        if (message.WParam != 0) return false;
        PaintThroughBuffer(control);
        *result = 0;
        return true;
      }
      if (buffered->PaintingToBuffer && buffered->PaintDC) return false;
      ValidateRect(message.Window, nullptr);
      if (!buffered->PaintingToBuffer) buffered->RequestRepaint();
      *result = 0;
      return true;

    case WM_NCPAINT:
      if (!control->IsForm && !buffered->PaintingToBuffer) {
        *result = 0;
        return true;
      }
      return false;

    case WM_SETTEXT:
      if (control->IsLabel) {
        // The text changes while the label is hidden, so it never paints itself on the
        // screen; a label that was hidden before stays hidden.
        const bool wasVisible = IsWindowVisible(message.Window) != FALSE;
        ShowWindow(message.Window, SW_HIDE);
        *result = DefWindowProcA(message.Window, WM_SETTEXT, message.WParam, message.LParam);
        if (wasVisible) {
          ShowWindow(message.Window, SW_SHOWNA);
          UpdateWindow(message.Window);
        }
        return true;
      }
      return false;

    case WM_COMMAND:
      if (HIWORD(message.WParam) == 1) control->RequestRepaint();
      return false;

    case WM_WINDOWPOSCHANGED:
    case WM_HSCROLL:
    case WM_VSCROLL:
      control->RequestRepaint();
      return false;

    default:
      return false;
  }
}

void RepaintBufferedAncestor(Control* control) {
  Control* buffered = BufferedAncestor(control);
  if (buffered && buffered->WindowHandle) InvalidateRect(buffered->WindowHandle, nullptr, TRUE);
}

void PaintThroughBuffer(Control* buffered) {
  HWND window = buffered->WindowHandle;
  RECT update;
  if (!window || !GetUpdateRect(window, &update, FALSE)) return;
  buffered->PaintingToBuffer = true;

  RECT area;
  if (buffered->IsForm) {
    GetClientRect(window, &area);
  } else {
    GetWindowRect(window, &area);
    OffsetRect(&area, -area.left, -area.top);
  }

  HDC screen = GetDC(window);
  HDC memory = CreateCompatibleDC(screen);

  if (!buffered->BufferBitmap)
    buffered->OwnCleanup(Callback{buffered, reinterpret_cast<AnyProc>(&DeleteBufferBitmap)});
  if (buffered->BufferBitmap &&
      (area.right > buffered->BufferWidth || area.bottom > buffered->BufferHeight ||
       buffered->BufferWidth > area.right + 32 || buffered->BufferHeight > area.bottom + 32)) {
    DeleteObject(buffered->BufferBitmap);
    buffered->BufferBitmap = nullptr;
  }
  if (!buffered->BufferBitmap) {
    buffered->BufferBitmap = CreateCompatibleBitmap(screen, area.right, area.bottom);
    buffered->BufferWidth = area.right;
    buffered->BufferHeight = area.bottom;
  }

  HGDIOBJ oldBitmap = SelectObject(memory, buffered->BufferBitmap);
  HDC savedPaintDC = buffered->PaintDC;
  buffered->PaintDC = memory;

  if (buffered->IsForm) {
    SendMessageA(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0);
    SendMessageA(window, WM_PAINT, reinterpret_cast<WPARAM>(memory), 0);
    RECT client;
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    PaintChain(memory, client, GetWindow(window, GW_CHILD));
  } else {
    RECT outer;
    GetWindowRect(window, &outer);
    PaintChain(memory, outer, window);
  }

  HDC target = GetWindowDC(window);
  if (buffered->IsForm) {
    RECT outer, client;
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    BitBlt(target, origin.x - outer.left, origin.y - outer.top, client.right, client.bottom, memory,
           0, 0, SRCCOPY);
  } else {
    BitBlt(target, 0, 0, area.right, area.bottom, memory, 0, 0, SRCCOPY);
  }

  ReleaseDC(window, target);
  SelectObject(memory, oldBitmap);
  DeleteDC(memory);
  ReleaseDC(window, screen);
  buffered->PaintDC = savedPaintDC;
  ValidateRect(window, nullptr);
  buffered->PaintingToBuffer = false;
}

void PaintChain(HDC dc, const RECT& base, HWND first) {
  for (HWND w = first; w; w = GetWindow(w, GW_HWNDNEXT)) {
    if (!IsWindowVisible(w)) continue;
    const int saved = SaveDC(dc);
    RECT wr;
    GetWindowRect(w, &wr);
    POINT org;
    GetWindowOrgEx(dc, &org);

    SetWindowOrgEx(dc, org.x - (wr.left - base.left), org.y - (wr.top - base.top), nullptr);
    IntersectClipRect(dc, 0, 0, wr.right - wr.left, wr.bottom - wr.top);
    SendMessageA(w, WM_PRINT, reinterpret_cast<WPARAM>(dc), PRF_NONCLIENT);

    RECT cr;
    GetClientRect(w, &cr);
    POINT origin{0, 0};
    ClientToScreen(w, &origin);
    OffsetRect(&cr, origin.x, origin.y);
    SetWindowOrgEx(dc, org.x - (cr.left - base.left), org.y - (cr.top - base.top), nullptr);
    IntersectClipRect(dc, 0, 0, cr.right - cr.left, cr.bottom - cr.top);
    SendMessageA(w, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SendMessageA(w, WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);

    PaintChain(dc, cr, GetWindow(w, GW_CHILD));
    RestoreDC(dc, saved);
  }
}

void SubclassForeignChildren(Control* control) {
  if (control->WindowHandle) SubclassChildWindows(control->WindowHandle, &ForeignChildProc);
}

LRESULT CALLBACK ForeignChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if ((message == WM_ERASEBKGND || message == WM_NCPAINT) && !GetPropA(window, SelfProperty)) {
    if (Control* parent = ControlOfWindow(GetParent(window))) {
      Control* buffered = BufferedAncestor(parent);
      if (buffered && !buffered->PaintingToBuffer) return message == WM_ERASEBKGND ? 1 : 0;
    }
  }
  return CallPreviousProc(window, message, wParam, lParam);
}

}  // namespace velmora
