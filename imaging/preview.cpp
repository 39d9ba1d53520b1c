// Pane copies: a reduced decode, kept, and resampled to the pane's fitted size.
#include "imaging/preview.h"

#include "imaging/jpeg_image.h"
#include "toolkit/bitmap.h"
#include "toolkit/stream.h"

namespace velmora {

namespace {

// A preview may alias a little more than a shrunk picture (see DecodeEighthsFor).
constexpr double PreviewDecodeMargin = 2.0;

}  // namespace

PanePreview::~PanePreview() { FreeObject(Copy); }

void PanePreview::Forget() {
  FreeAndNull(Copy);
  Source = nullptr;
  Reduced = BgrPicture{};
  ReducedEighths = 0;
  Problem = PictureProblem::None;
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
  if (!reader.Open(static_cast<const uint8_t*>(bytes->Memory), bytes->Size())) {
    Problem = reader.Problem;
    return false;
  }
  const int32_t eighths =
      DecodeEighthsFor(reader.Width, reader.Height, width, height, PreviewDecodeMargin);
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

bool PanePreview::Fit(JpegImage* picture, int32_t width, int32_t height) {
  if (!picture || width <= 0 || height <= 0) {
    FreeAndNull(Copy);
    return false;
  }
  if (Copy && Source == picture && Copy->Width == width && Copy->Height == height) return false;
  FreeAndNull(Copy);
  // The kept decode serves while it has at least the pane's pixels.
  const bool covered =
      Source == picture && ReducedEighths > 0 &&
      (ReducedEighths == 8 || (Reduced.Width >= width && Reduced.Height >= height));
  if (!covered) {
    if (Source == picture && Problem != PictureProblem::None) return false;  // failed before
    Source = picture;
    Problem = PictureProblem::None;
    if (!DecodeFor(picture, width, height)) return false;
  }
  Bitmap* copy = MakeDibBitmap(width, height, Bpp24);
  if (copy->IsEmptyBitmap() || !copy->RowAddress(0)) {
    FreeObject(copy);
    return false;
  }
  PictureSource source(Reduced);
  BitmapSink sink(copy);
  if (!ResampleRows(source, width, height, sink)) {
    FreeObject(copy);
    return false;
  }
  Copy = copy;
  ++Builds;
  return true;
}

void PanePreview::Draw(HDC dc, int32_t x, int32_t y) {
  if (Copy) Copy->DrawAt(dc, x, y);
}

}  // namespace velmora
