// Pane copies: a reduced decode, kept, and resampled to the pane's fitted size.
#include "imaging/preview.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "imaging/heif_shrink.h"
#include "imaging/jpeg_image.h"
#include "imaging/orientation.h"
#include "toolkit/bitmap.h"
#include "toolkit/stream.h"

namespace velmora {

namespace {

// Rows stored into a 24-bit DIB of the toolkit from the top.
class BitmapSink : public RowSink {
 public:
  explicit BitmapSink(Bitmap* bitmap) : Target(bitmap) {}
  bool PutRows(const uint8_t* const* rows, int32_t count) override {
    const size_t bytes = static_cast<size_t>(Target->Width) * 3;
    for (int32_t i = 0; i < count; ++i, ++Next) {
      uint8_t* row = Target->RowAddress(Next);
      if (!row) return false;
      std::memcpy(row, rows[i], bytes);
    }
    return true;
  }
  Bitmap* Target;
  int32_t Next = 0;
};

// A preview may alias a little more than a shrunk picture (see DecodeEighthsFor).
constexpr double PreviewDecodeMargin = 2.0;

// HEIF reductions under way at once: the one the pane waits for and one it left.
constexpr size_t MostReductions = 2;

}  // namespace

// A HEIF photo reduced for a pane of Width x Height on a thread of its own.
struct HeifReduction {
  std::string Path;
  int32_t Width = 0;
  int32_t Height = 0;
  std::thread Thread;
  std::atomic<bool> Done{false};
  // Set by the thread before Done.
  BgrPicture Reduced;
  int32_t Eighths = 0;  // 8: the whole picture, which serves any pane; 1: a reduction
  PictureProblem Problem = PictureProblem::None;

