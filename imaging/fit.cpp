// The fit: an estimate of bytes against scale from a reduced decode of each photo, passes of
// real copies made around the predicted scale, the mail attachment rule, and the fit on a
// thread of its own for the window.
#include "imaging/fit.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "imaging/batch_shrink.h"
#include "imaging/heif_shrink.h"
#include "imaging/jpeg_image.h"
#include "imaging/photo_metadata.h"
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

// Pixels of the reduced decode the estimate works on (a few megabytes of memory).
constexpr int64_t ProbePixels = 4 << 20;
// No copy's short side below this.
constexpr int64_t SmallestSide = 16;
// The share of the limit a fitted copy must use at least.
constexpr double LeastUse = 0.95;
// Passes of real copies before the search settles for what it has.
constexpr int MostPasses = 6;
// Where the scales of the first pass aim, as shares of the limit by the estimate: three, so
// that one pass closes the bracket whenever the real bytes there are within -2.6% to +7.5% of
// the estimate (which tends to run low at scales above its reduced decode's).
const std::vector<double> Aims = {0.93, 0.975, 1.02};
// Once real copies were made near the limit the corrected curve is right to a percent: two.
const std::vector<double> CloseAims = {0.975, 1.005};

// Bytes of a JPEG without markers that are not its picture: headers and tables.
constexpr double HeaderBytes = 700;

// Bytes of a copy against its scale s (a share of the original's sides): Fixed plus a
// variable part whose power of s (its slope in log-log) is Power at Mid and grows by Bend per
// unit of log s (a picture gains bytes faster as its details stop being finer than a pixel).
struct Curve {
  double Fixed = HeaderBytes;  // headers, tables and the copy's EXIF and ICC markers
  double At = 1;  // the scale of the reduced decode, where the variable part is Variable
  double Variable = 1;
  double Power = 1.8;
  double Mid = 1;
  double Bend = 0;
  double Bytes(double s) const {
    const double x = std::log(s / Mid), x1 = std::log(At / Mid);
    return Fixed + Variable * std::exp(Power * (x - x1) + 0.5 * Bend * (x * x - x1 * x1));
  }
};

struct Photo {
  bool Ok = false;
  bool Heif = false;   // a HEIF photo, decoded whole by the HEIF library
  uint32_t Width = 0;  // upright
  uint32_t Height = 0;
  Curve Model;
  // A HEIF photo's decode, kept from the estimate for the copies when it is the only photo
  // (a HEVC picture has no reduced decode: decoding it again would double the fit's time).
  std::unique_ptr<HeifImage> Held;
};

