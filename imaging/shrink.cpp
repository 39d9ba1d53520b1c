// The shrink pipeline on JPEG bytes: percent to size, a streamed decode, resample and encode;
// the size line.
#include "imaging/shrink.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <thread>
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

// Resamples, turns and encodes the rows of a decode started as the plan says into out.
bool MakeCopy(const CopyPlan& plan, const PhotoDetails& details, RowSource& rows, Stream* out,
              ShrinkReport& report, PipelineThreading threading) {
  report.DecodeEighths = plan.DecodeEighths;
  CopyInWork copy;
  return copy.Begin(plan, details, out, 0) &&
         ResampleRowsTo(rows, {copy.Output(plan)}, threading) &&
         copy.End(plan, details, out, report);
}

// The estimates of the planned copies from one pass over rows: each from a sample of the
// bands of its rows (SampleSpacing), or made whole when it has too few rows for a sample.
bool MakeEstimates(const std::vector<CopyPlan>& plans, const std::vector<bool>& planned,
                   const PhotoDetails& details, RowSource& rows, int32_t samples,
                   ShrinkReport* reports, PipelineThreading threading) {
  std::vector<std::unique_ptr<CopyInWork>> copies(plans.size());
  std::vector<Stream*> outs(plans.size(), nullptr);
  std::vector<RowOutput> outputs;
  bool ok = true;
  for (size_t i = 0; i < plans.size() && ok; ++i) {
    if (!planned[i]) continue;
    const int32_t every = SampleSpacing(plans[i].StoredHeight, samples);
    copies[i] = std::make_unique<CopyInWork>();
    outs[i] = MakeMemoryStream();
    reports[i].DecodeEighths = plans[i].DecodeEighths;
    ok = copies[i]->Begin(plans[i], details, outs[i], every);
    if (ok) outputs.push_back(copies[i]->Output(plans[i]));
  }
  ok = ok && !outputs.empty() && ResampleRowsTo(rows, outputs, threading);
  for (size_t i = 0; i < plans.size(); ++i) {
    if (copies[i] && ok) ok = copies[i]->End(plans[i], details, outs[i], reports[i]);
    FreeObject(outs[i]);
  }
  return ok;
}

// Why a copy of a picture whose decode failed or whose copy could not be made has none.
PictureProblem ProblemOf(const JpegRowReader& reader) {
  return reader.Problem != PictureProblem::None ? reader.Problem : PictureProblem::TooLarge;
}

// The copies whose indexes are listed, from the one decode of reader started at the plans'
// shared scale: the first on this thread, the others each on a thread of its own, all
// reading the rows through a RowTee. A copy whose thread cannot be had is left out (false in
// ran) for a decode of its own.
void MakeCopiesTogether(JpegRowReader& reader, const PhotoDetails& details,
                        const std::vector<CopyPlan>& plans, const std::vector<size_t>& group,
                        Stream* const* outs, ShrinkReport* reports, std::vector<bool>& made,
                        std::vector<bool>& ran) {
  JpegSource source(reader);
  RowTee tee(source, static_cast<int32_t>(group.size()));
  auto make = [&](size_t branch) {
    const size_t i = group[branch];
    try {
      made[i] = MakeCopy(plans[i], details, tee.Branch(static_cast<int32_t>(branch)), outs[i],
                         reports[i], PipelineThreading::OneThread);
    } catch (...) {
      made[i] = false;
    }
    tee.Leave(static_cast<int32_t>(branch));
  };
  std::vector<std::thread> threads;
  for (size_t branch = 1; branch < group.size(); ++branch) {
    try {
      threads.emplace_back(make, branch);
      ran[group[branch]] = true;
    } catch (...) {
      tee.Leave(static_cast<int32_t>(branch));
    }
  }
  ran[group[0]] = true;
  make(0);
  for (std::thread& thread : threads) thread.join();
}

