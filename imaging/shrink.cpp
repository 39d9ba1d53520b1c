// The shrink pipeline on JPEG bytes: percent to size, a streamed decode, resample and encode;
// the size line.
#include "imaging/shrink.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

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

// How one copy is made: its sizes and the decode it needs.
struct CopyPlan {
  int32_t NewWidth = 0;  // upright
  int32_t NewHeight = 0;
  int32_t StoredWidth = 0;  // as the rows come from the decoder
  int32_t StoredHeight = 0;
  bool KeepStored = false;
  int Orientation = 1;  // written into the copy
  int32_t OutWidth = 0;
  int32_t OutHeight = 0;
  int32_t DecodeEighths = 8;
};

// The plan for scale of a picture width x height as stored; false when a side would be 0
// pixels. Fills the report's original size.
bool PlanCopy(uint32_t width, uint32_t height, const PhotoDetails& details, ShrinkScale scale,
              ShrinkReport& report, CopyPlan& plan) {
  // The new size is a share of the upright picture; the rows are resampled as stored and
  // turned upright after the reduction, where there are fewest of them.
  const PixelSize original = OrientedSize(width, height, details.Orientation);
  report.OriginalWidth = original.Width;
  report.OriginalHeight = original.Height;
  if (scale.Denominator <= 0 || scale.Numerator <= 0) return false;
  const int32_t newWidth = static_cast<int32_t>(static_cast<int64_t>(original.Width) *
                                                scale.Numerator / scale.Denominator);
  const int32_t newHeight = static_cast<int32_t>(static_cast<int64_t>(original.Height) *
                                                 scale.Numerator / scale.Denominator);
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
  plan.NewWidth = newWidth;
  plan.NewHeight = newHeight;
  plan.StoredWidth = storedWidth;
  plan.StoredHeight = storedHeight;
  plan.KeepStored = keepStored;
  plan.Orientation = keepStored ? details.Orientation : 1;
  plan.OutWidth = keepStored ? storedWidth : newWidth;
  plan.OutHeight = keepStored ? storedHeight : newHeight;
  plan.DecodeEighths =
      DecodeEighthsFor(width, height, storedWidth, storedHeight, ShrinkDecodeMargin);
  return true;
}

// One copy in the making: its encoder and the sinks in front of it. A sample (Every above 1)
// encodes only some of the copy's rows as stored, not turned and without markers, for an
// estimate of its bytes.
struct CopyInWork {
  JpegRowWriter Writer;
  JpegSink Sink{Writer};
  std::unique_ptr<OrientingSink> Upright;
  int32_t Every = 0;
  uint32_t Before = 0;

  // Starts the copy (or its sample) of plan into out; false when that failed.
  bool Begin(const CopyPlan& plan, const PhotoDetails& details, Stream* out, int32_t every) {
    Every = every;
    Before = out->Size();
    if (Every > 1)
      return Writer.Start(plan.StoredWidth, SampledRows(plan.StoredHeight, Every), ShrinkQuality,
                          out, plan.StoredHeight);
    Upright = std::make_unique<OrientingSink>(Sink, plan.KeepStored ? 1 : details.Orientation,
                                              plan.StoredWidth, plan.StoredHeight);
    return Upright->Prepare() && Writer.Start(plan.OutWidth, plan.OutHeight, ShrinkQuality, out) &&
           Writer.WriteMarkers(MarkersForCopy(details, static_cast<uint32_t>(plan.OutWidth),
                                              static_cast<uint32_t>(plan.OutHeight),
                                              plan.Orientation));
  }
  // Where the resampler sends the rows.
  RowOutput Output(const CopyPlan& plan) {
    if (Every > 1) return {plan.StoredWidth, plan.StoredHeight, &Sink, Every};
    return {plan.StoredWidth, plan.StoredHeight, Upright.get()};
  }
  // Ends it once its rows went through: the report says the copy's size and bytes (for a
  // sample, the bytes of its scan scaled to the whole copy's rows, plus the headers and the
  // markers the copy would carry).
  bool End(const CopyPlan& plan, const PhotoDetails& details, Stream* out, ShrinkReport& report) {
    if (Every <= 1 && !Upright->Finish()) return false;
    if (!Writer.Finish()) return false;
    double bytes = out->Size() - Before;
    if (Every > 1) {
      double markers = 0;
      for (const MarkerPayload& marker :
           MarkersForCopy(details, static_cast<uint32_t>(plan.OutWidth),
                          static_cast<uint32_t>(plan.OutHeight), plan.Orientation))
        markers += static_cast<double>(marker.Bytes.size()) + 4;
      bytes = CopyHeaderBytes + markers +
              std::max(bytes - CopyHeaderBytes, 0.0) * plan.StoredHeight /
                  SampledRows(plan.StoredHeight, Every);
    }
    report.Width = plan.NewWidth;
    report.Height = plan.NewHeight;
    report.Bytes = static_cast<uint32_t>(std::min(bytes, 4e9));
    return true;
  }
};

