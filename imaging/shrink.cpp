// The shrink pipeline: percent to size, a streamed decode, resample and encode; the size line.
#include "imaging/shrink.h"

#include <windows.h>

#include "imaging/orientation.h"
#include "imaging/photo_metadata.h"
#include "imaging/streaming.h"
#include "toolkit/stream.h"
#include "toolkit/text_utils.h"

namespace velmora {

double NowMs() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
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

namespace {

// The pipeline behind both forms of ShrinkPicture, from a reader whose header was read (when
// opened is true; otherwise its Problem says why not). start: when the work began (NowMs).
JpegImage* ShrinkOpened(JpegRowReader& reader, bool opened, int32_t percent, uint32_t* byteCount,
                        ShrinkReport& result, PipelineThreading threading, double start) {
  Stream* out = nullptr;
  bool done = false;
  if (opened) {
    const PhotoDetails details = CollectPhotoDetails(reader.Markers());
    const bool turned = details.Orientation >= 5;
    // The new size is a share of the upright picture; the rows are resampled as stored and
    // turned upright after the reduction, where there are fewest of them.
    result.OriginalWidth = turned ? reader.Height : reader.Width;
    result.OriginalHeight = turned ? reader.Width : reader.Height;
    const int32_t newWidth = ShrunkSide(static_cast<int32_t>(result.OriginalWidth), percent);
    const int32_t newHeight = ShrunkSide(static_cast<int32_t>(result.OriginalHeight), percent);
    if (newWidth <= 0 || newHeight <= 0) return nullptr;
    const int32_t storedWidth = turned ? newHeight : newWidth;
    const int32_t storedHeight = turned ? newWidth : newHeight;
    // A turn holds the whole reduced picture. Past the budget the copy keeps its pixels as
    // stored and the photo's orientation, which every viewer applies: still upright when
    // seen, and the memory stays bounded.
    const bool keepStored =
        details.Orientation > 2 &&
        static_cast<uint64_t>(storedWidth) * storedHeight * 3 > ShrinkTurnBudget;
    const int orientation = keepStored ? details.Orientation : 1;
    const int32_t outWidth = keepStored ? storedWidth : newWidth;
    const int32_t outHeight = keepStored ? storedHeight : newHeight;
    result.DecodeEighths = DecodeEighthsFor(reader.Width, reader.Height, storedWidth, storedHeight,
                                            ShrinkDecodeMargin);
    out = MakeMemoryStream();
    JpegRowWriter writer;
    JpegSink sink(writer);
    OrientingSink upright(sink, keepStored ? 1 : details.Orientation, storedWidth, storedHeight);
    if (reader.Start(result.DecodeEighths) && upright.Prepare() &&
        writer.Start(outWidth, outHeight, ShrinkQuality, out) &&
        writer.WriteMarkers(MarkersForCopy(details, static_cast<uint32_t>(outWidth),
                                           static_cast<uint32_t>(outHeight), orientation))) {
      JpegSource source(reader);
      done = ResampleRows(source, storedWidth, storedHeight, upright, threading) &&
             upright.Finish() && writer.Finish();
    }
  }
  result.Milliseconds = NowMs() - start;
  if (!done) {
    result.Problem =
        reader.Problem != PictureProblem::None ? reader.Problem : PictureProblem::TooLarge;
    FreeObject(out);
    return nullptr;
  }
  JpegImage* shrunk = MakeJpegImage();
  shrunk->TakeBytes(out);
  *byteCount = out->Size();
  return shrunk;
}

}  // namespace

JpegImage* ShrinkPicture(JpegImage* opened, int32_t percent, uint32_t* byteCount,
                         ShrinkReport* report, PipelineThreading threading) {
  *byteCount = 0;
  ShrinkReport local;
  ShrinkReport& result = report ? *report : local;
  result = ShrinkReport{};
  Stream* bytes = opened ? opened->Data->Compressed : nullptr;
  if (!opened || opened->IsEmpty() || !bytes || bytes->Size() == 0) {
    result.Problem = PictureProblem::NotJpeg;
    return nullptr;
  }
  result.OriginalWidth = opened->UprightWidth();
  result.OriginalHeight = opened->UprightHeight();
  // A percentage that leaves no pixels needs no decode.
  if (ShrunkSide(static_cast<int32_t>(opened->UprightWidth()), percent) <= 0 ||
      ShrunkSide(static_cast<int32_t>(opened->UprightHeight()), percent) <= 0)
    return nullptr;
  const double start = NowMs();
  JpegRowReader reader;
  const bool read = reader.Open(static_cast<const uint8_t*>(bytes->Memory), bytes->Size(), true);
  return ShrinkOpened(reader, read, percent, byteCount, result, threading, start);
}

JpegImage* ShrinkPictureFrom(Stream* file, int32_t percent, uint32_t* byteCount,
                             ShrinkReport* report, PipelineThreading threading) {
  *byteCount = 0;
  ShrinkReport local;
  ShrinkReport& result = report ? *report : local;
  result = ShrinkReport{};
  const uint32_t position = file ? file->Position() : 0;
  const uint32_t size = file ? file->Size() : 0;
  // As JpegImage takes them: a few hundred bytes are no picture, whatever they hold.
  if (!file || position >= size || size - position < JpegMinimumParsedSize) {
    result.Problem = PictureProblem::NotJpeg;
    return nullptr;
  }
  const double start = NowMs();
  JpegRowReader reader;
  const bool read = reader.Open(file, true);
  return ShrinkOpened(reader, read, percent, byteCount, result, threading, start);
}

}  // namespace velmora
