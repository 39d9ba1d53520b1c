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

bool StreamLooksLikeHeif(Stream* file) {
  uint8_t start[64] = {};
  const uint32_t got = file->Read(start, sizeof start);
  file->SetPosition(0);
  return LooksLikeHeif(start, got);
}

bool ShrinkHeifCopies(HeifImage& image, const ShrinkScale* scales, size_t count,
                      Stream* const* outs, ShrinkReport* reports, PipelineThreading threading) {
  const double start = NowMs();
  const HeifFacts& facts = image.Facts();
  const HeifProblem problem = facts.Usable() ? image.Decode() : facts.Problem;
  if (problem != HeifProblem::None) {
    for (size_t i = 0; i < count; ++i) {
      reports[i] = ShrinkReport{};
      reports[i].OriginalWidth = facts.Width;
      reports[i].OriginalHeight = facts.Height;
      reports[i].Problem = PictureProblemOf(problem);
    }
    return false;
  }
  // Upright as decoded: the details say orientation 1.
  HeifSource source(image);
  const bool all =
      ShrinkDecodedCopies(source, image.Details(), scales, count, outs, reports, threading);
  const double milliseconds = NowMs() - start;
  for (size_t i = 0; i < count; ++i) reports[i].Milliseconds = milliseconds;
  return all;
}

}  // namespace velmora