  void Make(HWND repaint) {
    HeifImage image;
    HeifProblem problem = image.Open(Path);
    if (problem == HeifProblem::None) problem = image.Decode();
    // Twice the pane's size, as a reduced JPEG decode keeps, and never more than the picture.
    const double w = image.Facts().Width, h = image.Facts().Height;
    const double scale = std::min(1.0, PreviewDecodeMargin * std::max(Width / w, Height / h));
    if (problem != HeifProblem::None) {
      Problem = PictureProblemOf(problem);
    } else if (!Reduced.Allocate(std::max(1, static_cast<int32_t>(w * scale + 0.5)),
                                 std::max(1, static_cast<int32_t>(h * scale + 0.5)))) {
      Problem = PictureProblem::TooLarge;
    } else {
      HeifSource source(image);
      PictureSink sink(Reduced);
      if (ResampleRows(source, Reduced.Width, Reduced.Height, sink))
        Eighths = scale >= 1.0 ? 8 : 1;
      else
        Problem = PictureProblem::Damaged;
    }
    Done = true;
    InvalidateRect(repaint, nullptr, FALSE);
  }
};

PanePreview::PanePreview() = default;

PanePreview::~PanePreview() {
  for (auto& reduction : Reductions)
    if (reduction->Thread.joinable()) reduction->Thread.join();
  FreeObject(Copy);
}

void PanePreview::Forget() {
  FreeAndNull(Copy);
  Source = nullptr;
  Reduced = BgrPicture{};
  ReducedEighths = 0;
  Orientation = 1;
  Problem = PictureProblem::None;
  HeifPath.clear();
}

bool PanePreview::DecodeFor(JpegImage* picture, int32_t width, int32_t height) {
  Stream* bytes = picture->Data->Compressed;
  Reduced = BgrPicture{};
  ReducedEighths = 0;
  if (!bytes || bytes->Size() == 0) {
    Problem = PictureProblem::NotJpeg;
    return false;
  }
  JpegRowReader reader;
  if (!reader.Open(static_cast<const uint8_t*>(bytes->Memory), bytes->Size(), true)) {
    Problem = reader.Problem;
    return false;
  }
  Orientation = CollectPhotoDetails(reader.Markers()).Orientation;
  const PixelSize stored = StoredSize(width, height);
  const int32_t eighths = DecodeEighthsFor(reader.Width, reader.Height, int32_t(stored.Width),
                                           int32_t(stored.Height), PreviewDecodeMargin);
  if (!reader.Start(eighths)) {
    Problem = reader.Problem;
    return false;
  }
  ++Decodes;
  BgrPicture decoded;
  if (!decoded.Allocate(reader.OutputWidth, reader.OutputHeight)) {
    Problem = PictureProblem::TooLarge;
    return false;
  }
  JpegSource source(reader);
  PictureSink sink(decoded);
  if (!ResampleRows(source, decoded.Width, decoded.Height, sink)) {
    Problem = reader.Problem != PictureProblem::None ? reader.Problem : PictureProblem::Damaged;
    return false;
  }
  Reduced = std::move(decoded);
  ReducedEighths = eighths;
  return true;
}

PixelSize PanePreview::StoredSize(int32_t width, int32_t height) const {
  // Turning is its own inverse for the sides.
  return OrientedSize(static_cast<uint32_t>(width), static_cast<uint32_t>(height), Orientation);
}

bool PanePreview::Fit(JpegImage* picture, int32_t width, int32_t height) {
  if (!picture || width <= 0 || height <= 0) {
    FreeAndNull(Copy);
    return false;
  }
  if (Copy && Source == picture && Copy->Width == width && Copy->Height == height) return false;
  FreeAndNull(Copy);
  // The kept decode (as stored, before it is turned upright) serves while it has at least the
  // pane's pixels.
  PixelSize stored = StoredSize(width, height);
  const bool covered = Source == picture && ReducedEighths > 0 &&
                       (ReducedEighths == 8 || (uint32_t(Reduced.Width) >= stored.Width &&
                                                uint32_t(Reduced.Height) >= stored.Height));
  if (!covered) {
    if (Source == picture && Problem != PictureProblem::None) return false;  // failed before
    Source = picture;
    Problem = PictureProblem::None;
    HeifPath.clear();
    if (!DecodeFor(picture, width, height)) return false;
    stored = StoredSize(width, height);  // the orientation is known now
  }
  return BuildCopy(width, height, stored);
}

bool PanePreview::BuildCopy(int32_t width, int32_t height, PixelSize stored) {
  Bitmap* copy = MakeDibBitmap(width, height);
  if (copy->IsEmptyBitmap() || !copy->RowAddress(0)) {
    FreeObject(copy);
    return false;
  }
  PictureSource source(Reduced);
  BitmapSink sink(copy);
  OrientingSink upright(sink, Orientation, int32_t(stored.Width), int32_t(stored.Height));
  if (!upright.Prepare() ||
      !ResampleRows(source, int32_t(stored.Width), int32_t(stored.Height), upright) ||
      !upright.Finish()) {
    FreeObject(copy);
    return false;
  }
  Copy = copy;
  ++Builds;
  return true;
}

bool PanePreview::FitHeif(const std::string& path, int32_t width, int32_t height, HWND repaint) {
  // Reductions done for another photo are dropped; the threads that made them end.
  std::erase_if(Reductions, [&](std::unique_ptr<HeifReduction>& reduction) {
    if (!reduction->Done || reduction->Path == path) return false;
    if (reduction->Thread.joinable()) reduction->Thread.join();
    return true;
  });
  if (path.empty() || width <= 0 || height <= 0) {
    FreeAndNull(Copy);
    return false;
  }
  const bool same = Source == nullptr && HeifPath == path;
  if (Copy && same && Copy->Width == width && Copy->Height == height) return false;
  FreeAndNull(Copy);
  const bool covered =
      same && ReducedEighths > 0 &&
      (ReducedEighths == 8 || (Reduced.Width >= width && Reduced.Height >= height));
  if (!covered) {
    if (same && Problem != PictureProblem::None) return false;  // failed before
    auto mine = std::find_if(Reductions.begin(), Reductions.end(),
                             [&](const auto& reduction) { return reduction->Path == path; });
    if (mine == Reductions.end()) {
      // Started once fewer are under way; a finished one repaints the pane, which comes here.
      if (Reductions.size() >= MostReductions) return false;
      auto reduction = std::make_unique<HeifReduction>();
      reduction->Path = path;
      reduction->Width = width;
      reduction->Height = height;
      try {
        reduction->Thread = std::thread(&HeifReduction::Make, reduction.get(), repaint);
      } catch (...) {
        reduction->Make(repaint);  // no thread to be had: made here
      }
      Reductions.push_back(std::move(reduction));
      return false;
    }
    if (!(*mine)->Done) return false;
    HeifReduction& done = **mine;
    if (done.Thread.joinable()) done.Thread.join();
    Forget();
    HeifPath = path;
    ++Decodes;
    Problem = done.Problem;
    Reduced = std::move(done.Reduced);
    ReducedEighths = done.Eighths;
    Reductions.erase(mine);
    if (Problem != PictureProblem::None) return false;
  }
  PixelSize upright;
  upright.Width = static_cast<uint32_t>(width);
  upright.Height = static_cast<uint32_t>(height);
  return BuildCopy(width, height, upright);
}

void PanePreview::Draw(HDC dc, int32_t x, int32_t y) {
  if (Copy) Copy->DrawAt(dc, x, y);
}

}  // namespace velmora
