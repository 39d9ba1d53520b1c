// The shrink pipeline: percent to size, HALFTONE stretch, re-encode; and the size line.
#include "imaging/shrink.h"

#include <windows.h>

#include "toolkit/bitmap.h"
#include "toolkit/stream.h"
#include "toolkit/text_utils.h"

namespace velmora {

double NowMs() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

namespace {

// HALFTONE-stretches the whole of source onto a new screen-compatible bitmap of
// width x height; null when either bitmap has no canvas.
Bitmap* StretchHalftone(Bitmap* source, int32_t width, int32_t height) {
  Bitmap* target = MakeBitmap(width, height);
  Canvas* to = target->IsEmptyBitmap() ? nullptr : target->GetCanvas();
  Canvas* from = to ? source->GetCanvas() : nullptr;
  HDC toDC = to ? to->CanvasDC() : nullptr;
  HDC fromDC = from ? from->CanvasDC() : nullptr;
  if (!toDC || !fromDC) {
    FreeObject(target);
    return nullptr;
  }
  if (!DrawHalftone(toDC, width, height, fromDC, source->Width, source->Height))
    FreeAndNull(target);
  return target;
}

}  // namespace

bool DrawHalftone(HDC to, int32_t width, int32_t height, HDC from, int32_t fromWidth,
                  int32_t fromHeight) {
  SetStretchBltMode(to, HALFTONE);
  SetBrushOrgEx(to, 0, 0, nullptr);  // HALFTONE wants the brush origin reset after it
  return StretchBlt(to, 0, 0, width, height, from, 0, 0, fromWidth, fromHeight, SRCCOPY) != FALSE;
}

std::string FormatSizeText(int32_t width, int32_t height, uint32_t byteCount) {
  uint32_t kilobytes = byteCount >> 10;
  uint32_t hundredths = ((byteCount & 1023u) * 100u) >> 10;
  return FormatText("Size: %dx%d , %u.%u Kb", width, height, kilobytes, hundredths);
}

int32_t ShrunkSide(int32_t side, int32_t percent) {
  // Signed 32-bit as the size line expects; sides stay below 65536, so no overflow.
  return static_cast<int32_t>(static_cast<int64_t>(side) * percent / 100);
}

uint8_t DecodeReductionFor(uint32_t width, uint32_t height, int32_t newWidth, int32_t newHeight) {
  for (uint8_t shift = 3; shift > 0; --shift) {
    uint32_t scaledWidth = (width + (1u << shift) - 1) >> shift;  // the codec rounds up
    uint32_t scaledHeight = (height + (1u << shift) - 1) >> shift;
    if (static_cast<int64_t>(scaledWidth) >= newWidth &&
        static_cast<int64_t>(scaledHeight) >= newHeight)
      return shift;
  }
  return 0;
}

JpegImage* ShrinkPicture(JpegImage* opened, int32_t percent, uint32_t* byteCount,
                         ShrinkTimes* times) {
  *byteCount = 0;
  if (!opened || opened->IsEmpty()) return nullptr;
  auto width = static_cast<int32_t>(opened->Width());
  auto height = static_cast<int32_t>(opened->Height());
  int32_t newWidth = ShrunkSide(width, percent);
  int32_t newHeight = ShrunkSide(height, percent);
  if (newWidth <= 0 || newHeight <= 0) return nullptr;

  double start = NowMs();
  uint8_t shift = DecodeReductionFor(opened->Width(), opened->Height(), newWidth, newHeight);
  Stream* bytes = opened->Data->Compressed;
  JpegImage* reduced = nullptr;
  Bitmap* decoded = nullptr;
  bool failed = false;
  if (shift > 0 && bytes && bytes->Size() > 0 && opened->ScaleShift == 0) {
    reduced = MakeJpegImage();
    reduced->SetScaleShift(shift);
    bytes->SetPosition(0);
    reduced->LoadBytes(bytes, bytes->Size());
    decoded = reduced->Decode();
    failed = reduced->DecodeFailed;
  } else {
    shift = 0;
    decoded = opened->Decode();
    failed = opened->DecodeFailed;
  }
  double decoded_at = NowMs();
  if (times) {
    times->ScaleShift = shift;
    times->DecodeFailed = failed || !decoded;
  }
  Bitmap* stretched = nullptr;
  if (decoded && !decoded->IsEmptyBitmap())
    stretched = StretchHalftone(decoded, newWidth, newHeight);
  FreeObject(reduced);
  double stretched_at = NowMs();
  if (!stretched) return nullptr;

  JpegImage* shrunk = MakeJpegImage();
  shrunk->SetFromBitmap(stretched);
  FreeObject(stretched);
  Stream* memory = MakeMemoryStream();
  shrunk->WriteTo(memory);
  uint32_t size = memory->Size();
  FreeObject(memory);
  double encoded_at = NowMs();
  if (times) {
    times->Decode = decoded_at - start;
    times->Stretch = stretched_at - decoded_at;
    times->Encode = encoded_at - stretched_at;
  }
  if (size == 0 || shrunk->IsEmpty()) {  // the copy or the encode ran out of memory
    FreeObject(shrunk);
    return nullptr;
  }
  *byteCount = size;
  return shrunk;
}

}  // namespace velmora
