// The toolkit's picture in memory: a screen-compatible GDI bitmap, or a DIB whose pixels live
// in plain memory until a GDI handle is needed and then move into a DIB section. Converts
// kind and pixel format through GDI. Relies on toolkit/canvas.h, toolkit/object.h and gdi32.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "toolkit/canvas.h"
#include "toolkit/color.h"
#include "toolkit/object.h"

namespace velmora {

enum PixelFormat : uint8_t {
  DeviceDependent = 0,  // not a DIB format
  Bpp1 = 1,
  Bpp4 = 2,
  Bpp8 = 3,   // colour-table indices
  Bpp15 = 4,  // BI_RGB 5-5-5
  Bpp16 = 5,  // BI_BITFIELDS 5-6-5
  Bpp24 = 6,  // bytes blue, green, red
  Bpp32 = 7,
  CustomFormat = 8,  // a header whose bit count is none of the above
};

// Bits per pixel of a format; 0 for DeviceDependent and CustomFormat.
int BitsPerPixel(PixelFormat format);

// Replaces a format without bits per pixel when a DIB is made or rebuilt.
extern PixelFormat DefaultDibFormat;

enum BitmapHandleKind : uint8_t { Dib = 0, Ddb = 1 };

// BITMAPINFO of a DIB with room for a full colour table.
struct DibHeader {
  BITMAPINFOHEADER Info;
  RGBQUAD Colors[256];
};
static_assert(sizeof(DibHeader) == 1064, "header plus 256 colour entries");

// Presents a toolkit assertion failure: its message, the source file and the line. The
// default writes one line to the debugger output and to stderr and the program goes on;
// replace it to present or collect reports differently.
using AssertionReportProc = void (*)(const std::string& message, const char* file, int line);
extern AssertionReportProc AssertionReportHook;
void ReportAssertion(const std::string& message, const char* file, int line);

class Bitmap : public ObjectBase {
 public:
  void Destroy() override;

  bool IsEmptyBitmap() const { return Width == 0 || Height == 0; }
  // The GDI handle, creating the DIB section of a DIB in memory on demand; 0 when empty or
  // when the section cannot be made (reported; the pixels stay in memory).
  HBITMAP EnsureHandle();
  // A canvas on a memory DC with this bitmap selected; null when empty or without handle.
  Canvas* GetCanvas();
  // Address of row y (0 = top) of a DIB; null without pixels or for y outside the picture.
  uint8_t* RowAddress(int32_t y);
  // Bytes per row of the DIB header (rows padded to 4 bytes); 0 without a header.
  uint32_t RowSize();
  PixelFormat CurrentFormat();
  // Converts the picture to format f (DeviceDependent makes a Ddb).
  void ChangeFormat(PixelFormat f);
  void SetHandleKind(BitmapHandleKind kind);
  void SetWidth(int32_t width);
  // Also makes the bitmap a Ddb.
  void SetHeight(int32_t height);
  // New storage for the current kind, RequestedFormat, Width and Height, keeping the
  // picture. False when the new storage cannot be made; the old one is then kept.
  bool Rebuild();
  // Becomes a copy of source; false (and empty) when source is null, empty or not copyable.
  bool AssignFrom(Bitmap* source);
  // Copies the whole bitmap 1:1 to dc with its top left at (x, y).
  void DrawAt(HDC dc, int32_t x, int32_t y);
  // Colour-table entry index (0..255) of a DIB; a DIB section goes back to plain memory.
  void SetColorEntry(int32_t index, velmora::Color color);
  // Frees the canvas; a DIB section gives its pixels back to plain memory and is deleted.
  void DropHandleKeepPixels();
  // Returns the handle of a DIB section to the caller, who then owns it; the pixels stay
  // in plain memory. 0 when no section can be made.
  HBITMAP ReleaseHandle();
  void FreeStorage();
  // Back to the empty state.
  void ClearBitmap();

  int32_t Height = 0;
  int32_t Width = 0;
  HBITMAP Handle = nullptr;
  Canvas* OwnCanvas = nullptr;
  uint32_t RowSizeCache = 0;
  velmora::Color BackColor = 0;
  void (*DetachHook)(Bitmap* bitmap) = nullptr;
  HGDIOBJ PreviousSelection = nullptr;
  BitmapHandleKind HandleKind = Dib;
  DibHeader* Header = nullptr;
  uint8_t* Bits = nullptr;
  uint32_t BitsSize = 0;
  PixelFormat RequestedFormat = DeviceDependent;
  bool BitsInSection = false;

 private:
  void Detach() {
    if (DetachHook) DetachHook(this);
  }
  // Deselects the bitmap from its canvas and frees the canvas.
  void DropCanvas();
  // Rows of the pixels held now (before a rebuild); Height when that cannot be told.
  int32_t HeldHeight();
  bool RebuildDdb();
  bool RebuildDib();
};

// A screen-compatible (device-dependent) bitmap; contents undefined. Sizes that cannot be
// allocated, and negative ones, give an empty bitmap (IsEmptyBitmap).
Bitmap* MakeBitmap(int32_t width, int32_t height);
// A zero-filled DIB in memory. Sizes that cannot be allocated, and negative ones, give an
// empty bitmap (IsEmptyBitmap, RowAddress(0) null).
Bitmap* MakeDibBitmap(int32_t width, int32_t height, PixelFormat format);

}  // namespace velmora
