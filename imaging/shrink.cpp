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

JpegImage* ShrinkPicture(JpegImage* opened, int32_t percent, uint32_t* byteCount,
                         ShrinkReport* report) {
  *byteCount = 0;
  ShrinkReport local;
  ShrinkReport& result = report ? *report : local;
  result = ShrinkReport{};
  Stream* bytes = opened ? opened->Data->Compressed : nullptr;
  if (!opened || opened->IsEmpty() || !bytes || bytes->Size() == 0) {
    result.Problem = PictureProblem::NotJpeg;
    return nullptr;
  }
  // The new size is a share of the upright picture; the rows are resampled as stored and
  // turned upright after the reduction, where there are fewest of them.
  const int32_t newWidth = ShrunkSide(static_cast<int32_t>(opened->UprightWidth()), percent);
  const int32_t newHeight = ShrunkSide(static_cast<int32_t>(opened->UprightHeight()), percent);
  if (newWidth <= 0 || newHeight <= 0) return nullptr;

  const double start = NowMs();
  JpegRowReader reader;
  Stream* out = MakeMemoryStream();
  bool done = false;
  if (reader.Open(static_cast<const uint8_t*>(bytes->Memory), bytes->Size(), true)) {
    const PhotoDetails details = CollectPhotoDetails(reader.Markers());
    const bool turned = details.Orientation >= 5;
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
    JpegRowWriter writer;
    JpegSink sink(writer);
    OrientingSink upright(sink, keepStored ? 1 : details.Orientation, storedWidth, storedHeight);
    if (reader.Start(result.DecodeEighths) && upright.Prepare() &&
        writer.Start(outWidth, outHeight, ShrinkQuality, out) &&
        writer.WriteMarkers(MarkersForCopy(details, static_cast<uint32_t>(outWidth),
                                           static_cast<uint32_t>(outHeight), orientation))) {
      JpegSource source(reader);
      done = ResampleRows(source, storedWidth, storedHeight, upright) && upright.Finish() &&
             writer.Finish();
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

}  // namespace velmora
