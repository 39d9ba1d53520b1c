// Bitmap: a 24-bit DIB in plain memory.
#include "toolkit/bitmap.h"

#include <cstdlib>

namespace velmora {

namespace {

// Pixel blocks larger than this are refused: their sizes no longer fit the 32-bit size
// fields, and a 32-bit process could not hold them anyway.
constexpr uint64_t MaxPixelBytes = 0x7FFFFFFFu;

}  // namespace

Bitmap* MakeDibBitmap(int32_t width, int32_t height) {
  Bitmap* bitmap = MakeObject<Bitmap>();
  if (width <= 0 || height <= 0) return bitmap;
  const uint64_t row = (static_cast<uint64_t>(width) * 24 + 31) / 32 * 4;
  const uint64_t size = row * static_cast<uint64_t>(height);
  if (size > MaxPixelBytes) return bitmap;
  bitmap->Bits = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(size)));
  if (!bitmap->Bits) return bitmap;
  BITMAPINFOHEADER& info = bitmap->Header.bmiHeader;
  info.biSize = sizeof(BITMAPINFOHEADER);
  info.biWidth = width;
  info.biHeight = -height;  // top row first
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  bitmap->Width = width;
  bitmap->Height = height;
  bitmap->RowSize = static_cast<uint32_t>(row);
  return bitmap;
}

void Bitmap::Destroy() {
  std::free(Bits);
  Bits = nullptr;
  Width = Height = 0;
  ObjectBase::Destroy();
}

uint8_t* Bitmap::RowAddress(int32_t y) {
  if (!Bits || y < 0 || y >= Height) return nullptr;
  return Bits + static_cast<size_t>(y) * RowSize;
}

void Bitmap::DrawAt(HDC dc, int32_t x, int32_t y) {
  if (IsEmptyBitmap()) return;
  StretchDIBits(dc, x, y, Width, Height, 0, 0, Width, Height, Bits, &Header, DIB_RGB_COLORS,
                SRCCOPY);
}

}  // namespace velmora
