// The fit: an estimate of bytes against scale from sampled copies of each photo, passes of
// real copies made at the predicted scale, the mail attachment rule, and the fit on a thread of
// its own for the window.
#include "imaging/fit.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "imaging/batch_shrink.h"
#include "imaging/heif_shrink.h"
#include "imaging/streaming.h"
#include "toolkit/stream.h"

namespace velmora {

uint64_t MailAttachmentSize(uint64_t fileBytes) {
  const uint64_t characters = (fileBytes + 2) / 3 * 4;
  const uint64_t lines = (characters + 75) / 76;
  return characters + 2 * lines + MailPartMargin;
}

void FreeFitCopies(FitResult& result) {
  for (FitCopy& photo : result.Photos) {
    FreeObject(photo.Copy);
    photo.Copy = nullptr;
  }
}

namespace {

// No copy's short side below this.
constexpr int64_t SmallestSide = 16;
// The share of the limit a fitted copy must use at least.
constexpr double LeastUse = 0.95;
// Passes of real copies before the search settles for what it has.
constexpr int MostPasses = 6;
// Where each pass of real copies aims, as a share of the limit by the estimate: the middle of
// the allowed 95 to 100%, less the 1 to 2% a sampled estimate runs low (a sample's own
// Huffman tables fit it a little better than the whole copy's fit each part of it).
constexpr double Aim = 0.965;
// Bands of rows the estimate of one photo alone samples, and the fewest for each of many.
constexpr double SamplesAlone = 12;
constexpr int32_t SamplesAtLeast = 4;
// The estimate's scales: from the top of the curve down by this factor (bytes between them
// follow a parabola in the logarithms of bytes and scale through the three nearest to well
// under a percent).
constexpr double GridStep = 0.55;
// The largest of them resampled: the top of the curve (100% itself is estimated apart).
constexpr double TopOfCurve = 0.9;
// The smallest copy the estimate makes has this many rows (or the smallest size a photo with
// fewer has); bytes of smaller ones follow the parabola of the three smallest estimated.
constexpr int32_t LeastEstimatedRows = 512;
// The denominator of the estimate's scales.
constexpr int32_t GridDenominator = 1 << 14;

struct Photo {
  bool Ok = false;
  bool Heif = false;   // a HEIF photo, decoded whole by the HEIF library
  uint32_t Width = 0;  // upright
  uint32_t Height = 0;
  // The estimate: what the copy comes to at scales from 100% down to the smallest (share of
  // the sides -> bytes), each from a sample of the copy's own rows.
  std::map<double, double> Estimate;
  // A HEIF photo's decode, kept from the estimate for the copies when it is the only photo
  // (a HEVC picture has no reduced decode: decoding it again would double the fit's time).
  std::unique_ptr<HeifImage> Held;

