// The shrink pipeline on JPEG bytes: percent to size, a streamed decode, resample and encode;
// the size line.
#include "imaging/shrink.h"

#include <windows.h>

#include <cstdio>

#include "imaging/orientation.h"
#include "imaging/photo_metadata.h"
#include "imaging/jpeg_image.h"
#include "imaging/streaming.h"
#include "toolkit/stream.h"

namespace velmora {

double NowMs() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

int32_t ShrunkSide(int32_t side, int32_t percent) {
  // Signed 32-bit as the size line expects; sides stay below 65536, so no overflow.
  return static_cast<int32_t>(static_cast<int64_t>(side) * percent / 100);
}

namespace {

// The pipeline behind every form of the shrink, from a reader whose header was read (when
// opened is true; otherwise its Problem says why not). start: when the work began (NowMs).
bool ShrinkOpened(JpegRowReader& reader, bool opened, int32_t percent, Stream* out,
                  ShrinkReport& report, PipelineThreading threading, double start) {
  if (!opened) {
    report.Problem =
        reader.Problem != PictureProblem::None ? reader.Problem : PictureProblem::NotJpeg;
    return false;
  }
  // The new size is a share of the upright picture; the rows are resampled as stored and
  // turned upright after the reduction, where there are fewest of them.
  const PhotoDetails details = CollectPhotoDetails(reader.Markers());
  const PixelSize original = OrientedSize(reader.Width, reader.Height, details.Orientation);
  report.OriginalWidth = original.Width;
  report.OriginalHeight = original.Height;
  const int32_t newWidth = ShrunkSide(static_cast<int32_t>(original.Width), percent);
  const int32_t newHeight = ShrunkSide(static_cast<int32_t>(original.Height), percent);
  if (newWidth <= 0 || newHeight <= 0) return false;
  const PixelSize stored =
      OrientedSize(uint32_t(newWidth), uint32_t(newHeight), details.Orientation);
  const int32_t storedWidth = static_cast<int32_t>(stored.Width);
  const int32_t storedHeight = static_cast<int32_t>(stored.Height);
  // A turn holds the whole reduced picture. Past the budget the copy keeps its pixels as
  // stored and the photo's orientation, which every viewer applies: still upright when seen,
  // and the memory stays bounded.
  const bool keepStored = details.Orientation > 2 &&
                          static_cast<uint64_t>(storedWidth) * storedHeight * 3 > ShrinkTurnBudget;
  const int orientation = keepStored ? details.Orientation : 1;
  const int32_t outWidth = keepStored ? storedWidth : newWidth;
  const int32_t outHeight = keepStored ? storedHeight : newHeight;

  report.DecodeEighths =
      DecodeEighthsFor(reader.Width, reader.Height, storedWidth, storedHeight, ShrinkDecodeMargin);
  const uint32_t before = out->Size();
  JpegRowWriter writer;
  JpegSink sink(writer);
  OrientingSink upright(sink, keepStored ? 1 : details.Orientation, storedWidth, storedHeight);
  bool done = false;
  if (reader.Start(report.DecodeEighths) && upright.Prepare() &&
      writer.Start(outWidth, outHeight, ShrinkQuality, out) &&
      writer.WriteMarkers(MarkersForCopy(details, static_cast<uint32_t>(outWidth),
                                         static_cast<uint32_t>(outHeight), orientation))) {
    JpegSource source(reader);
    done = ResampleRows(source, storedWidth, storedHeight, upright, threading) &&
           upright.Finish() && writer.Finish();
  }
  report.Milliseconds = NowMs() - start;
  if (!done) {
    report.Problem =
        reader.Problem != PictureProblem::None ? reader.Problem : PictureProblem::TooLarge;
    return false;
  }
  report.Width = newWidth;
  report.Height = newHeight;
  report.Bytes = out->Size() - before;
  return true;
}

}  // namespace

bool ShrinkJpegBytes(const uint8_t* data, size_t size, int32_t percent, Stream* out,
                     ShrinkReport& report, PipelineThreading threading) {
  report = ShrinkReport{};
  const double start = NowMs();
  JpegRowReader reader;
  // As JpegImage takes them: a few hundred bytes are no picture, whatever they hold.
  const bool opened = data && size >= JpegMinimumParsedSize && reader.Open(data, size, true);
  return ShrinkOpened(reader, opened, percent, out, report, threading, start);
}

bool ShrinkJpegStream(Stream* file, int32_t percent, Stream* out, ShrinkReport& report,
                      PipelineThreading threading) {
  report = ShrinkReport{};
  const double start = NowMs();
  const uint32_t position = file ? file->Position() : 0;
  const uint32_t size = file ? file->Size() : 0;
  JpegRowReader reader;
  const bool opened = file && position < size && size - position >= JpegMinimumParsedSize &&
                      reader.Open(file, true);
  return ShrinkOpened(reader, opened, percent, out, report, threading, start);
}

}  // namespace velmora