// The copies of the plans listed in group from one pass over rows (resampled together, on
// this thread), appended to outs[i]; with samples above 0 instead their estimates, each from a
// sample of about samples bands of its rows (SampleSpacing) or made whole when it has too few
// rows for one (outs unused). Reports say what each came to; false when any failed.
bool MakeCopies(const std::vector<CopyPlan>& plans, const std::vector<size_t>& group,
                const PhotoDetails& details, RowSource& rows, Stream* const* outs, int32_t samples,
                ShrinkReport* reports, PipelineThreading threading) {
  std::vector<std::unique_ptr<CopyInWork>> copies(plans.size());
  std::vector<Stream*> own(plans.size(), nullptr);  // an estimate's bytes, thrown away
  std::vector<RowOutput> outputs;
  bool ok = true;
  for (size_t i : group) {
    if (!ok) break;
    const int32_t every = samples > 0 ? SampleSpacing(plans[i].StoredHeight, samples) : 0;
    copies[i] = std::make_unique<CopyInWork>();
    if (samples > 0) own[i] = MakeMemoryStream();
    reports[i].DecodeEighths = plans[i].DecodeEighths;
    ok = copies[i]->Begin(plans[i], details, own[i] ? own[i] : outs[i], every);
    if (ok) outputs.push_back(copies[i]->Output(plans[i]));
  }
  ok = ok && !outputs.empty() && ResampleRowsTo(rows, outputs, threading);
  for (size_t i : group) {
    if (copies[i] && ok)
      ok = copies[i]->End(plans[i], details, own[i] ? own[i] : outs[i], reports[i]);
    FreeObject(own[i]);
  }
  return ok;
}

// Why a copy of a picture whose decode failed or whose copy could not be made has none.
PictureProblem ProblemOf(const JpegRowReader& reader) {
  return reader.Problem != PictureProblem::None ? reader.Problem : PictureProblem::TooLarge;
}

// The copies, or with samples above 0 their estimates (outs unused), of the JPEG picture at
// the scales (or, with choose, at those it chooses from the upright size once the header is
// read): one decode for each DCT scale they need (estimates all share the largest). reports
// gets one report a scale (one when the picture could not be opened).
bool JpegCopies(const uint8_t* data, size_t size, Stream* file, const ScalesFor* choose,
                std::vector<ShrinkScale>& scales, Stream* const* outs,
                std::vector<ShrinkReport>& reports, PipelineThreading threading, int32_t samples) {
  const double start = NowMs();
  reports.assign(std::max<size_t>(scales.size(), 1), ShrinkReport{});
  const uint32_t position = file ? file->Position() : 0;
  JpegRowReader first;
  // As JpegImage takes them: a few hundred bytes are no picture, whatever they hold.
  auto open = [&](JpegRowReader& reader) {
    if (data) return size >= JpegMinimumParsedSize && reader.Open(data, size, true);
    if (!file) return false;
    file->SetPosition(position);
    const uint32_t total = file->Size();
    return position < total && total - position >= JpegMinimumParsedSize && reader.Open(file, true);
  };
  if (!open(first)) {
    const PictureProblem problem =
        first.Problem != PictureProblem::None ? first.Problem : PictureProblem::NotJpeg;
    for (ShrinkReport& report : reports) report.Problem = problem;
    return false;
  }
  const PhotoDetails details = CollectPhotoDetails(first.Markers());
  if (choose) {
    const PixelSize upright = OrientedSize(first.Width, first.Height, details.Orientation);
    scales = (*choose)(upright.Width, upright.Height);
    reports.assign(scales.size(), ShrinkReport{});
  }
  const size_t count = scales.size();
  std::vector<CopyPlan> plans(count);
  std::vector<bool> planned(count), done(count, false);
  bool all = true;
  for (size_t i = 0; i < count; ++i) {
    planned[i] = PlanCopy(first.Width, first.Height, details, scales[i], reports[i], plans[i]);
    all = all && planned[i];
  }
  if (samples > 0) {
    // A decode costs more than all the samples, and a smaller decode's pixels differ too
    // little to matter to an estimate.
    int32_t most = 0;
    for (size_t i = 0; i < count; ++i)
      if (planned[i]) most = std::max(most, plans[i].DecodeEighths);
    for (CopyPlan& plan : plans) plan.DecodeEighths = most;
  }

  bool firstUsed = false;
  for (size_t lead = 0; lead < count; ++lead) {
    if (!planned[lead] || done[lead]) continue;
    std::vector<size_t> group;
    for (size_t i = lead; i < count; ++i)
      if (planned[i] && !done[i] && plans[i].DecodeEighths == plans[lead].DecodeEighths)
        group.push_back(i), done[i] = true;
    JpegRowReader again;
    JpegRowReader& reader = firstUsed ? again : first;
    const bool opened = firstUsed ? open(again) : true;
    firstUsed = true;
    bool made = opened && reader.Start(plans[lead].DecodeEighths);
    if (made) {
      JpegSource source(reader);
      made = MakeCopies(plans, group, details, source, outs, samples, reports.data(), threading);
    }
    if (!made)
      for (size_t i : group) reports[i].Problem = ProblemOf(reader);
    all = all && made;
  }
  const double milliseconds = NowMs() - start;
  for (size_t i = 0; i < count; ++i) reports[i].Milliseconds = milliseconds;
  return all;
}

}  // namespace

