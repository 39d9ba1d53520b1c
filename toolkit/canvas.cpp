// Canvas: on-demand DC, cached tool selection, rectangle fill and text measuring.
#include "toolkit/canvas.h"

#include "toolkit/control.h"

namespace velmora {

namespace {

// Stock objects selected back when the canvas lets go of its tools; fetched once.
struct StockObjects {
  HGDIOBJ Font = nullptr;
  HGDIOBJ Brush = nullptr;
  HGDIOBJ Pen = nullptr;
};

const StockObjects& Stock() {
  static StockObjects stock = {GetStockObject(SYSTEM_FONT), GetStockObject(NULL_BRUSH),
                               GetStockObject(BLACK_PEN)};
  return stock;
}

void ToolChanged(void* context, DrawingTool*) { static_cast<Canvas*>(context)->ReleaseTools(); }

}  // namespace

Canvas* CreateCanvas(HDC dc) {
  Canvas* canvas = MakeObject<Canvas>();
  if (dc) canvas->BindDC(dc);
  return canvas;
}

void Canvas::Destroy() {
  BindDC(nullptr);
  FreeAndNull(Brush);
  FreeAndNull(Font);
  ObjectBase::Destroy();
}

HDC Canvas::CanvasDC() {
  if (!DCProvider) return DC;
  HDC dc = DCProvider.Invoke<DCProviderProc>(this);
  // The provider marks a paint DC before it answers; binding must not lose that mark.
  bool paint = PaintDCBound;
  BindDC(dc);
  if (dc && DC == dc) PaintDCBound = paint;
  return DC;
}

void Canvas::BindDC(HDC dc) {
  if (dc == DC) return;
  if (DC) {
    ReleaseTools();
    HDC old = DC;
    // A paint DC belongs to the paint in progress: never released or deleted here.
    bool paintDC = PaintDCBound || (Owner && old == Owner->PaintDC);
    if (!paintDC) {
      bool fromWindow = Owner && !MemoryDCBound &&
                        DCProvider.Procedure == reinterpret_cast<AnyProc>(&ControlDeviceContext);
      if (fromWindow) {
        ReleaseDC(Owner->WindowHandle, old);
      } else {
        DeleteDC(old);
      }
    }
    DC = nullptr;
    PaintDCBound = false;
    MemoryDCBound = false;
    State &= static_cast<uint8_t>(~CanvasHasDC);
  }
  if (dc) {
    State |= CanvasHasDC;
    DC = dc;
    MoveToEx(dc, 0, 0, nullptr);
  }
}

void Canvas::ReleaseTools() {
  if (!DC || !(State & (CanvasBrushSelected | CanvasFontSelected))) return;
  const StockObjects& stock = Stock();
  SelectObject(DC, stock.Font);
  SelectObject(DC, stock.Brush);
  SelectObject(DC, stock.Pen);
  State &= static_cast<uint8_t>(~(CanvasBrushSelected | CanvasFontSelected));
}

HDC Canvas::Require(uint32_t bits) {
  if (bits & RequireDC) {
    if (!CanvasDC()) return nullptr;
  }
  uint32_t missing =
      bits & (RequireDC | RequireBrush | RequireFont) & ~static_cast<uint32_t>(State);
  if (!missing) return DC;
  // Tools can only be selected into a bound DC.
  if (!DC) return nullptr;
  auto hookUp = [this] {
    if (Font) Font->OnChange = MakeCallback(this, &ToolChanged);
    if (Brush) Brush->OnChange = MakeCallback(this, &ToolChanged);
  };
  if (missing & RequireFont) {
    if (Font) {
      hookUp();
      SelectObject(DC, Font->GetHandle());
      SetTextColor(DC, ResolveColor(Font->Description.Color));
    } else if (Owner) {
      SetTextColor(DC, ResolveColor(Owner->TextColor));
    }
  }
  if (missing & RequireBrush) {
    if (Brush) {
      hookUp();
      SelectObject(DC, Brush->GetHandle());
      SetBkColor(DC, ResolveColor(Brush->Description.Color));
      SetBkMode(DC, OPAQUE);
    } else if (Owner) {
      SetBkColor(DC, ResolveColor(Owner->BackColor));
      SetBkMode(DC, OPAQUE);
    }
  }
  State |= static_cast<uint8_t>(missing);
  return DC;
}

void Canvas::FillRectangle(const RECT& rect) {
  if (!Require(RequireBrush | RequireDC)) return;
  if (Brush) {
    FillRect(DC, &rect, Brush->BrushHandle());
  } else if (Owner) {
    if (DrawingTool* ownerBrush = Owner->Brush) {
      FillRect(DC, &rect, ownerBrush->BrushHandle());
    } else {
      HBRUSH solid = CreateSolidBrush(ResolveColor(Owner->BackColor));
      FillRect(DC, &rect, solid);
      DeleteObject(solid);
    }
  } else {
    FillRect(DC, &rect, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)));
  }
}

SIZE Canvas::MeasureText(const std::string& text) {
  SIZE size{0, 0};
  HDC first = Require(RequireDC | RequireFont);
  bool madeMemoryDC = false;
  if (!first) {
    HDC memory = CreateCompatibleDC(nullptr);
    if (!memory) return size;
    BindDC(memory);
    MemoryDCBound = true;
    madeMemoryDC = true;
  }
  if (HDC dc = Require(RequireDC | RequireFont)) {
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  }
  // A DC fetched from the provider or made here is given back at once; a paint DC and the
  // fixed DC of a canvas without provider stay bound.
  bool fetched = madeMemoryDC || (DCProvider && !PaintDCBound);
  if (fetched) BindDC(nullptr);
  return size;
}

}  // namespace velmora
