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
  HeifImage image;
  image.Open(path);
  const ShrinkScale scale{percent, 100};
  return ShrinkHeifCopies(image, &scale, 1, &out, &report, threading);
}

bool ShrinkHeifCopies(HeifImage& image, const ShrinkScale* scales, size_t count,
                      Stream* const* outs, ShrinkReport* reports, PipelineThreading threading) {
  const double start = NowMs();
  const HeifFacts& facts = image.Facts();
  for (size_t i = 0; i < count; ++i) {
    reports[i] = ShrinkReport{};
    reports[i].OriginalWidth = facts.Width;
    reports[i].OriginalHeight = facts.Height;
    reports[i].Problem = PictureProblemOf(facts.Problem);
  }
  if (!facts.Usable()) return false;
  auto side = [](uint32_t length, ShrinkScale scale) {
    return scale.Denominator > 0 && scale.Numerator > 0
               ? static_cast<int32_t>(int64_t{length} * scale.Numerator / scale.Denominator)
               : 0;
  };
  for (size_t i = 0; i < count; ++i)
    if (side(facts.Width, scales[i]) <= 0 || side(facts.Height, scales[i]) <= 0) return false;
  if (const HeifProblem problem = image.Decode(); problem != HeifProblem::None) {
    for (size_t i = 0; i < count; ++i) reports[i].Problem = PictureProblemOf(problem);
    return false;
  }
  const PhotoDetails details = image.Details();
  bool all = true;
  for (size_t i = 0; i < count; ++i) {
    ShrinkReport& report = reports[i];
    report.DecodeEighths = 8;  // HEVC has no reduced decode
    const int32_t width = side(facts.Width, scales[i]), height = side(facts.Height, scales[i]);
    const uint32_t before = outs[i]->Size();
    JpegRowWriter writer;
    JpegSink sink(writer);
    HeifSource source(image);
    const bool done = writer.Start(width, height, ShrinkQuality, outs[i]) &&
                      writer.WriteMarkers(MarkersForCopy(details, static_cast<uint32_t>(width),
                                                         static_cast<uint32_t>(height), 1)) &&
                      ResampleRows(source, width, height, sink, threading) && writer.Finish();
    report.Milliseconds = NowMs() - start;
    if (!done) {
      report.Problem = PictureProblem::TooLarge;
      all = false;
      continue;
    }
    report.Width = width;
    report.Height = height;
    report.Bytes = outs[i]->Size() - before;
  }
  return all;
}

}  // namespace velmora