// Whether the photo's bytes (data, or the file at its start) are a HEIF file.
bool IsHeif(const uint8_t* data, size_t size, Stream* file) {
  if (data) return LooksLikeHeif(data, size);
  uint8_t start[64] = {};
  const uint32_t got = file->Read(start, sizeof start);
  file->SetPosition(0);
  return LooksLikeHeif(start, got);
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

// The JPEG bytes the encoder makes of rows brought to width x height (0 when it failed).
double EncodedBytes(RowSource& rows, int32_t width, int32_t height) {
  Stream* out = MakeMemoryStream();
  JpegRowWriter writer;
  JpegSink sink(writer);
  const bool ok = writer.Start(width, height, ShrinkQuality, out) &&
                  ResampleRows(rows, width, height, sink, PipelineThreading::OneThread) &&
                  writer.Finish();
  const double bytes = ok ? out->Size() : 0;
  FreeObject(out);
  return bytes;
}

// The largest of the codec's DCT scales (eighths) that brings width x height to at most
// ProbePixels.
int32_t ProbeEighths(uint32_t width, uint32_t height) {
  int32_t eighths = 8;
  while (eighths > 1 &&
         int64_t{ScaledSide(width, eighths)} * ScaledSide(height, eighths) > ProbePixels)
    eighths /= 2;
  return eighths;
}

// The curve of a photo fullWidth pixels wide (as picture is turned) from picture, a reduced
// copy of it: encoded whole, at half and at a quarter of its sides, each resampled from the one
// before (without the copy's markers: the curve's fixed part counts those); the sizes give the
// curve's power and its bend. Together: the whole one is encoded on a thread of its own beside
// the others (a photo fitted alone has the second processor for it).
void FitCurve(const BgrPicture& picture, uint32_t fullWidth, bool together, Curve& curve) {
  double bytes[3] = {0, 0, 0}, scales[3] = {0, 0, 0};
  auto whole = [&] {
    PictureSource rows(picture);
    bytes[0] = std::max(EncodedBytes(rows, picture.Width, picture.Height) - HeaderBytes, 64.0);
  };
  std::thread first;
  if (together) {
    try {
      first = std::thread(whole);
    } catch (...) {
    }
  }
  if (!first.joinable()) whole();
  scales[0] = static_cast<double>(picture.Width) / fullWidth;
  int points = 1;
  BgrPicture smaller[2];
  const BgrPicture* from = &picture;
  for (int32_t k = 0; k < 2; ++k) {
    const int32_t width = picture.Width >> (k + 1), height = picture.Height >> (k + 1);
    if (width < 16 || height < 16) break;
    PictureSource rows(*from);
    PictureSink sink(smaller[k]);
    if (!smaller[k].Allocate(width, height) ||
        !ResampleRows(rows, width, height, sink, PipelineThreading::OneThread))
      break;
    PictureSource again(smaller[k]);
    bytes[points] = std::max(EncodedBytes(again, width, height) - HeaderBytes, 64.0);
    scales[points++] = static_cast<double>(width) / fullWidth;
    from = &smaller[k];
  }
  if (first.joinable()) first.join();
  curve.At = scales[0];
  curve.Variable = bytes[0];
  curve.Mid = curve.At;
  if (points >= 2) {
    curve.Power = std::log(bytes[0] / bytes[1]) / std::log(scales[0] / scales[1]);
    curve.Mid = std::sqrt(scales[0] * scales[1]);
  }
  if (points == 3) {
    const double lower = std::log(bytes[1] / bytes[2]) / std::log(scales[1] / scales[2]);
    curve.Bend = std::clamp((curve.Power - lower) / std::log(scales[0] / scales[1]), 0.0, 0.4);
  }
  curve.Power = std::clamp(curve.Power, 0.7, 2.2);
}

// The estimate of a JPEG photo: decoded at a reduced DCT scale (at most ProbePixels), that
// picture's curve (FitCurve). False (copy's problem set) when the photo cannot be read.
bool Probe(const uint8_t* data, size_t size, Stream* file, bool together, Photo& photo,
           FitCopy& copy) {
  JpegRowReader reader;
  const bool opened = data ? size >= JpegMinimumParsedSize && reader.Open(data, size, true)
                           : file->Size() >= JpegMinimumParsedSize && reader.Open(file, true);
  if (!opened) {
    copy.Report.Problem =
        reader.Problem != PictureProblem::None ? reader.Problem : PictureProblem::NotJpeg;
    return false;
  }
  const PhotoDetails details = CollectPhotoDetails(reader.Markers());
  const bool turned = details.Orientation >= 5;
  photo.Width = turned ? reader.Height : reader.Width;
  photo.Height = turned ? reader.Width : reader.Height;
  copy.Report.OriginalWidth = photo.Width;
  copy.Report.OriginalHeight = photo.Height;
  Curve& curve = photo.Model;
  for (const MarkerPayload& marker : MarkersForCopy(details, photo.Width, photo.Height))
    curve.Fixed += static_cast<double>(marker.Bytes.size()) + 4;
  const int32_t eighths = ProbeEighths(reader.Width, reader.Height);
  BgrPicture picture;
  if (!reader.Start(eighths) || !picture.Allocate(reader.OutputWidth, reader.OutputHeight)) {
    copy.Report.Problem =
        reader.Problem != PictureProblem::None ? reader.Problem : PictureProblem::TooLarge;
    return false;
  }
  JpegSource source(reader);
  PictureSink sink(picture);
  if (!ResampleRows(source, picture.Width, picture.Height, sink, PipelineThreading::OneThread)) {
    copy.Report.Problem =
        reader.Problem != PictureProblem::None ? reader.Problem : PictureProblem::Damaged;
    return false;
  }
  FitCurve(picture, reader.Width, together, curve);
  photo.Ok = true;
  return true;
}

// The estimate of a HEIF photo: decoded whole, resampled to the size a JPEG of its size would
// be decoded at for its estimate, and that picture encoded as Probe encodes it.
bool ProbeHeif(HeifImage& image, bool together, Photo& photo, FitCopy& copy) {
  const HeifFacts& facts = image.Facts();
  copy.Report.OriginalWidth = facts.Width;
  copy.Report.OriginalHeight = facts.Height;
  const HeifProblem problem = facts.Usable() ? image.Decode() : facts.Problem;
  if (problem != HeifProblem::None) {
    copy.Report.Problem = PictureProblemOf(problem);
    return false;
  }
  photo.Width = facts.Width;
  photo.Height = facts.Height;
  for (const MarkerPayload& marker : MarkersForCopy(image.Details(), facts.Width, facts.Height))
    photo.Model.Fixed += static_cast<double>(marker.Bytes.size()) + 4;
  const int32_t eighths = ProbeEighths(facts.Width, facts.Height);
  BgrPicture picture;
  HeifSource source(image);
  PictureSink sink(picture);
  if (!picture.Allocate(static_cast<int32_t>(ScaledSide(facts.Width, eighths)),
                        static_cast<int32_t>(ScaledSide(facts.Height, eighths))) ||
      !ResampleRows(source, picture.Width, picture.Height, sink, PipelineThreading::OneThread)) {
    copy.Report.Problem = PictureProblem::TooLarge;
    return false;
  }
  FitCurve(picture, facts.Width, together, photo.Model);
  photo.Ok = true;
  return true;
}

// Runs work(i) for i in [0, count) on up to workers threads (the calling one among them).
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

  const bool together = count < static_cast<size_t>(workers);  // a processor to spare
  ForEach(count, workers, [&](size_t i) {
    WithInput(inputs[i], result.Photos[i], [&](const uint8_t* data, size_t size, Stream* file) {
      if (!IsHeif(data, size, file)) {
        Probe(data, size, file, together, photos[i], result.Photos[i]);
        return;
      }
      auto image = std::make_unique<HeifImage>();
      OpenHeif(inputs[i], *image);
      photos[i].Heif = true;
      if (ProbeHeif(*image, together, photos[i], result.Photos[i]) && count == 1)
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
      total += static_cast<double>(counted(static_cast<uint64_t>(photos[i].Model.Bytes(s))));
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
    if (lo == den || (lo > 0 && tried[lo] >= LeastUse * static_cast<double>(limit) && hi <= den))
      break;
    if (lo == 0 && tried.count(static_cast<int32_t>(least))) break;  // over even at the least
    const int32_t from = std::max<int32_t>(lo + 1, static_cast<int32_t>(least));
    const int32_t to = std::min(hi - 1, den);
    if (from > to || pass >= MostPasses) break;
    std::vector<int32_t> scales;
    if (to - from < static_cast<int32_t>(CloseAims.size())) {
      for (int32_t n = from; n <= to; ++n) scales.push_back(n);
    } else {
      for (double aim : tried.empty() ? Aims : CloseAims)
        scales.push_back(largestWithin(aim * static_cast<double>(limit), from, to));
      std::sort(scales.begin(), scales.end());
      scales.erase(std::unique(scales.begin(), scales.end()), scales.end());
      // A bracket needs a scale just past the highest one predicted within.
      if (scales.size() == 1 && scales[0] < to && lo == 0 && hi > den)
        scales.push_back(scales[0] + 1);
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
                                      reports.data(), PipelineThreading::OneThread);
              return;
            }
            HeifImage again;
            HeifImage* image = photos[i].Held.get();
            if (!image) OpenHeif(inputs[i], *(image = &again));
            made = ShrinkHeifCopies(*image, shares.data(), shares.size(), outs.data(),
                                    reports.data(), PipelineThreading::OneThread);
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
      best.N == den || (static_cast<double>(best.Total) >= LeastUse * static_cast<double>(limit) &&
                        result.Over.Numerator > 0);
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
