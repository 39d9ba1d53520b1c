// Pane copies: a reduced decode, kept, and resampled to the pane's fitted size.
#include "imaging/preview.h"

#include <algorithm>
#include <cstring>

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

}  // namespace

PanePreview::~PanePreview() { FreeObject(Copy); }

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

bool PanePreview::DecodeHeifFor(const std::string& path, int32_t width, int32_t height) {
  Reduced = BgrPicture{};
  ReducedEighths = 0;
  HeifImage image;
  HeifProblem problem = image.Open(path);
  if (problem == HeifProblem::None) problem = image.Decode();
  if (problem != HeifProblem::None) {
    Problem = PictureProblemOf(problem);
    return false;
  }
  ++Decodes;
  // Twice the pane's size, as a reduced JPEG decode keeps, and never more than the picture.
  const double w = image.Facts().Width, h = image.Facts().Height;
  const double scale = std::min(1.0, PreviewDecodeMargin * std::max(width / w, height / h));
  BgrPicture reduced;
  if (!reduced.Allocate(std::max(1, static_cast<int32_t>(w * scale + 0.5)),
                        std::max(1, static_cast<int32_t>(h * scale + 0.5)))) {
    Problem = PictureProblem::TooLarge;
    return false;
  }
  HeifSource source(image);
  PictureSink sink(reduced);
  if (!ResampleRows(source, reduced.Width, reduced.Height, sink)) {
    Problem = PictureProblem::Damaged;
    return false;
  }
  Reduced = std::move(reduced);
  ReducedEighths = scale >= 1.0 ? 8 : 1;  // 8: the whole picture, which serves any pane
  return true;
}

bool PanePreview::FitHeif(const std::string& path, int32_t width, int32_t height) {
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
    Forget();
    HeifPath = path;
    if (!DecodeHeifFor(path, width, height)) return false;
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
