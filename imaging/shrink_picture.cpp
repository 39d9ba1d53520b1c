// ShrinkPicture and ShrinkPictureFrom: the byte-level shrink, its copy held by a new JpegImage.
#include "imaging/shrink_picture.h"

#include "toolkit/stream.h"

namespace velmora {

namespace {

// The copy in out as a new picture, or nothing (out freed) when made is false.
JpegImage* PictureOf(bool made, Stream* out, uint32_t* byteCount, const ShrinkReport& report) {
  if (!made) {
    FreeObject(out);
    return nullptr;
  }
  JpegImage* shrunk = MakeJpegImage();
  shrunk->TakeBytes(out);
  *byteCount = report.Bytes;
  return shrunk;
}

}  // namespace

JpegImage* ShrinkPicture(JpegImage* opened, int32_t percent, uint32_t* byteCount,
                         ShrinkReport* report, PipelineThreading threading) {
  *byteCount = 0;
  ShrinkReport local;
  ShrinkReport& result = report ? *report : local;
  result = ShrinkReport{};
  Stream* bytes = opened ? opened->Data->Compressed : nullptr;
  if (!opened || opened->IsEmpty() || !bytes || bytes->Size() == 0) {
    result.Problem = PictureProblem::NotJpeg;
    return nullptr;
  }
  Stream* out = MakeMemoryStream();
  const bool made = ShrinkJpegBytes(static_cast<const uint8_t*>(bytes->Memory), bytes->Size(),
                                    percent, out, result, threading);
  return PictureOf(made, out, byteCount, result);
}

JpegImage* ShrinkPictureFrom(Stream* file, int32_t percent, uint32_t* byteCount,
                             ShrinkReport* report, PipelineThreading threading) {
  *byteCount = 0;
  ShrinkReport local;
  ShrinkReport& result = report ? *report : local;
  Stream* out = MakeMemoryStream();
  const bool made = ShrinkJpegStream(file, percent, out, result, threading);
  return PictureOf(made, out, byteCount, result);
}

}  // namespace velmora
