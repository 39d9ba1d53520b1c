// The Shrink action without its window: resample an opened JpegImage by a percentage with
// the system's HALFTONE stretching, re-encode it as JPEG in memory, and the size line
// shown under each picture. Relies on imaging/jpeg_image.h, toolkit/bitmap.h and gdi32.
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

// Milliseconds spent in each phase of one ShrinkPicture call.
struct ShrinkTimes {
  double Decode = 0;   // Decode of the opened picture (nothing when already decoded)
  double Stretch = 0;  // screen-compatible bitmap, HALFTONE StretchBlt onto it
  double Encode = 0;   // SetFromBitmap and WriteTo a memory stream (JPEG at quality 90)
};

// Makes the shrunk picture of opened at percent of its width and height.
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
