// The shrink of a HEIF photo: the DLL's upright rows through the resampler into the encoder.
#include "imaging/heif_shrink.h"

#include "imaging/photo_metadata.h"
#include "imaging/streaming.h"
#include "toolkit/stream.h"

namespace velmora {

PictureProblem PictureProblemOf(HeifProblem problem) {
  switch (problem) {
    case HeifProblem::None:
      return PictureProblem::None;
    case HeifProblem::NotInstalled:
      return PictureProblem::NotInstalled;
    case HeifProblem::Unsupported:
      return PictureProblem::HeifUnsupported;
    case HeifProblem::TooLarge:
    case HeifProblem::NoMemory:
      return PictureProblem::TooLarge;
    default:
      return PictureProblem::Damaged;
  }
}

bool ShrinkHeifFile(const std::string& path, int32_t percent, Stream* out, ShrinkReport& report,
                    PipelineThreading threading) {
  report = ShrinkReport{};
  const double start = NowMs();
  HeifImage image;
  HeifProblem problem = image.Open(path);
  report.OriginalWidth = image.Facts().Width;
  report.OriginalHeight = image.Facts().Height;
  if (problem != HeifProblem::None) {
    report.Problem = PictureProblemOf(problem);
    return false;
  }
  const int32_t newWidth = ShrunkSide(static_cast<int32_t>(report.OriginalWidth), percent);
  const int32_t newHeight = ShrunkSide(static_cast<int32_t>(report.OriginalHeight), percent);
  if (newWidth <= 0 || newHeight <= 0) return false;
  problem = image.Decode();
  if (problem != HeifProblem::None) {
    report.Problem = PictureProblemOf(problem);
    return false;
  }
  report.DecodeEighths = 8;  // HEVC has no reduced decode
  const uint32_t before = out->Size();
  JpegRowWriter writer;
  JpegSink sink(writer);
  HeifSource source(image);
  const bool done =
      writer.Start(newWidth, newHeight, ShrinkQuality, out) &&
      writer.WriteMarkers(MarkersForCopy(image.Details(), static_cast<uint32_t>(newWidth),
                                         static_cast<uint32_t>(newHeight), 1)) &&
      ResampleRows(source, newWidth, newHeight, sink, threading) && writer.Finish();
  report.Milliseconds = NowMs() - start;
  if (!done) {
    report.Problem = PictureProblem::TooLarge;
    return false;
  }
  report.Width = newWidth;
  report.Height = newHeight;
  report.Bytes = out->Size() - before;
  return true;
}

}  // namespace velmora
