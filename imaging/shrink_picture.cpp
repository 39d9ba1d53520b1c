// ShrinkPicture: the byte-level shrink, its copy held by a new JpegImage.
#include "imaging/shrink_picture.h"

#include "toolkit/stream.h"

namespace velmora {

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
  if (!made) {
    FreeObject(out);
    return nullptr;
  }
  JpegImage* shrunk = MakeJpegImage();
  shrunk->TakeBytes(out);
  *byteCount = result.Bytes;
  return shrunk;
}

}  // namespace velmora
