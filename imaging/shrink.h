// The Shrink action on JPEG bytes, without a window: a picture resampled to a percentage of
// its size by the program's own resampler and encoded again as JPEG in memory, streamed row by
// row from the decoder through the resampler to the encoder; and the size line shown under
// each picture. Relies on imaging/jpeg_rows.h, imaging/streaming.h and toolkit/stream.h.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imaging/jpeg_rows.h"
#include "imaging/streaming.h"

namespace velmora {

class Stream;

// New side for percent of old: (old x percent) / 100, product first, truncating.
int32_t ShrunkSide(int32_t side, int32_t percent);

// Milliseconds on the system's high-resolution counter; differences time the phases.
double NowMs();

// What one shrink did.
struct ShrinkReport {
  double Milliseconds = 0;    // decode, resampling and encode (they overlap)
  int32_t DecodeEighths = 0;  // the picture was decoded at DecodeEighths / 8 of its size
  PictureProblem Problem = PictureProblem::None;  // why there is no shrunk picture
  uint32_t OriginalWidth = 0;  // the opened picture's size seen upright, once its header was read
  uint32_t OriginalHeight = 0;
  int32_t Width = 0;  // the copy's upright size and its JPEG bytes
  int32_t Height = 0;
  uint32_t Bytes = 0;
};

// Quality of the shrunk picture's JPEG.
constexpr int ShrinkQuality = 90;
// How much larger than the new size the reduced decode stays (see DecodeEighthsFor).
constexpr double ShrinkDecodeMargin = 2.6;
// The most bytes a shrunk picture may take whole to be turned upright (see ShrinkJpegBytes).
constexpr uint64_t ShrinkTurnBudget = 160ull * 1024 * 1024;

// Shrinks the JPEG picture in data[0, size) to percent of its upright width and height and
// appends the copy's JPEG bytes to out (a memory stream). The codec decodes the bytes at the
// smallest of its DCT scales (eighths) that stays a margin larger than the new size, the
// resampler brings the rows to the exact new size, they are turned upright when the photo's
// EXIF orientation says so, and the encoder writes them as they come; only a turn by 90
// degrees or upside down holds the (reduced) picture whole, and a copy larger than
// ShrinkTurnBudget keeps its pixels as stored with the photo's orientation instead (every
// viewer turns it). The copy is a baseline JFIF JPEG of quality 90 carrying the photo's
// details: its EXIF block with the new size, orientation 1, no location and no thumbnail, and
// its ICC profile byte for byte. Needs neither a window nor the window system.
// False when there is no copy: data that is no picture (450 bytes or less, or no JPEG), a
// percentage that leaves a side of 0 pixels (report.Problem None), or a decode or encode that
// failed (report.Problem says why).
// threading: whether the decode may get a thread of its own (see ResampleRows); a caller that
// shrinks several pictures side by side passes OneThread.
bool ShrinkJpegBytes(const uint8_t* data, size_t size, int32_t percent, Stream* out,
                     ShrinkReport& report, PipelineThreading threading = PipelineThreading::Auto);

// The same for the JPEG bytes of a stream from its position on (a file opened for reading),
// which the decoder reads a buffer at a time: the photo is never in memory whole, which is
// how a batch keeps to the memory of one photo per worker.
bool ShrinkJpegStream(Stream* file, int32_t percent, Stream* out, ShrinkReport& report,
                      PipelineThreading threading = PipelineThreading::Auto);

// A share Numerator / Denominator of the upright width and height: each new side is side x
// Numerator / Denominator, product first, truncating (percent p is {p, 100}).
struct ShrinkScale {
  int32_t Numerator = 100;
  int32_t Denominator = 100;
};

// Copies of one picture at count scales, each byte for byte what ShrinkJpegBytes makes of it
// alone at that scale: the picture is data[0, size), or, with data null, the JPEG bytes of
// file from its position on (read as ShrinkJpegStream reads them; its position is restored
// for each further decode). Copy i is appended to outs[i] and reports[i] says what it did.
// Copies that decode at the same DCT scale share one decode: every row serves each of them
// while it is in the ring (ResampleRowsTo); the memory is that of one shrink per copy. True
// when every copy was made. ShrinkJpegBytes and ShrinkJpegStream are this with one percentage.
bool ShrinkJpegCopies(const uint8_t* data, size_t size, Stream* file, const ShrinkScale* scales,
                      size_t count, Stream* const* outs, ShrinkReport* reports,
                      PipelineThreading threading = PipelineThreading::Auto);

// Bytes of a copy's JPEG that are neither its markers nor its scan: its headers and tables.
constexpr double CopyHeaderBytes = 700;
// The bands of rows an estimate samples from a copy of storedHeight rows (see SampledRow):
// every SampleSpacing-th, so that about samples of them are (every fourth at the most, every
// 64th at the least); 0 for a copy of fewer than 32 bands, which is made whole.
int32_t SampleSpacing(int32_t storedHeight, int32_t samples);

// What the copies ShrinkJpegCopies makes would come to, at a fraction of their cost:
// reports[i].Bytes estimates copy i's bytes from about samples bands of its rows
// (SampleSpacing) encoded as the copy is, scaled to all its rows. All come from one decode,
// the one the largest copy needs. True when every estimate was made. A dozen bands come within
// about 2% on photos; the estimates of many photos added up may sample fewer each.
// The scales are those choose gives for the picture's upright width and height, once its
// header is read (so that it is read once); reports gets one report a scale, or one saying why
// the picture could not be opened.
using ScalesFor = std::function<std::vector<ShrinkScale>(uint32_t width, uint32_t height)>;
bool EstimateJpegCopies(const uint8_t* data, size_t size, Stream* file, const ScalesFor& choose,
                        std::vector<ShrinkScale>& scales, std::vector<ShrinkReport>& reports,
                        int32_t samples = 12,
                        PipelineThreading threading = PipelineThreading::Auto);
// The same for a picture whose rows source gives whole, as ShrinkDecodedCopies takes them.
bool EstimateDecodedRows(RowSource& source, const PhotoDetails& details, const ShrinkScale* scales,
                         size_t count, ShrinkReport* reports, int32_t samples = 12,
                         PipelineThreading threading = PipelineThreading::Auto);

// The copies at count scales of a picture whose rows source gives whole, at full size as
// stored, with details (its orientation applied as ShrinkJpegCopies applies it): what
// ShrinkJpegCopies makes from a decode at full size, for decoders that have no reduced decode,
// all from one pass over the rows. Copy i is appended to outs[i]; false when any copy is
// missing (Problem None when a side would be 0 pixels).
bool ShrinkDecodedCopies(RowSource& source, const PhotoDetails& details, const ShrinkScale* scales,
                         size_t count, Stream* const* outs, ShrinkReport* reports,
                         PipelineThreading threading = PipelineThreading::Auto);

}  // namespace velmora