bool ShrinkJpegCopies(const uint8_t* data, size_t size, Stream* file, const ShrinkScale* scales,
                      size_t count, Stream* const* outs, ShrinkReport* reports,
                      PipelineThreading threading) {
  std::vector<ShrinkScale> chosen(scales, scales + count);
  std::vector<ShrinkReport> made;
  const bool all = JpegCopies(data, size, file, nullptr, chosen, outs, made, threading, 0);
  for (size_t i = 0; i < count; ++i) reports[i] = made[std::min(i, made.size() - 1)];
  return all;
}

int32_t SampleSpacing(int32_t storedHeight, int32_t samples) {
  const int32_t bands = storedHeight / SampleBand;
  return bands < 32 ? 0 : std::clamp(bands / std::max(samples, 1), 4, 64);
}

bool EstimateJpegCopies(const uint8_t* data, size_t size, Stream* file, const ScalesFor& choose,
                        std::vector<ShrinkScale>& scales, std::vector<ShrinkReport>& reports,
                        int32_t samples, PipelineThreading threading) {
  return JpegCopies(data, size, file, &choose, scales, nullptr, reports, threading,
                    std::max(samples, 1));
}

namespace {

// The copies, or with samples above 0 their estimates (outs unused), at count scales of a
// picture whose rows source gives whole, from one pass over them.
bool DecodedCopies(RowSource& source, const PhotoDetails& details, const ShrinkScale* scales,
                   size_t count, Stream* const* outs, ShrinkReport* reports, int32_t samples,
                   PipelineThreading threading) {
  std::vector<CopyPlan> plans(count);
  std::vector<size_t> group;
  for (size_t i = 0; i < count; ++i) {
    reports[i] = ShrinkReport{};
    if (PlanCopy(static_cast<uint32_t>(source.Width()), static_cast<uint32_t>(source.Height()),
                 details, scales[i], reports[i], plans[i]))
      group.push_back(i);
    plans[i].DecodeEighths = 8;  // the rows are the whole picture
  }
  if (group.empty()) return false;
  const bool made = MakeCopies(plans, group, details, source, outs, samples, reports, threading);
  if (!made)
    for (size_t i : group) reports[i].Problem = PictureProblem::TooLarge;
  return made && group.size() == count;
}

}  // namespace

bool EstimateDecodedRows(RowSource& source, const PhotoDetails& details, const ShrinkScale* scales,
                         size_t count, ShrinkReport* reports, int32_t samples,
                         PipelineThreading threading) {
  return DecodedCopies(source, details, scales, count, nullptr, reports, std::max(samples, 1),
                       threading);
}

bool ShrinkDecodedCopies(RowSource& source, const PhotoDetails& details, const ShrinkScale* scales,
                         size_t count, Stream* const* outs, ShrinkReport* reports,
                         PipelineThreading threading) {
  return DecodedCopies(source, details, scales, count, outs, reports, 0, threading);
}

bool ShrinkJpegBytes(const uint8_t* data, size_t size, int32_t percent, Stream* out,
                     ShrinkReport& report, PipelineThreading threading) {
  const ShrinkScale scale{percent, 100};
  return ShrinkJpegCopies(data, size, nullptr, &scale, 1, &out, &report, threading);
}

bool ShrinkJpegStream(Stream* file, int32_t percent, Stream* out, ShrinkReport& report,
                      PipelineThreading threading) {
  const ShrinkScale scale{percent, 100};
  return ShrinkJpegCopies(nullptr, 0, file, &scale, 1, &out, &report, threading);
}

}  // namespace velmora
