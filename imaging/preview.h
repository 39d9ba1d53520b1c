// PanePreview: a picture's copy fitted to a pane, made by the program's resampler from a
// reduced decode of the picture's JPEG bytes and kept until the pane's size or the picture
// changes, so that painting is one blit. Relies on imaging/streaming.h and toolkit/bitmap.h.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/jpeg_rows.h"
#include "imaging/photo_metadata.h"
#include "imaging/streaming.h"

namespace velmora {

class Bitmap;
class JpegImage;
struct HeifReduction;

class PanePreview {
 public:
  PanePreview();
  ~PanePreview();
  PanePreview(const PanePreview&) = delete;
  PanePreview& operator=(const PanePreview&) = delete;

  // Makes the copy show picture upright at width x height. The reduced decode behind it is kept
  // too, so a pane resized within what that decode covers only resamples again. True when
  // the copy was remade; false when it already fitted or could not be made (Problem says
  // why; Copy is then null).
  bool Fit(JpegImage* picture, int32_t width, int32_t height);
  // The same for the HEIF/HEIC photo file at path (upright as decoded): decoded whole inside
  // velmora-heif.dll, and only a reduction to twice the pane's size kept here. A HEVC picture
  // has no reduced decode (a 12 MP photo takes seconds), so the reduction is made on a thread
  // of its own: until it is there FitHeif gives false without a copy, and when it is done the
  // window repaint is invalidated, whose next paint calls FitHeif again.
  bool FitHeif(const std::string& path, int32_t width, int32_t height, HWND repaint);
  // The picture was replaced: the next Fit decodes it again.
  void Forget();
  // Blits the copy with its top left at (x, y); nothing without a copy.
  void Draw(HDC dc, int32_t x, int32_t y);

  Bitmap* Copy = nullptr;  // 24-bit DIB of the fitted size, or null
  PictureProblem Problem = PictureProblem::None;
  int32_t Builds = 0;   // copies made so far
  int32_t Decodes = 0;  // decodes made so far

 private:
  bool DecodeFor(JpegImage* picture, int32_t width, int32_t height);
  // Makes Copy from the kept decode, turned upright.
  bool BuildCopy(int32_t width, int32_t height, PixelSize stored);
  // The size as stored of an upright width x height.
  PixelSize StoredSize(int32_t width, int32_t height) const;

  JpegImage* Source = nullptr;  // the picture the kept decode belongs to
  BgrPicture Reduced;           // the picture decoded at ReducedEighths / 8
  int32_t ReducedEighths = 0;
  int Orientation = 1;   // the picture's EXIF orientation: the copy is turned upright
  std::string HeifPath;  // the HEIF file the kept decode belongs to, or ""
  // Reductions of HEIF photos under way or done and not yet taken, the latest last; the
  // destructor waits for those under way.
  std::vector<std::unique_ptr<HeifReduction>> Reductions;
};

}  // namespace velmora