// The copies, or with samples above 0 their estimates (outs unused), of the JPEG picture at
// count scales.
bool JpegCopies(const uint8_t* data, size_t size, Stream* file, const ShrinkScale* scales,
                size_t count, Stream* const* outs, ShrinkReport* reports,
                PipelineThreading threading, int32_t samples) {
  const double start = NowMs();
  for (size_t i = 0; i < count; ++i) reports[i] = ShrinkReport{};
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
    for (size_t i = 0; i < count; ++i) reports[i].Problem = problem;
    return false;
  }
  const PhotoDetails details = CollectPhotoDetails(first.Markers());
  std::vector<CopyPlan> plans(count);
  std::vector<bool> planned(count), made(count, false), ran(count, false);
  for (size_t i = 0; i < count; ++i)
    planned[i] = PlanCopy(first.Width, first.Height, details, scales[i], reports[i], plans[i]);
  if (samples > 0) {
    // Estimates share one decode, the one the largest of them needs: a decode costs more than
    // all the samples, and a smaller decode's pixels differ too little to matter to them.
    int32_t most = 0;
    for (size_t i = 0; i < count; ++i)
      if (planned[i]) most = std::max(most, plans[i].DecodeEighths);
    for (CopyPlan& plan : plans) plan.DecodeEighths = most;
    bool made = most > 0 && first.Start(most);
    if (made) {
      JpegSource source(first);
      made = MakeEstimates(plans, planned, details, source, samples, reports, threading);
    }
    for (size_t i = 0; i < count; ++i) {
      if (!made && planned[i]) reports[i].Problem = ProblemOf(first);
      reports[i].Milliseconds = NowMs() - start;
    }
    return made;
  }

  // One decode for each decode scale the copies need, the first with the reader already open.
  bool firstUsed = false;
  for (size_t lead = 0; lead < count; ++lead) {
    if (!planned[lead] || ran[lead]) continue;
    std::vector<size_t> group;
    for (size_t i = lead; i < count; ++i)
      if (planned[i] && !ran[i] && plans[i].DecodeEighths == plans[lead].DecodeEighths)
        group.push_back(i);
    JpegRowReader again;
    JpegRowReader& reader = firstUsed ? again : first;
    const bool opened = firstUsed ? open(again) : true;
    firstUsed = true;
    const bool started = opened && reader.Start(plans[lead].DecodeEighths);
    if (started) {
      if (group.size() == 1) {
        JpegSource source(reader);
        made[lead] = MakeCopy(plans[lead], details, source, outs[lead], reports[lead], threading);
        ran[lead] = true;
      } else {
        MakeCopiesTogether(reader, details, plans, group, outs, reports, made, ran);
      }
    }
    for (size_t i : group) {
      if (made[i]) continue;
      if (!ran[i] && started) continue;  // no thread for it: a decode of its own follows
      ran[i] = true;
      reports[i].Problem = ProblemOf(reader);
    }
  }
  bool all = true;
  const double milliseconds = NowMs() - start;
  for (size_t i = 0; i < count; ++i) {
    reports[i].Milliseconds = milliseconds;
    all = all && made[i];
  }
  return all;
}

}  // namespace

bool ShrinkJpegCopies(const uint8_t* data, size_t size, Stream* file, const ShrinkScale* scales,
                      size_t count, Stream* const* outs, ShrinkReport* reports,
                      PipelineThreading threading) {
  return JpegCopies(data, size, file, scales, count, outs, reports, threading, 0);
}

int32_t SampleSpacing(int32_t storedHeight, int32_t samples) {
  const int32_t bands = storedHeight / SampleBand;
  return bands < 32 ? 0 : std::clamp(bands / std::max(samples, 1), 4, 64);
}

bool EstimateJpegCopies(const uint8_t* data, size_t size, Stream* file, const ShrinkScale* scales,
                        size_t count, ShrinkReport* reports, int32_t samples,
                        PipelineThreading threading) {
  return JpegCopies(data, size, file, scales, count, nullptr, reports, threading,
                    std::max(samples, 1));
}

bool EstimateDecodedRows(RowSource& source, const PhotoDetails& details, const ShrinkScale* scales,
                         size_t count, ShrinkReport* reports, int32_t samples,
                         PipelineThreading threading) {
  std::vector<CopyPlan> plans(count);
  std::vector<bool> planned(count);
  for (size_t i = 0; i < count; ++i) {
    reports[i] = ShrinkReport{};
    planned[i] =
        PlanCopy(static_cast<uint32_t>(source.Width()), static_cast<uint32_t>(source.Height()),
                 details, scales[i], reports[i], plans[i]);
    plans[i].DecodeEighths = 8;
  }
  return MakeEstimates(plans, planned, details, source, samples, reports, threading);
}

bool ShrinkDecodedRows(RowSource& source, const PhotoDetails& details, ShrinkScale scale,
                       Stream* out, ShrinkReport& report, PipelineThreading threading) {
  report = ShrinkReport{};
  CopyPlan plan;
  if (!PlanCopy(static_cast<uint32_t>(source.Width()), static_cast<uint32_t>(source.Height()),
                details, scale, report, plan))
    return false;
  plan.DecodeEighths = 8;  // the rows are the whole picture
  const bool made = MakeCopy(plan, details, source, out, report, threading);
  if (!made) report.Problem = PictureProblem::TooLarge;
  return made;
}

bool ShrinkJpegBytes(const uint8_t* data, size_t size, int32_t percent, Stream* out,
                     ShrinkReport& report, PipelineThreading threading) {
  const ShrinkScale scale{percent, 100};
  return ShrinkJpegCopies(data ? data : reinterpret_cast<const uint8_t*>(""), data ? size : 0,
                          nullptr, &scale, 1, &out, &report, threading);
}

bool ShrinkJpegStream(Stream* file, int32_t percent, Stream* out, ShrinkReport& report,
                      PipelineThreading threading) {
  if (!file) {
    report = ShrinkReport{};
    report.Problem = PictureProblem::NotJpeg;
    return false;
  }
  const ShrinkScale scale{percent, 100};
  return ShrinkJpegCopies(nullptr, 0, file, &scale, 1, &out, &report, threading);
}

}  // namespace velmora
