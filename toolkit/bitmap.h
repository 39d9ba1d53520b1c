// The toolkit's picture in memory: a 24-bit DIB (blue, green, red rows, top row first) in
// plain memory, blitted to a device context as it is. Relies on toolkit/object.h and gdi32.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/object.h"

namespace velmora {

class Bitmap : public ObjectBase {
 public:
  void Destroy() override;

  bool IsEmptyBitmap() const { return Width == 0 || Height == 0; }
  // Address of row y (0 = top); null without pixels or for y outside the picture.
  uint8_t* RowAddress(int32_t y);
  // Copies the whole bitmap 1:1 to dc with its top left at (x, y).
  void DrawAt(HDC dc, int32_t x, int32_t y);

  int32_t Height = 0;
  int32_t Width = 0;
  BITMAPINFO Header = {};
  uint8_t* Bits = nullptr;
  uint32_t RowSize = 0;  // bytes per row, padded to 4
};

// A zero-filled 24-bit DIB of width x height. Sizes that cannot be allocated, and negative
// ones, give an empty bitmap (IsEmptyBitmap, RowAddress(0) null).
Bitmap* MakeDibBitmap(int32_t width, int32_t height);

}  // namespace velmora
