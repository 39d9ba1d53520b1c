// The Shrink action without its window: a JPEG picture resampled to a percentage of its
// size by the program's own resampler and encoded again as JPEG in memory, streamed row by
// row from the decoder through the resampler to the encoder; and the size line shown under
// each picture. Relies on imaging/jpeg_image.h and imaging/streaming.h.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/jpeg_image.h"
#include "imaging/jpeg_rows.h"
#include "imaging/streaming.h"

namespace velmora {

// "Size: %dx%d , %u.%u Kb": width, height, whole kilobytes and the hundredths of a
// kilobyte as a plain number (1,075 bytes print as "1.4", 2,560 as "2.50").
std::string FormatSizeText(int32_t width, int32_t height, uint32_t byteCount);

// New side for percent of old: (old x percent) / 100, product first, truncating.
int32_t ShrunkSide(int32_t side, int32_t percent);

// Milliseconds on the system's high-resolution counter; differences time the phases.
double NowMs();

// What one ShrinkPicture call did.
struct ShrinkReport {
  double Milliseconds = 0;    // decode, resampling and encode (they overlap)
  int32_t DecodeEighths = 0;  // the picture was decoded at DecodeEighths / 8 of its size
  PictureProblem Problem = PictureProblem::None;  // why there is no shrunk picture
  uint32_t OriginalWidth = 0;  // the opened picture's size seen upright, once its header was read
  uint32_t OriginalHeight = 0;
};

// Quality of the shrunk picture's JPEG.
constexpr int ShrinkQuality = 90;
// How much larger than the new size the reduced decode stays (see DecodeEighthsFor).
constexpr double ShrinkDecodeMargin = 2.6;
// The most bytes a shrunk picture may take whole to be turned upright (see ShrinkPicture).
constexpr uint64_t ShrinkTurnBudget = 160ull * 1024 * 1024;

// Makes the shrunk picture of opened at percent of its upright width and height. The codec
// decodes opened's bytes at the smallest of its DCT scales (eighths) that stays a margin
// larger than the new size, the resampler brings the rows to the exact new size, they are
// turned upright when the photo's EXIF orientation says so, and the encoder writes them as
// they come; only a turn by 90 degrees or upside down holds the (reduced) picture whole, and
// a copy larger than ShrinkTurnBudget keeps its pixels as stored with the photo's orientation
// instead (every viewer turns it).
// The copy carries the photo's details: its EXIF block with the new size, orientation 1, no
// location and no thumbnail, and its ICC profile byte for byte.
// In:  opened, a JpegImage holding JPEG bytes (as after ReadFrom); percent, normally 10..100.
// Out: a new JpegImage made by MakeJpegImage, owned by the caller (free it with FreeObject),
//      holding the JPEG bytes (quality 90, baseline, JFIF first) and no bitmap;
//      *byteCount = the size of those bytes, the number the size line shows.
// No picture: when opened is null or holds no JPEG bytes, percent gives a zero (or negative)
//      side, or the decode or encode fails, the result is null, *byteCount is 0 and the
//      report (when given) says why.
// threading: whether the decode may get a thread of its own (see ResampleRows); a caller that
//      shrinks several pictures side by side passes OneThread.
JpegImage* ShrinkPicture(JpegImage* opened, int32_t percent, uint32_t* byteCount,
                         ShrinkReport* report = nullptr,
                         PipelineThreading threading = PipelineThreading::Auto);

// The same for the JPEG bytes of a stream from its position on (a file opened for reading),
// which the decoder reads a buffer at a time: the photo is never in memory whole, which is
// how a batch keeps to the memory of one photo per worker. Fewer than JpegMinimumParsedSize
// bytes count as no JPEG picture, as for a JpegImage.
JpegImage* ShrinkPictureFrom(Stream* file, int32_t percent, uint32_t* byteCount,
                             ShrinkReport* report = nullptr,
                             PipelineThreading threading = PipelineThreading::Auto);

}  // namespace velmora
