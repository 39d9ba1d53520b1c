// The Shrink action without its window: resample an opened JpegImage by a percentage with
// the system's HALFTONE stretching, re-encode it as JPEG in memory, and the size line
// shown under each picture, with the HALFTONE drawing and the timer it is built from.
// Relies on imaging/jpeg_image.h, toolkit/bitmap.h and gdi32.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/jpeg_image.h"

namespace velmora {

// "Size: %dx%d , %u.%u Kb": width, height, whole kilobytes and the hundredths of a
// kilobyte as a plain number (1,075 bytes print as "1.4", 2,560 as "2.50").
std::string FormatSizeText(int32_t width, int32_t height, uint32_t byteCount);

// New side for percent of old: (old x percent) / 100, product first, truncating.
int32_t ShrunkSide(int32_t side, int32_t percent);

// Milliseconds on the system's high-resolution counter; differences time the phases.
double NowMs();

// HALFTONE-stretches fromWidth x fromHeight pixels at the top left of from onto width x
// height pixels at the top left of to; false when the system refuses the stretch.
bool DrawHalftone(HDC to, int32_t width, int32_t height, HDC from, int32_t fromWidth,
                  int32_t fromHeight);

// What one ShrinkPicture call did: milliseconds of each phase, and how it decoded.
struct ShrinkTimes {
  double Decode = 0;          // decode of the picture that is stretched
  double Stretch = 0;         // screen-compatible bitmap, HALFTONE StretchBlt onto it
  double Encode = 0;          // SetFromBitmap and WriteTo a memory stream (JPEG at quality 90)
  uint8_t ScaleShift = 0;     // the stretched picture was decoded at 1 / 2^ScaleShift
  bool DecodeFailed = false;  // the decode met damaged data (the picture may be partial)
};

// The largest reduction 1 / 2^shift (shift 0..3) at which the codec can decode a
// width x height picture while both sides stay at least newWidth x newHeight.
uint8_t DecodeReductionFor(uint32_t width, uint32_t height, int32_t newWidth, int32_t newHeight);

// Makes the shrunk picture of opened at percent of its width and height. The whole
// picture is HALFTONE-stretched onto the whole new bitmap. When the new size is half the
// picture's or less, the codec first decodes a reduced copy of opened's bytes (DCT scaling
// by 1/2, 1/4 or 1/8, staying at least the new size) and that copy is stretched: the
// stretch then has far fewer pixels to read, and the reduction filters the picture better
// than a bilinear stretch of the full size does. opened itself is not changed by that
// path; otherwise (or when opened has no bytes) opened's own Decode is stretched.
// In:  opened, a JpegImage holding a picture (as after ReadFrom); percent, normally 10..100.
// Out: a new JpegImage made by MakeJpegImage, owned by the caller (free it with FreeObject),
//      holding the stretched bitmap and its JPEG bytes (quality 90, baseline, JFIF);
//      *byteCount = the size of those bytes, the number the size line shows.
// No picture: when opened is null or empty, its decode fails to give a bitmap, percent
//      gives a zero (or negative) side (a picture under 10 pixels at 10%, or percent 0),
//      or the bitmaps cannot be made, the result is null and *byteCount is 0.
// times, when given, receives the phase durations.
JpegImage* ShrinkPicture(JpegImage* opened, int32_t percent, uint32_t* byteCount,
                         ShrinkTimes* times = nullptr);

}  // namespace velmora