  // The estimated bytes at scale s: at 100% the copy's own estimate (its pixels are the
  // photo's, unfiltered: often many more bytes than just below); below, the parabola in the
  // logarithms of bytes and scale through the three estimated scales nearest to s.
  double Bytes(double s) const {
    if (Estimate.empty()) return 0;
    if (s >= 1 || Estimate.size() == 1) return Estimate.rbegin()->second;
    std::vector<std::pair<double, double>> points;
    for (const auto& [scale, bytes] : Estimate)
      if (scale < 1) points.push_back({std::log(scale), std::log(bytes)});
    if (points.empty()) return Estimate.rbegin()->second;
    const double x = std::log(s);
    std::sort(points.begin(), points.end(), [x](const auto& a, const auto& b) {
      return std::fabs(a.first - x) < std::fabs(b.first - x);
    });
    points.resize(std::min<size_t>(points.size(), 3));
    double y = 0;
    for (size_t i = 0; i < points.size(); ++i) {
      double weight = 1;
      for (size_t j = 0; j < points.size(); ++j)
        if (j != i) weight *= (x - points[j].first) / (points[i].first - points[j].first);
      y += weight * points[i].second;
    }
    return std::max(std::exp(y), CopyHeaderBytes);
  }
};

// Whether the photo's bytes (data, or the file at its start) are a HEIF file.
bool IsHeif(const uint8_t* data, size_t size, Stream* file) {
  return data ? LooksLikeHeif(data, size) : StreamLooksLikeHeif(file);
}

// Opens the HEIF photo of input into image.
void OpenHeif(const FitInput& input, HeifImage& image) {
  if (input.Data)
    image.OpenBytes(input.Data, input.Size);
  else
    image.Open(input.Path);
}

// Calls use(data, size, file) with the photo's bytes, or false when its file cannot be opened.
bool WithInput(const FitInput& input, FitCopy& copy,
               const std::function<void(const uint8_t*, size_t, Stream*)>& use) {
  if (input.Data) {
    copy.OriginalBytes = static_cast<uint32_t>(input.Size);
    use(input.Data, input.Size, nullptr);
    return true;
  }
  Stream* file = OpenFileForReading(input.Path.c_str());
  if (file->Handle() == INVALID_HANDLE_VALUE) {
    FreeObject(file);
    copy.Unreadable = true;
    return false;
  }
  copy.OriginalBytes = file->Size();
  try {
    use(nullptr, 0, file);
  } catch (...) {
    copy.Report.Problem = PictureProblem::TooLarge;
  }
  FreeObject(file);
  return true;
}

// The scales a photo of width x height (upright) is estimated at: 100%, then TopOfCurve and
// down by GridStep to the one that leaves LeastEstimatedRows on its short side (a smaller
// estimate costs about as much as a larger one: every row of the picture goes into it), or for
// a smaller photo to the smallest size, SmallestSide pixels on its short side.
std::vector<ShrinkScale> EstimateScales(uint32_t width, uint32_t height) {
  const double shortSide = std::max<uint32_t>(1, std::min(width, height));
  const double smallest = std::min(1.0, SmallestSide / shortSide);
  const double least =
      std::min(1.0, std::max<double>(LeastEstimatedRows, SmallestSide) / shortSide);
  auto scale = [](double share) {
    return ShrinkScale{
        std::max<int32_t>(1, static_cast<int32_t>(std::ceil(share * GridDenominator))),
        GridDenominator};
  };
  std::vector<ShrinkScale> scales{{GridDenominator, GridDenominator}};
  // At least three resampled ones for the curve, even on a photo barely past the least rows.
  for (double s = TopOfCurve;; s *= GridStep) {
    if (s <= least * 1.25 && scales.size() > 3) {
      scales.push_back(scale(least));
      break;
    }
    if (s <= smallest) {
      scales.push_back(scale(smallest));
      break;
    }
    scales.push_back(scale(s));
  }
  return scales;
}

// Takes the photo's estimate from the reports of its sampled copies at scales (made: all of
// them were), and its upright size. False (copy's problem set) when the photo could not be read.
bool Estimate(Photo& photo, FitCopy& copy, const std::vector<ShrinkScale>& scales,
              const std::vector<ShrinkReport>& reports, bool made) {
  photo.Width = reports[0].OriginalWidth;
  photo.Height = reports[0].OriginalHeight;
  copy.Report.OriginalWidth = photo.Width;
  copy.Report.OriginalHeight = photo.Height;
  for (size_t k = 0; k < reports.size(); ++k) {
    if (reports[k].Problem != PictureProblem::None) copy.Report.Problem = reports[k].Problem;
    if (made && k < scales.size() && reports[k].Bytes > 0)
      photo.Estimate[static_cast<double>(scales[k].Numerator) / GridDenominator] = reports[k].Bytes;
  }
  if (photo.Estimate.empty()) {
    if (copy.Report.Problem == PictureProblem::None) copy.Report.Problem = PictureProblem::Damaged;
    return false;
  }
  photo.Ok = true;
  return true;
}

// The estimate of a JPEG photo: sampled copies at the scales its upright size calls for.
bool Probe(const uint8_t* data, size_t size, Stream* file, int32_t samples,
           PipelineThreading threading, Photo& photo, FitCopy& copy) {
  std::vector<ShrinkScale> scales;
  std::vector<ShrinkReport> reports;
  const bool made =
      EstimateJpegCopies(data, size, file, EstimateScales, scales, reports, samples, threading);
  return Estimate(photo, copy, scales, reports, made);
}

// The estimate of a HEIF photo: decoded whole, then sampled copies of it.
bool ProbeHeif(HeifImage& image, int32_t samples, PipelineThreading threading, Photo& photo,
               FitCopy& copy) {
  const HeifFacts& facts = image.Facts();
  copy.Report.OriginalWidth = facts.Width;
  copy.Report.OriginalHeight = facts.Height;
  const HeifProblem problem = facts.Usable() ? image.Decode() : facts.Problem;
  if (problem != HeifProblem::None) {
    copy.Report.Problem = PictureProblemOf(problem);
    return false;
  }
  const std::vector<ShrinkScale> scales = EstimateScales(facts.Width, facts.Height);
  std::vector<ShrinkReport> reports(scales.size());
  HeifSource source(image);
  const bool made = EstimateDecodedRows(source, image.Details(), scales.data(), scales.size(),
                                        reports.data(), samples, threading);
  return Estimate(photo, copy, scales, reports, made);
}

}  // namespace

void ForEach(size_t count, int workers, const std::function<void(size_t)>& work) {
  std::atomic<size_t> next{0};
  auto loop = [&] {
    for (size_t i; (i = next++) < count;) work(i);
  };
  std::vector<std::thread> threads;
  for (int w = 1; w < workers && static_cast<size_t>(w) < count; ++w) {
    try {
      threads.emplace_back(loop);
    } catch (...) {
      break;
    }
  }
  loop();
  for (std::thread& thread : threads) thread.join();
}

namespace {

// One scale of a pass: its copies and their total as counted against the limit.
struct Candidate {
  int32_t N = 0;
  uint64_t Total = 0;
  bool Failed = false;                // a copy could not be made
  std::vector<Stream*> Copies;        // per photo; freed once the total is over the limit
  std::vector<ShrinkReport> Reports;  // per photo
};

}  // namespace

FitResult FitCopies(const std::vector<FitInput>& inputs, uint64_t limit,
                    const FitOptions& options) {
  FitResult result;
  const size_t count = inputs.size();
  result.Photos.resize(count);
  std::vector<Photo> photos(count);
  const int workers = options.Workers > 0 ? options.Workers : BatchShrinker::DefaultThreads();
  auto cancelled = [&] { return options.Cancel && options.Cancel->load(); };
  auto counted = [&](uint64_t bytes) { return options.Mail ? MailAttachmentSize(bytes) : bytes; };

  // Fewer photos than processors: each pipeline may decode on a thread of its own.
  const PipelineThreading threading =
      count < static_cast<size_t>(workers) ? PipelineThreading::Auto : PipelineThreading::OneThread;
  // The bands each estimate samples: a dozen for a photo alone; fewer for each of many, whose
  // errors, one photo's independent of another's, add up to a smaller share of their total.
  const int32_t samples = std::max<int32_t>(
      SamplesAtLeast, static_cast<int32_t>(std::lround(SamplesAlone / std::sqrt(count))));
  ForEach(count, workers, [&](size_t i) {
    if (cancelled()) return;
    WithInput(inputs[i], result.Photos[i], [&](const uint8_t* data, size_t size, Stream* file) {
      if (!IsHeif(data, size, file)) {
        Probe(data, size, file, samples, threading, photos[i], result.Photos[i]);
        return;
      }
      auto image = std::make_unique<HeifImage>();
      OpenHeif(inputs[i], *image);
      photos[i].Heif = true;
      if (ProbeHeif(*image, samples, threading, photos[i], result.Photos[i]) && count == 1)
        photos[i].Held = std::move(image);
    });
  });

  // The scales n / den: one pixel of the longest side a step; the smallest leaves 16 pixels
  // on every short side.
  int32_t den = 0;
  int64_t least = 1;
  std::vector<size_t> fitted;  // the photos taking part
  auto gather = [&] {
    fitted.clear();
    den = 0;
    least = 1;
    for (size_t i = 0; i < count; ++i) {
      if (!photos[i].Ok) {
        FitCopy& copy = result.Photos[i];
        copy.LeftOut = true;
        if (!copy.Unreadable && copy.Report.Problem == PictureProblem::None)
          copy.Report.Problem = PictureProblem::NotJpeg;
        continue;
      }
      fitted.push_back(i);
      den =
          std::max<int32_t>(den, static_cast<int32_t>(std::max(photos[i].Width, photos[i].Height)));
    }
    for (size_t i : fitted) {
      const int64_t shortSide = std::min(photos[i].Width, photos[i].Height);
      least = std::max(least, (SmallestSide * den + shortSide - 1) / shortSide);
    }
    least = std::min<int64_t>(least, den);
  };
  gather();

  auto model = [&](int32_t n) {
    const double s = static_cast<double>(n) / den;
    double total = 0;
    for (size_t i : fitted)
      total += static_cast<double>(counted(static_cast<uint64_t>(photos[i].Bytes(s))));
    return total;
  };

  std::map<int32_t, uint64_t> tried;  // scale n -> real total
  Candidate best;                     // the largest scale within the limit, with its copies
  auto freeCopies = [](Candidate& c) {
    for (Stream*& s : c.Copies) FreeObject(s), s = nullptr;
  };

  // The curve corrected by the real totals: by the ratio at the tried scales nearest to n,
  // interpolated between the two around it.
  auto predicted = [&](int32_t n) {
    const double m = model(n);
    if (tried.empty()) return m;
    auto above = tried.lower_bound(n);
    auto ratioAt = [&](std::map<int32_t, uint64_t>::iterator it) {
      return static_cast<double>(it->second) / std::max(model(it->first), 1.0);
    };
    if (above == tried.begin()) return m * ratioAt(above);
    auto below = std::prev(above);
    if (above == tried.end()) return m * ratioAt(below);
    const double t = std::log(static_cast<double>(n) / below->first) /
                     std::log(static_cast<double>(above->first) / below->first);
    return m * (ratioAt(below) + t * (ratioAt(above) - ratioAt(below)));
  };
  // The largest n in [from, to] predicted within bytes (from when none is).
  auto largestWithin = [&](double bytes, int32_t from, int32_t to) {
    if (predicted(to) <= bytes) return to;
    int32_t low = from, high = to;  // predicted(high) > bytes
    while (high - low > 1) {
      const int32_t mid = low + (high - low) / 2;
      (predicted(mid) <= bytes ? low : high) = mid;
    }
    return low;
  };

  bool restart = false;
  for (int pass = 0; pass < MostPasses + 2 && !fitted.empty() && !cancelled(); ++pass) {
    if (restart) {  // a photo failed in a pass: the totals so far count it, start over
      tried.clear();
      freeCopies(best);
      best = Candidate{};
      gather();
      restart = false;
      if (fitted.empty()) break;
    }
    // The bracket: lo the largest scale tried within, hi the smallest above it tried over.
    int32_t lo = 0, hi = den + 1;
    for (const auto& [n, total] : tried)
      if (total <= limit) lo = n;
    for (const auto& [n, total] : tried)
      if (n > lo && total > limit) {
        hi = n;
        break;
      }
    if (lo == den || (lo > 0 && tried[lo] >= LeastUse * static_cast<double>(limit))) break;
    if (lo == 0 && tried.count(static_cast<int32_t>(least))) break;  // over even at the least
    const int32_t from = std::max<int32_t>(lo + 1, static_cast<int32_t>(least));
    const int32_t to = std::min(hi - 1, den);
    if (from > to || pass >= MostPasses) break;
    // One scale a pass, aimed within; a bracket of a pixel or two is closed by trying it all.
    std::vector<int32_t> scales;
    if (to - from < 2) {
      for (int32_t n = from; n <= to; ++n) scales.push_back(n);
    } else {
      scales.push_back(largestWithin(Aim * static_cast<double>(limit), from, to));
    }

    // The real copies of every photo at these scales, one decode per photo.
    std::vector<Candidate> pass_(scales.size());
    for (size_t k = 0; k < scales.size(); ++k) {
      pass_[k].N = scales[k];
      pass_[k].Copies.assign(count, nullptr);
      pass_[k].Reports.assign(count, ShrinkReport{});
    }
    std::mutex lock;
    ForEach(fitted.size(), workers, [&](size_t f) {
      const size_t i = fitted[f];
      if (cancelled()) return;
      std::vector<ShrinkScale> shares;
      std::vector<Stream*> outs;
      for (int32_t n : scales) shares.push_back({n, den}), outs.push_back(MakeMemoryStream());
      std::vector<ShrinkReport> reports(scales.size());
      bool made = false;
      FitCopy& copy = result.Photos[i];
      const bool read =
          WithInput(inputs[i], copy, [&](const uint8_t* data, size_t size, Stream* file) {
            if (!photos[i].Heif) {
              made = ShrinkJpegCopies(data, size, file, shares.data(), shares.size(), outs.data(),
                                      reports.data(), threading);
              return;
            }
            HeifImage again;
            HeifImage* image = photos[i].Held.get();
            if (!image) OpenHeif(inputs[i], *(image = &again));
            made = ShrinkHeifCopies(*image, shares.data(), shares.size(), outs.data(),
                                    reports.data(), threading);
          });
      std::lock_guard<std::mutex> hold(lock);
      if (!read || !made) {
        for (Stream* s : outs) FreeObject(s);
        photos[i].Ok = false;
        for (const ShrinkReport& r : reports)
          if (r.Problem != PictureProblem::None) copy.Report.Problem = r.Problem;
        if (copy.Report.Problem == PictureProblem::None)
          copy.Report.Problem = PictureProblem::TooLarge;
        restart = true;
        return;
      }
      for (size_t k = 0; k < scales.size(); ++k) {
        Candidate& c = pass_[k];
        c.Total += counted(reports[k].Bytes);
        c.Reports[i] = reports[k];
        if (c.Total <= limit) {
          c.Copies[i] = outs[k];
        } else {
          FreeObject(outs[k]);
          freeCopies(c);
        }
      }
    });
    if (cancelled() || restart) {
      for (Candidate& c : pass_) freeCopies(c);
      continue;
    }
    ++result.Passes;
    for (Candidate& c : pass_) {
      ++result.Tries;
      tried[c.N] = c.Total;
      if (c.Total <= limit && c.N > best.N) {
        freeCopies(best);
        best = std::move(c);
      } else {
        freeCopies(c);
      }
    }
  }

  if (cancelled() || fitted.empty() || best.N == 0) {
    freeCopies(best);
    result.Failure = cancelled()      ? FitFailure::Cancelled
                     : fitted.empty() ? FitFailure::NothingReadable
                                      : FitFailure::TooLarge;
    const auto smallest = tried.find(static_cast<int32_t>(least));
    if (smallest != tried.end()) {
      result.Smallest = {smallest->first, den};
      result.SmallestBytes = smallest->second;
    }
    return result;
  }
  result.Fitted = true;
  result.Scale = {best.N, den};
  result.Bytes = best.Total;
  for (const auto& [n, total] : tried)
    if (n > best.N && total > limit) {
      result.Over = {n, den};
      result.OverBytes = total;
      break;
    }
  result.Guaranteed =
      best.N == den || static_cast<double>(best.Total) >= LeastUse * static_cast<double>(limit);
  for (size_t i : fitted) {
    result.Photos[i].Copy = best.Copies[i];
    result.Photos[i].Report = best.Reports[i];
  }
  return result;
}

// ---- FitShrinker ----

FitSummary SummaryOf(const FitResult& fit, uint64_t limit, bool mail, size_t photos) {
  FitSummary summary;
  summary.Limit = limit;
  summary.Mail = mail;
  summary.Photos = photos;
  summary.Fitted = fit.Fitted;
  summary.Scale = fit.Scale;
  summary.Failure = fit.Failure;
  summary.Smallest = fit.Smallest;
  summary.SmallestBytes = fit.SmallestBytes;
  return summary;
}

FitShrinker::~FitShrinker() { Cancel(); }

void FitShrinker::Cancel() {
  Stop = true;
  if (Worker.joinable()) Worker.join();
  Stop = false;
}

FitSummary FitShrinker::Summary() const {
  std::lock_guard<std::mutex> hold(Lock);
  return Said;
}

FitSummary FitShrinker::Reason(size_t index) const {
  std::lock_guard<std::mutex> hold(Lock);
  return index < Reasons.size() ? Reasons[index] : FitSummary();
}

void FitShrinker::Start(const std::vector<std::string>& paths, uint64_t limit, bool mail,
                        size_t first, BatchDoneProc done, void* context) {
  Cancel();
  {
    std::lock_guard<std::mutex> hold(Lock);
    Said = SummaryOf(FitResult(), limit, mail, paths.size());
    Reasons.assign(paths.size(), Said);
  }
  std::vector<size_t> order;
  if (first < paths.size()) order.push_back(first);
  for (size_t i = 0; i < paths.size(); ++i)
    if (i != first) order.push_back(i);
  auto hand = [this, done, context](size_t index, FitCopy& copy) {
    BatchResult result;
    result.Index = index;
    result.Copy = copy.Copy;
    copy.Copy = nullptr;
    result.OriginalBytes = copy.OriginalBytes;
    result.ShrunkBytes = copy.Report.Bytes;
    result.Problem = copy.Report.Problem;
    result.Unreadable = copy.Unreadable;
    result.OriginalWidth = copy.Report.OriginalWidth;
    result.OriginalHeight = copy.Report.OriginalHeight;
    result.ShrunkWidth = static_cast<uint32_t>(result.Copy ? copy.Report.Width : 0);
    result.ShrunkHeight = static_cast<uint32_t>(result.Copy ? copy.Report.Height : 0);
    if (Stop) {
      FreeObject(result.Copy);
      return;
    }
    done(context, result);
  };
  auto run = [=, this] {
    FitOptions options;
    options.Mail = mail;
    options.Cancel = &Stop;
    if (mail) {
      std::vector<FitInput> inputs(paths.size());
      for (size_t i = 0; i < paths.size(); ++i) inputs[i].Path = paths[i];
      FitResult fit = FitCopies(inputs, limit, options);
      {
        std::lock_guard<std::mutex> hold(Lock);
        Said = SummaryOf(fit, limit, mail, paths.size());
        for (size_t i = 0; i < paths.size(); ++i)
          if (!fit.Photos[i].LeftOut) Reasons[i] = Said;
      }
      for (size_t i : order) hand(i, fit.Photos[i]);
      FreeFitCopies(fit);
      return;
    }
    for (size_t i : order) {
      if (Stop) return;
      std::vector<FitInput> inputs(1);
      inputs[0].Path = paths[i];
      FitResult fit = FitCopies(inputs, limit, options);
      {
        std::lock_guard<std::mutex> hold(Lock);
        const FitSummary alone = SummaryOf(fit, limit, mail, 1);
        if (!fit.Photos[0].LeftOut) Reasons[i] = alone;
        // Several photos each under the limit share no scale.
        Said = paths.size() > 1 ? SummaryOf(FitResult(), limit, mail, paths.size()) : alone;
      }
      hand(i, fit.Photos[0]);
      FreeFitCopies(fit);
    }
  };
  try {
    Worker = std::thread(run);
  } catch (...) {
    run();  // no thread to be had: the fit runs here
  }
}

}  // namespace velmora
